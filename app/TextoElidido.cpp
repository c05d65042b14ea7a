#include "TextoElidido.h"

#include <QPainter>
#include <QStyle>

RotuloElidido::RotuloElidido(QWidget* parent) : QLabel(parent)
{
    setSizePolicy(QSizePolicy::Ignored, sizePolicy().verticalPolicy());
}

QString RotuloElidido::textoVisivel() const
{
    return fontMetrics().elidedText(text(), Qt::ElideRight, contentsRect().width() - 2 * margin());
}

QSize RotuloElidido::minimumSizeHint() const
{
    return {0, QLabel::minimumSizeHint().height()};
}

void RotuloElidido::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    QRect area = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
    style()->drawItemText(&p, area, QStyle::visualAlignment(layoutDirection(), alignment()) | Qt::TextSingleLine, palette(), isEnabled(),
                          textoVisivel(), foregroundRole());
}

BarraProgresso::BarraProgresso(QWidget* parent) : QProgressBar(parent)
{
    setSizePolicy(QSizePolicy::Ignored, sizePolicy().verticalPolicy());
}

QString BarraProgresso::text() const
{
    const QString inteiro = QProgressBar::text();
    if (inteiro.isEmpty())
        return inteiro;
    // The text is centred over the whole bar; a few pixels of its frame on each side.
    // (The style's own rectangles for it ask text() again.)
    return fontMetrics().elidedText(inteiro, Qt::ElideRight, std::max(contentsRect().width() - 8, 0));
}

QSize BarraProgresso::minimumSizeHint() const
{
    return {0, QProgressBar::minimumSizeHint().height()};
}

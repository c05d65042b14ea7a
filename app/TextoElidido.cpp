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

namespace {

QString juntar(const QString& nome, const QStringList& partes)
{
    QStringList presentes;
    for (const QString& p : partes)
        if (!p.isEmpty())
            presentes << p;
    const QString corpo = presentes.join(QStringLiteral(" · "));
    if (nome.isEmpty())
        return corpo;
    return corpo.isEmpty() ? nome : nome + QStringLiteral(": ") + corpo;
}

// A name cut in the middle keeps its start and its extension; shorter than this it
// says nothing.
constexpr int kMenorNome = 8;

}

QString textoDoProgresso(const QString& nome, const PartesProgresso& p)
{
    return juntar(nome, {p.percentual, p.quantidades, p.velocidade, p.restante});
}

QString textoDoProgressoQueCabe(const QString& nome, const PartesProgresso& p, const QFontMetrics& metrics, int width)
{
    const auto cabe = [&](const QString& t) { return metrics.horizontalAdvance(t) <= width; };
    // What stays to the last: the percentage and the time left, or without a known
    // size, the amount.
    const QStringList essencial = p.percentual.isEmpty() ? QStringList{p.quantidades} : QStringList{p.percentual, p.restante};
    // From the whole text down, the least useful part going first.
    const QList<QStringList> corpos = p.percentual.isEmpty()
                                          ? QList<QStringList>{{p.quantidades, p.velocidade}, essencial}
                                          : QList<QStringList>{{p.percentual, p.quantidades, p.velocidade, p.restante},
                                                               {p.percentual, p.velocidade, p.restante}, essencial};
    for (const QStringList& corpo : corpos)
        if (const QString t = juntar(nome, corpo); cabe(t))
            return t;
    // The name cut in the middle, as long as it still tells the file.
    if (!nome.isEmpty()) {
        const QString resto = juntar(QString(), essencial);
        const int espaco = width - metrics.horizontalAdvance(QStringLiteral(": ") + resto);
        const QString cortado = metrics.elidedText(nome, Qt::ElideMiddle, espaco);
        if (cortado.size() >= kMenorNome && cabe(juntar(cortado, essencial)))
            return juntar(cortado, essencial);
    }
    if (const QString t = juntar(QString(), essencial); cabe(t))
        return t;
    return metrics.elidedText(essencial.first(), Qt::ElideRight, std::max(width, 0));
}

BarraProgresso::BarraProgresso(QWidget* parent) : QProgressBar(parent)
{
    setSizePolicy(QSizePolicy::Ignored, sizePolicy().verticalPolicy());
    setFormat(QString());
}

void BarraProgresso::setProgresso(const QString& nome, const PartesProgresso& partes)
{
    m_temTexto = true;
    m_nome = nome;
    m_partes = partes;
    update();
}

void BarraProgresso::limparTexto()
{
    m_temTexto = false;
    update();
}

QString BarraProgresso::textoCompleto() const
{
    return m_temTexto ? textoDoProgresso(m_nome, m_partes) : QString();
}

QString BarraProgresso::text() const
{
    if (!m_temTexto)
        return {};
    // The text is centred over the whole bar; a few pixels of its frame on each side.
    // (The style's own rectangles for it ask text() again.)
    return textoDoProgressoQueCabe(m_nome, m_partes, fontMetrics(), std::max(contentsRect().width() - 8, 0));
}

QSize BarraProgresso::minimumSizeHint() const
{
    return {0, QProgressBar::minimumSizeHint().height()};
}

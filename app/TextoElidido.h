#pragma once
// The busy panel's label and bar, whose texts (a file's name, "1,2 GiB de 3,4 GiB ·
// 11,8 MiB/s · 3 min restantes") may be longer than the room the window leaves them
// at its narrowest or at a large scale: each shows its text on one line, cut with
// "…" where it does not fit, and never asks the window to grow for it.
#include <QLabel>
#include <QProgressBar>

class RotuloElidido : public QLabel {
    Q_OBJECT

public:
    explicit RotuloElidido(QWidget* parent = nullptr);
    // What is painted: text(), cut to the label's width.
    QString textoVisivel() const;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

class BarraProgresso : public QProgressBar {
    Q_OBJECT

public:
    explicit BarraProgresso(QWidget* parent = nullptr);
    // What the style paints: the format's text, cut to the room inside the bar.
    QString text() const override;
    // The text before it is cut.
    QString textoCompleto() const { return QProgressBar::text(); }
    QSize minimumSizeHint() const override;
};

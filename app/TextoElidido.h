#pragma once
// The busy panel's label and bar, whose texts ("backup.fbk: 32 % · 1,2 GiB de 3,4 GiB
// · 11,8 MiB/s · 3 min restantes") may be longer than the room the window leaves them
// at its narrowest or at a large scale: each shows its text on one line that fits,
// and never asks the window to grow for it. The label is cut with "…"; the bar drops
// what helps least first (the amounts, then the speed, then the file's name, cut in
// the middle before it goes) and keeps the percentage and the time left.
#include "Formatos.h"

#include <QFontMetrics>
#include <QLabel>
#include <QProgressBar>

// The bar's text for a transfer of the file nome, as much of it as fits width
// pixels of metrics.
QString textoDoProgressoQueCabe(const QString& nome, const PartesProgresso& partes, const QFontMetrics& metrics, int width);
// The same, whole.
QString textoDoProgresso(const QString& nome, const PartesProgresso& partes);

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
    // What the bar says of the transfer; nothing (an empty bar) until it is set.
    void setProgresso(const QString& nome, const PartesProgresso& partes);
    void limparTexto();
    // What the style paints: as much of the text as the room inside the bar takes.
    QString text() const override;
    // The text before anything goes.
    QString textoCompleto() const;
    QSize minimumSizeHint() const override;

private:
    bool m_temTexto = false;
    QString m_nome;
    PartesProgresso m_partes;
};

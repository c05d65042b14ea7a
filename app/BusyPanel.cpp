#include "BusyPanel.h"

#include "Formatos.h"

#include <QDateTime>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QWidget>

#include <algorithm>
#include <climits>

namespace {
const QString kConcluido = QStringLiteral("Concluído");
const QString kInterrompida = QStringLiteral("Transferência interrompida");
const QString kCancelada = QStringLiteral("Transferência cancelada");
}

BusyPanel::BusyPanel(Controls controls)
    : m_c(std::move(controls)), m_clock([] { return QDateTime::currentMSecsSinceEpoch(); })
{
}

void BusyPanel::begin(std::int64_t total, const QString& text)
{
    m_total = std::max<std::int64_t>(total, 0);
    m_soFar = 0;
    m_shift = 0;
    while ((m_total >> m_shift) > INT_MAX)
        ++m_shift;
    m_startMs = m_clock();
    enter(State::Transferring, text);
}

void BusyPanel::progress(std::int64_t soFar)
{
    if (m_state != State::Transferring)
        return;
    m_soFar = std::clamp<std::int64_t>(soFar, 0, m_total);
    showProgress();
}

void BusyPanel::end(State outcome)
{
    if (outcome == State::Done)
        m_soFar = m_total;
    enter(outcome);
}

void BusyPanel::selectionChanged()
{
    if (m_state == State::Transferring)
        return;
    const bool selecionada = m_c.rowSelected && m_c.rowSelected();
    for (QWidget* w : std::as_const(m_c.rowActions))
        w->setEnabled(selecionada);
}

void BusyPanel::enter(State state, const QString& text)
{
    m_state = state;
    const bool livre = state != State::Transferring;
    // Locked before the bar moves and freed after it has stopped: whoever watches
    // the bar never sees it move under free controls.
    if (!livre)
        for (QWidget* w : m_c.actions + m_c.rowActions)
            w->setEnabled(false);

    switch (state) {
    case State::Ready:
        m_c.panel->setVisible(false);
        break;
    case State::Transferring:
        if (!text.isEmpty())
            m_c.label->setText(text);
        // An empty file still gets a range, so the bar never turns into a busy
        // indicator that runs on after the transfer.
        m_c.bar->setRange(0, m_total > 0 ? static_cast<int>(m_total >> m_shift) : 1);
        break;
    case State::Done:
        m_c.label->setText(kConcluido);
        break;
    case State::Failed:
        m_c.label->setText(kInterrompida);
        break;
    case State::Cancelled:
        m_c.label->setText(kCancelada);
        break;
    }
    if (state != State::Ready) {
        m_c.panel->setVisible(true);
        showProgress();
    }

    if (livre) {
        for (QWidget* w : std::as_const(m_c.actions))
            w->setEnabled(true);
        selectionChanged();
    }
}

void BusyPanel::showProgress()
{
    const double segundos = static_cast<double>(m_clock() - m_startMs) / 1000.0;
    // Speed and time left only while data moves, or as the average of a completed transfer.
    const bool comRitmo = m_state == State::Transferring || m_state == State::Done;
    // The text first: whoever watches the bar's value reads the text that goes with it.
    m_c.bar->setFormat(TextoProgresso(m_soFar, m_total, comRitmo ? segundos : 0.0, QLocale()));
    const int valor = m_total > 0 ? static_cast<int>(m_soFar >> m_shift) : (m_state == State::Done ? 1 : 0);
    m_c.bar->setValue(std::min(valor, m_c.bar->maximum()));
}

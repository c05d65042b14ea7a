#include "BusyPanel.h"

#include "Formatos.h"
#include "TextoElidido.h"

#include <QAbstractButton>
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
const QString kPergunta = QStringLiteral("Aguardando a sua resposta");
}

BusyPanel::BusyPanel(Controls controls)
    : m_c(std::move(controls)), m_clock([] { return QDateTime::currentMSecsSinceEpoch(); })
{
    if (m_c.cancel)
        m_c.cancel->setVisible(false);
    // No percentage before any data moves.
    m_c.bar->limparTexto();
}

void BusyPanel::operationStarted(const QString& fileName)
{
    if (inTransfer(m_state))
        return;
    m_fileName = fileName;
    m_hasData = false;
    m_total = 0;
    m_soFar = 0;
    m_asking = false;
    m_before = State::Ready;
    m_labelBefore.clear();
    m_c.label->clear();
    enter(State::Ready);
}

void BusyPanel::begin(std::int64_t total, const QString& text)
{
    m_total = total < 0 ? -1 : total;
    m_soFar = 0;
    m_shift = 0;
    while ((m_total >> m_shift) > INT_MAX)
        ++m_shift;
    // Where the data stands when it starts to move is told by the first progress.
    m_ritmo.reiniciar();
    m_hasData = true;
    m_asking = false;
    enter(State::Transferring, text);
}

void BusyPanel::progress(std::int64_t soFar)
{
    if (m_state != State::Transferring)
        return;
    m_soFar = m_total < 0 ? std::max<std::int64_t>(soFar, 0) : std::clamp<std::int64_t>(soFar, 0, m_total);
    m_ritmo.registrar(m_soFar, m_clock());
    showProgress();
}

void BusyPanel::wait(const QString& text)
{
    if (inTransfer(m_state)) {
        m_c.label->setText(text);
        return;
    }
    if (m_state != State::Waiting) {
        m_before = m_state;
        m_labelBefore = m_c.label->text();
    }
    enter(State::Waiting, text);
}

void BusyPanel::retry(const QString& text)
{
    enter(State::Retrying, text);
}

void BusyPanel::resume(std::int64_t soFar, const QString& text)
{
    m_soFar = m_total < 0 ? std::max<std::int64_t>(soFar, 0) : std::clamp<std::int64_t>(soFar, 0, m_total);
    m_ritmo.reiniciar();
    m_ritmo.registrar(m_soFar, m_clock());
    m_asking = false;
    enter(State::Transferring, text);
}

void BusyPanel::checking(const QString& text)
{
    if (m_total >= 0)
        m_soFar = m_total;
    enter(State::Checking, text);
}

void BusyPanel::end(State outcome, const QString& text)
{
    if (outcome == State::Done && m_total >= 0)
        m_soFar = m_total;
    // A transfer that failed before its data could move shows no bar of an earlier one.
    if (!inTransfer(m_state))
        m_hasData = false;
    enter(outcome, text);
}

void BusyPanel::fail(const QString& text)
{
    if (!inTransfer(m_state))
        m_hasData = false;
    enter(State::Failed, text);
}

void BusyPanel::asking()
{
    if (m_state == State::Waiting) {
        enter(m_before, m_labelBefore);
        return;
    }
    if (!inTransfer(m_state) || m_asking)
        return;
    m_asking = true;
    m_labelAsking = m_c.label->text();
    m_c.label->setText(kPergunta);
    if (m_c.cancel)
        m_c.cancel->setVisible(false);
}

void BusyPanel::answered()
{
    if (!m_asking)
        return;
    m_asking = false;
    if (inTransfer(m_state))
        enter(m_state, m_labelAsking);
}

void BusyPanel::operationEnded()
{
    m_asking = false;
    if (m_state != State::Waiting)
        return;
    enter(m_before, m_labelBefore);
}

void BusyPanel::selectionChanged()
{
    if (inTransfer(m_state))
        return;
    const bool selecionada = m_c.rowSelected && m_c.rowSelected();
    for (QWidget* w : std::as_const(m_c.rowActions))
        w->setEnabled(selecionada);
}

void BusyPanel::enter(State state, const QString& text)
{
    m_state = state;
    const bool livre = !inTransfer(state);
    // Locked before the bar moves and freed after it has stopped: whoever watches
    // the bar never sees it move under free controls.
    if (!livre)
        for (QWidget* w : m_c.actions + m_c.rowActions)
            w->setEnabled(false);

    switch (state) {
    case State::Ready:
        m_c.panel->setVisible(false);
        break;
    case State::Waiting:
        m_c.label->setText(text);
        break;
    case State::Transferring:
        if (!text.isEmpty())
            m_c.label->setText(text);
        // An empty file still gets a range, so the bar never turns into a busy
        // indicator that runs on after the transfer; only a size nobody knows does.
        if (m_total < 0)
            m_c.bar->setRange(0, 0);
        else
            m_c.bar->setRange(0, m_total > 0 ? static_cast<int>(m_total >> m_shift) : 1);
        break;
    case State::Retrying:
    case State::Checking:
        m_c.label->setText(text);
        if (m_total < 0)
            m_c.bar->setRange(0, 1);
        break;
    case State::Done:
        m_c.label->setText(text.isEmpty() ? kConcluido : text);
        if (m_total < 0)
            m_c.bar->setRange(0, 1);
        break;
    case State::Failed:
        m_c.label->setText(text.isEmpty() ? kInterrompida : text);
        if (m_total < 0)
            m_c.bar->setRange(0, 1);
        break;
    case State::Cancelled:
        m_c.label->setText(text.isEmpty() ? kCancelada : text);
        if (m_total < 0)
            m_c.bar->setRange(0, 1);
        break;
    }
    if (m_c.cancel) {
        const bool cancelavel = inTransfer(state) || state == State::Waiting;
        m_c.cancel->setVisible(cancelavel);
        m_c.cancel->setEnabled(cancelavel);
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
    if (!m_hasData) {
        m_c.bar->setRange(0, 1);
        m_c.bar->limparTexto();
        m_c.bar->setValue(0);
        return;
    }
    // Speed and time left only while data moves, or as the average of a completed
    // transfer over the time its data moved.
    double segundos = 0.0;
    if (m_state == State::Transferring)
        segundos = m_ritmo.segundosAte(m_clock());
    else if (m_state == State::Done)
        segundos = m_ritmo.segundosMovendo();
    // The text first: whoever watches the bar's value reads the text that goes with it.
    m_c.bar->setProgresso(m_fileName, PartesDoProgresso(m_soFar, m_total, segundos, programLocale(), m_ritmo.inicio()));
    if (m_total < 0) {
        m_c.bar->setValue(m_state == State::Transferring ? 0 : (m_state == State::Done ? 1 : 0));
        return;
    }
    const int valor = m_total > 0 ? static_cast<int>(m_soFar >> m_shift) : (m_state == State::Done ? 1 : 0);
    m_c.bar->setValue(std::min(valor, m_c.bar->maximum()));
}

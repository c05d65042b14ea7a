#include "TerminalProgress.h"

#include "Formatos.h"

#include <QLocale>

#include <algorithm>
#include <chrono>

TerminalProgress::TerminalProgress(bool terminal, Writer write, Clock clock)
    : m_terminal(terminal), m_write(std::move(write)), m_clock(std::move(clock))
{
    if (!m_clock)
        m_clock = [] {
            return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
        };
}

void TerminalProgress::begin(TWorkMode mode, std::int64_t total)
{
    m_mode = mode;
    m_active = true;
    m_total = total;
    m_soFar = 0;
    // Where the data stands when it starts to move is told by the first progress:
    // an upload that continues an earlier run's starts there.
    newAttempt();
    m_lineTenth = -1;
    m_lineBytes = -1;
    m_lastRetry = 0;
    show(progressText(), true);
}

void TerminalProgress::progress(std::int64_t soFar)
{
    if (!m_active)
        return;
    m_soFar = soFar;
    m_ritmo.registrar(soFar, m_clock());
    show(progressText(), false);
}

void TerminalProgress::retry(int attempt, int maxAttempts, int secondsLeft)
{
    if (!m_active)
        return;
    const QString text = QStringLiteral("Conexão perdida; nova tentativa em %1 s (%2 de %3)").arg(secondsLeft).arg(attempt).arg(maxAttempts);
    if (m_terminal) {
        show(text, true);
    } else if (attempt != m_lastRetry) {
        // The countdown is for a terminal; a file gets the pause once.
        show(text, true);
    }
    m_lastRetry = attempt;
}

void TerminalProgress::resumed(std::int64_t soFar)
{
    if (!m_active)
        return;
    m_soFar = soFar;
    newAttempt();
    m_ritmo.registrar(soFar, m_clock());
    m_lineTenth = -1;
    show(progressText(), true);
}

void TerminalProgress::checking()
{
    if (!m_active)
        return;
    if (m_total >= 0)
        m_soFar = m_total;
    // The whole file shows before the check, unless a line already said so.
    show(progressText(), m_terminal);
    show(m_mode == wmWrite ? QStringLiteral("Conferindo o arquivo no servidor...") : QStringLiteral("Conferindo o arquivo baixado..."), true);
}

void TerminalProgress::end(TransferOutcome outcome)
{
    if (!m_active)
        return;
    if (outcome == TransferOutcome::Completed)
        show(m_mode == wmWrite ? QStringLiteral("Enviado: %1").arg(TextoBytes(m_soFar, programLocale()))
                               : QStringLiteral("Baixado: %1").arg(TextoBytes(m_soFar, programLocale())),
             true);
    if (m_terminal && !m_drawn.isEmpty())
        m_write(QStringLiteral("\n"));
    m_drawn.clear();
    m_active = false;
}

void TerminalProgress::newAttempt()
{
    m_movedBefore += m_ritmo.movidos();
    m_secondsBefore += m_ritmo.segundosMovendo();
    m_ritmo.reiniciar();
}

void TerminalProgress::makeRoom()
{
    if (!m_terminal || m_drawn.isEmpty())
        return;
    m_write(QLatin1Char('\r') + QString(m_drawn.size(), QLatin1Char(' ')) + QLatin1Char('\r'));
    m_drawn.clear();
}

QString TerminalProgress::progressText() const
{
    const QString verb = m_mode == wmWrite ? QStringLiteral("Enviando") : QStringLiteral("Baixando");
    const QString amounts = TextoProgresso(m_soFar, m_total, m_ritmo.segundosAte(m_clock()), programLocale(), m_ritmo.inicio());
    if (m_total < 0)
        return verb + QStringLiteral(": ") + amounts;
    const std::int64_t percent = m_total == 0 ? 100 : std::min<std::int64_t>(m_soFar * 100 / m_total, 100);
    return QStringLiteral("%1: %2 % · %3").arg(verb).arg(percent, 3).arg(amounts);
}

void TerminalProgress::show(const QString& text, bool force)
{
    const std::int64_t now = m_clock();
    if (m_terminal) {
        if (!force && now - m_drawnMs < kRedrawMs)
            return;
        // Spaces over what a longer line left behind: no escape sequences, which not
        // every console reads.
        const qsizetype left = m_drawn.size() - text.size();
        m_write(QLatin1Char('\r') + text + (left > 0 ? QString(left, QLatin1Char(' ')) + QString(left, QLatin1Char('\b')) : QString()));
        m_drawn = text;
        m_drawnMs = now;
        return;
    }
    // A line for each tenth of the file, and one every few seconds while the data
    // moves slower than that; none while it stands still.
    const int tenth = m_total > 0 ? static_cast<int>(std::min<std::int64_t>(m_soFar * 10 / m_total, 10)) : -1;
    const bool due = tenth > m_lineTenth || (now - m_lineMs >= kPlainLineMs && m_soFar != m_lineBytes);
    if (!force && !due)
        return;
    m_write(text + QLatin1Char('\n'));
    m_lineTenth = std::max(m_lineTenth, tenth);
    m_lineMs = now;
    m_lineBytes = m_soFar;
}

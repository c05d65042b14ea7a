// What the FTP session reports and asks, shown in the window: the log, the busy
// panel, the client's caption and the message boxes that answer its questions.
// Each call comes on the window's thread (QueuedEvents).
#include "ufPrincipal.h"

#include "Console.h"
#include "Formatos.h"
#include "JanelaTextos.h"

#include <QDir>
#include <QFileInfo>

// ---------------------------------------------------------------- what the session reports and asks

int TfPrincipal::pergunta(const QString& text, const QString& caption, int flags)
{
    m_esperaVisivel.stop();
    m_painel->asking();
    const int resposta = MessageBox(text, caption, flags);
    m_painel->answered();
    return resposta;
}

void TfPrincipal::log(const QString& line)
{
    Log(line);
}

void TfPrincipal::warning(const QString& line)
{
    Log(line);
    // The log pane may be closed, and nobody reads it in a run that sends a file
    // handed over at start and closes.
    console::write(stderr, line + QLatin1Char('\n'));
}

void TfPrincipal::clientCaption(const QString& caption)
{
    ui->pnlCliente->setText(caption);
}

void TfPrincipal::waiting(const QString& what)
{
    m_textoEspera = what;
    if (m_painel->state() == BusyPanel::State::Transferring || m_painel->state() == BusyPanel::State::Retrying ||
        m_painel->state() == BusyPanel::State::Checking || m_painel->state() == BusyPanel::State::Waiting) {
        m_painel->wait(what);
        return;
    }
    if (!m_esperaVisivel.isActive())
        m_esperaVisivel.start();
}

void TfPrincipal::transferBegin(TWorkMode mode, std::int64_t total)
{
    m_esperaVisivel.stop();
    Aguardar(total, mode == wmWrite ? janela::kTextoEnviando : janela::kTextoBaixando);
}

void TfPrincipal::transferProgress(TWorkMode, std::int64_t soFar)
{
    m_painel->progress(soFar);
}

void TfPrincipal::transferRetry(TWorkMode, int attempt, int maxAttempts, int secondsLeft)
{
    m_painel->retry(QStringLiteral("Conexão perdida; nova tentativa em %1 s (%2 de %3)").arg(secondsLeft).arg(attempt).arg(maxAttempts));
}

void TfPrincipal::transferResumed(TWorkMode mode, std::int64_t soFar)
{
    m_painel->resume(soFar, mode == wmWrite ? janela::kTextoEnviando : janela::kTextoBaixando);
}

void TfPrincipal::transferChecking(TWorkMode mode)
{
    m_painel->checking(mode == wmWrite ? janela::kTextoConferindoEnvio : janela::kTextoConferindoDownload);
}

void TfPrincipal::transferEnd(TWorkMode, TransferOutcome outcome, const QString& failure)
{
    m_esperaVisivel.stop();
    switch (outcome) {
    case TransferOutcome::Completed:
        m_painel->end(BusyPanel::State::Done);
        break;
    case TransferOutcome::Failed:
        m_painel->end(BusyPanel::State::Failed, failure);
        // The log holds what led to it.
        mostrarLog();
        break;
    case TransferOutcome::Cancelled:
        m_painel->end(BusyPanel::State::Cancelled);
        break;
    }
}

bool TfPrincipal::replaceRemoteFile(const QString&)
{
    return pergunta(QStringLiteral("O Arquivo Já Existe no FTP. Deseja Substituir?"), QStringLiteral("Substituir"), mb::Question) ==
           mb::IdYes;
}

bool TfPrincipal::resumeInterruptedUpload(const QString&, std::int64_t done, std::int64_t total)
{
    const QLocale& locale = programLocale();
    return pergunta(QStringLiteral("Existe um envio interrompido deste arquivo (%1 de %2). Deseja continuar de onde parou?")
                          .arg(TextoBytes(done, locale), TextoBytes(total, locale)),
                      QStringLiteral("Continuar Envio"), mb::Question) == mb::IdYes;
}

bool TfPrincipal::replaceLocalFile(const QString& localPath)
{
    return ConfirmaSubstituirLocal(localPath);
}

void TfPrincipal::uniqueNameChosen(const QString& name)
{
    ui->edtUploadUniqueName->setText(name);
}

bool TfPrincipal::acceptCertificate(const QString& host, const QString& problem, const QString& fingerprint)
{
    // A "Não" is the answer for the whole operation: the alternate endpoint showing
    // the same certificate is refused without asking twice.
    if (m_certificadosRecusados.contains(fingerprint))
        return false;
    // Sixteen pairs a line: the whole fingerprint would make the box as wide as the screen.
    QStringList pares = fingerprint.split(QLatin1Char(':'));
    QStringList linhas;
    while (!pares.isEmpty()) {
        linhas << QStringList(pares.mid(0, 16)).join(QLatin1Char(':'));
        pares = pares.mid(16);
    }
    const QString texto =
        QStringLiteral("O certificado do servidor FTP %1 não pôde ser verificado: %2.\n\n"
                       "Impressão digital SHA-256 do certificado:\n%3\n\n"
                       "Confie neste certificado somente se a impressão digital for a que o suporte da Quintara informou. "
                       "Conectar assim mesmo?")
            .arg(host, problem, linhas.join(QLatin1Char('\n')));
    if (pergunta(texto, QStringLiteral("Certificado do servidor"), mb::YesNo | mb::IconWarning | mb::DefaultButton2) == mb::IdYes)
        return true;
    m_certificadosRecusados << fingerprint;
    return false;
}

void TfPrincipal::connectionSecurity(ConnectionSecurity security)
{
    ui->lblConexaoSegura->setVisible(security != ConnectionSecurity::Plain);
    const QString texto = security == ConnectionSecurity::PinnedKey ? QStringLiteral("Conexão segura (TLS, chave fixada)")
                                                                    : QStringLiteral("Conexão segura (TLS)");
    ui->lblConexaoSegura->setToolTip(texto);
    ui->lblConexaoSegura->setAccessibleName(texto);
}

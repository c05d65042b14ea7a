#include "FailureText.h"

#include "VisibleText.h"

#include <algorithm>

namespace {

using Kind = FailureKind;

QString shown(const QString& text) { return visibleText(text); }

// A message as the end of a sentence.
QString sentence(const QString& text)
{
    const QString t = text.trimmed();
    return t.endsWith(QLatin1Char('.')) || t.endsWith(QLatin1Char('!')) || t.endsWith(QLatin1Char('?')) ? t : t + QLatin1Char('.');
}

// How a kind is shown.
enum class Shown {
    UsersChoice,  // a cancel or a step declined: the line that says so, nothing else
    Explained,    // the panel says what failed and why; a transfer's error box says what became of the file
    ErrorBox,     // the program's own words in an "Erro" box
    WarningBox,   // the program's own words in an "Atenção" box, not in the log
};

Shown shownAs(Kind kind)
{
    switch (kind) {
    case Kind::Cancelled:
    case Kind::Declined:
        return Shown::UsersChoice;
    // Not a transfer that went wrong: there was nothing to transfer.
    case Kind::RemoteFileNotFound:
    case Kind::UnreadableFile:
        return Shown::ErrorBox;
    case Kind::NotAFile:
        return Shown::WarningBox;
    case Kind::ConnectionLost:
    case Kind::TransferBroken:
    case Kind::ServerFull:
    case Kind::NotThere:
    case Kind::FileRefused:
    case Kind::RefusedByServer:
    case Kind::UnexpectedReply:
    case Kind::RestartRefused:
    case Kind::RenameRefused:
    case Kind::CertificateRefused:
    case Kind::InterceptionSuspected:
    case Kind::NameIsFolder:
    case Kind::LocalFileChanged:
    case Kind::ContentMismatch:
    case Kind::LocalFileError:
        break;
    }
    return Shown::Explained;
}

// A connection that someone on the way may be reading: a key that is not the pinned
// one, a server that stopped offering TLS where it spoke it before.
const QString kInterception = QStringLiteral("possível interceptação da conexão");

struct Reason {
    QString panel; // the panel's words after "Falha ...: "
    QString why;   // a transfer's box: why; outside a transfer: what to do, after the failure's own words
};

// A broken line's why: retried names the new attempts (%2) before the message (%3);
// once has only where (%1) and the message (%2).
QString afterRetries(const TransferRecord& t, const QString& where, const QString& message, const QString& retried, const QString& once)
{
    return t.retries > 0 ? retried.arg(where).arg(t.retries).arg(message) : once.arg(where, message);
}

// A transfer's: where is " em 32 %" once data moved, and nothing before.
Reason transferReason(Kind kind, const QString& message, const TransferRecord& t, const QString& where)
{
    // A line that broke before anything moved never let us talk to the server. The
    // system's own words for it are in the log already: the box says what to do.
    if (isLineBreak(kind) && !t.begun)
        return {QStringLiteral("o servidor não respondeu"),
                QStringLiteral("O servidor FTP não respondeu. Verifique a internet ou tente mais tarde.")};
    switch (kind) {
    case Kind::LocalFileChanged:
        return {QStringLiteral("o arquivo local mudou durante o envio"),
                QStringLiteral("O arquivo local foi alterado enquanto era enviado (mudou de tamanho ou de data de "
                               "modificação). Envie-o de novo quando nenhum outro programa o estiver alterando.")};
    case Kind::ContentMismatch:
        return {QStringLiteral("o conteúdo no servidor não confere"), sentence(message)};
    case Kind::RestartRefused:
        return {QStringLiteral("o servidor não continua transferências interrompidas") + where,
                sentence(QStringLiteral("A transferência foi interrompida%1 e o servidor não permite continuá-la: %2").arg(where, message))};
    case Kind::TransferBroken:
        return {QStringLiteral("transferência interrompida") + where,
                afterRetries(t, where, message,
                             QStringLiteral("A transferência foi interrompida%1 e não se completou depois de %2 novas tentativas (%3)."),
                             QStringLiteral("A transferência foi interrompida%1 (%2)."))};
    case Kind::ConnectionLost:
        return {QStringLiteral("conexão perdida") + where,
                afterRetries(t, where, message,
                             QStringLiteral("A conexão com o servidor foi perdida%1 e não voltou depois de %2 novas tentativas (%3)."),
                             QStringLiteral("A conexão com o servidor foi perdida%1 (%2)."))};
    case Kind::ServerFull:
    case Kind::NotThere:
    case Kind::FileRefused:
    case Kind::RefusedByServer:
        return {QStringLiteral("recusado pelo servidor"), sentence(QStringLiteral("O servidor recusou: %1").arg(message))};
    case Kind::CertificateRefused:
        return {QStringLiteral("certificado do servidor recusado"), sentence(message)};
    case Kind::InterceptionSuspected:
        return {kInterception, sentence(message)};
    case Kind::RenameRefused:
        return {QStringLiteral("o servidor não permite renomear"), sentence(message)};
    case Kind::NameIsFolder:
        return {QStringLiteral("o nome é de uma pasta no servidor"), sentence(message)};
    case Kind::UnexpectedReply:
        return {QStringLiteral("resposta inválida do servidor"),
                sentence(QStringLiteral("O servidor respondeu o que não se esperava: %1").arg(message))};
    case Kind::LocalFileError:
    // Shown otherwise (shownAs); should one get here, its own message is all there is
    // to say.
    case Kind::RemoteFileNotFound:
    case Kind::NotAFile:
    case Kind::UnreadableFile:
    case Kind::Cancelled:
    case Kind::Declined:
        break;
    }
    return {QStringLiteral("erro no arquivo local"), sentence(message)};
}

// Outside a transfer: the panel's few words and what the log adds for the user,
// what happened and what to do; nothing where the failure's own words say it all.
Reason operationReason(Kind kind, bool whileConnecting)
{
    switch (kind) {
    case Kind::CertificateRefused:
        return {QStringLiteral("o certificado do servidor não foi aceito"),
                QStringLiteral("A conexão não foi feita porque o certificado do servidor FTP não foi aceito. "
                               "Fale com o suporte da Quintara.")};
    case Kind::ConnectionLost:
    case Kind::TransferBroken:
        return {QStringLiteral("o servidor não respondeu"),
                QStringLiteral("O servidor FTP não respondeu. Verifique a internet ou tente mais tarde.")};
    case Kind::ServerFull:
    case Kind::NotThere:
    case Kind::FileRefused:
    case Kind::RefusedByServer:
        if (whileConnecting)
            return {QStringLiteral("o servidor recusou o acesso"),
                    QStringLiteral("O servidor FTP recusou o acesso. Tente mais tarde; se continuar, fale com o suporte da Quintara.")};
        return {QStringLiteral("recusado pelo servidor"),
                QStringLiteral("O servidor FTP recusou a operação. Tente de novo; se continuar, fale com o suporte da Quintara.")};
    case Kind::UnexpectedReply:
        return {QStringLiteral("resposta inválida do servidor"),
                QStringLiteral("O servidor FTP respondeu de forma inesperada. Tente mais tarde; se continuar, fale com o suporte da Quintara.")};
    case Kind::InterceptionSuspected:
        return {kInterception, QStringLiteral("A conexão foi encerrada antes do login: a senha e os arquivos não foram enviados. "
                                              "Fale com o suporte da Quintara.")};
    case Kind::RestartRefused:
    case Kind::RenameRefused:
    case Kind::NameIsFolder:
    case Kind::RemoteFileNotFound:
    case Kind::LocalFileChanged:
    case Kind::ContentMismatch:
    case Kind::NotAFile:
    case Kind::UnreadableFile:
    case Kind::LocalFileError:
    case Kind::Cancelled:
    case Kind::Declined:
        break;
    }
    return {};
}

// What became of the file.
QString fateOf(const TransferRecord& t)
{
    if (t.mode != wmWrite)
        return t.replacing ? QStringLiteral("O arquivo não foi baixado. O arquivo local anterior foi mantido como estava.")
                           : QStringLiteral("O arquivo não foi baixado; nenhum arquivo foi gravado no seu lugar.");
    const QString name = shown(t.remoteName.isEmpty() ? t.name : t.remoteName);
    // Without renames the data went under the final name itself.
    if (t.overwritten)
        return QStringLiteral("O arquivo não foi enviado por inteiro. O servidor não permite o envio com nome temporário: o arquivo %1 "
                              "no servidor está incompleto e deve ser enviado de novo.")
            .arg(name);
    QString fate = !t.previousKeptAs.isEmpty()
                       ? QStringLiteral("O arquivo não foi enviado. A cópia anterior de %1 ficou no servidor como %2.").arg(name, shown(t.previousKeptAs))
                   : t.replacing ? QStringLiteral("O arquivo não foi enviado. A cópia anterior no servidor foi mantida.")
                                 : QStringLiteral("O arquivo não foi enviado; nenhum arquivo chamado %1 foi criado no servidor.").arg(name);
    if (!t.leftOver.isEmpty() && t.leftOverBytes > 0)
        fate += t.resumable ? QStringLiteral("\nA parte já enviada ficou no servidor como %1; um novo envio deste arquivo "
                                             "pode continuar dela.")
                                  .arg(shown(t.leftOver))
                            : QStringLiteral("\nUma parte incompleta ficou no servidor como %1.").arg(shown(t.leftOver));
    return fate;
}

// What failed, before ": why" in the panel.
QString whatFailed(const Failure& f)
{
    if (f.transfer)
        return f.transfer->mode == wmWrite ? QStringLiteral("Falha no envio") : QStringLiteral("Falha no download");
    if (f.whileConnecting)
        return QStringLiteral("Falha ao conectar");
    switch (f.operation) {
    // Said in the log only: no operation shows in the panel.
    case Operation::Identification:
    case Operation::Closing:
        return {};
    case Operation::Listing:
        return QStringLiteral("Falha ao listar os arquivos");
    case Operation::Upload:
        return QStringLiteral("Falha no envio");
    case Operation::Download:
        return QStringLiteral("Falha no download");
    case Operation::Deletion:
        return QStringLiteral("Falha ao excluir o arquivo");
    }
    return {};
}

// The failure's own words, short: their first line without the final stop.
QString ownWords(const QString& message)
{
    QString text = message.section(QLatin1Char('\n'), 0, 0).trimmed();
    while (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text;
}

FailureReport transferReport(const Failure& f, const TransferRecord& t)
{
    const QString where = t.begun && t.total > 0
                              ? QStringLiteral(" em %1 %").arg(std::clamp<std::int64_t>(t.done * 100 / t.total, 0, 100))
                              : QString();
    const Reason reason = transferReason(f.kind, f.message, t, where);
    const QString headline = t.mode == wmWrite ? QStringLiteral("Não foi possível enviar o arquivo %1.")
                                               : QStringLiteral("Não foi possível baixar o arquivo %1.");
    const QString box = headline.arg(shown(t.name)) + QStringLiteral("\n\n") + reason.why + QStringLiteral("\n\n") + fateOf(t);
    // A transfer that could not even connect is told as a listing's failure is: the
    // panel and the log, which opens, say it all, and no box opens over them.
    if (f.whileConnecting && !t.begun)
        return {whatFailed(f) + QStringLiteral(": ") + reason.panel, FailureBox::None, {}, {box}, box};
    return {whatFailed(f) + QStringLiteral(": ") + reason.panel, FailureBox::Error, box, {box}, box};
}

}

bool failsTheTransfer(FailureKind kind)
{
    return shownAs(kind) == Shown::Explained;
}

FailureReport describeFailure(const Failure& f)
{
    const Shown how = shownAs(f.kind);
    if (how == Shown::UsersChoice)
        return {{}, FailureBox::None, {}, {f.message}, f.message};
    if (how == Shown::Explained && f.transfer)
        return transferReport(f, *f.transfer);

    FailureReport report;
    const Reason reason = how == Shown::Explained ? operationReason(f.kind, f.whileConnecting) : Reason{};
    const QString what = whatFailed(f);
    if (!what.isEmpty())
        report.panel = what + QStringLiteral(": ") + (reason.panel.isEmpty() ? ownWords(f.message) : reason.panel);
    report.outcome = f.message;
    switch (how) {
    case Shown::WarningBox:
        report.box = FailureBox::Warning;
        report.boxText = f.message;
        break;
    case Shown::ErrorBox:
        report.box = FailureBox::Error;
        report.boxText = f.message;
        report.log = {f.message};
        break;
    case Shown::Explained:
        report.log = {f.message};
        if (!reason.why.isEmpty())
            report.log << reason.why;
        break;
    case Shown::UsersChoice:
        break;
    }
    return report;
}

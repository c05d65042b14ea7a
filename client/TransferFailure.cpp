#include "TransferFailure.h"

#include "FtpSession.h"
#include "IdFTP.h"
#include "VisibleText.h"

#include <algorithm>

namespace {

using Kind = TransferFailureKind;

QString shown(const QString& text) { return visibleText(text); }

// A message as the end of a sentence.
QString sentence(const QString& text)
{
    const QString t = text.trimmed();
    return t.endsWith(QLatin1Char('.')) || t.endsWith(QLatin1Char('!')) || t.endsWith(QLatin1Char('?')) ? t : t + QLatin1Char('.');
}

// A broken line's why: retried names the new attempts (%2) before the message (%3);
// once has only where (%1) and the message (%2).
QString afterRetries(const TransferRecord& t, const QString& where, const QString& message, const QString& retried, const QString& once)
{
    return t.retries > 0 ? retried.arg(where).arg(t.retries).arg(message) : once.arg(where, message);
}

struct Reason {
    QString panel;
    QString why;
};

// Why, from the kind; where is " em 32 %" once data moved, and nothing before.
Reason reasonOf(Kind kind, const QString& message, const TransferRecord& t, const QString& where)
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
    case Kind::RefusedByServer:
        return {QStringLiteral("recusado pelo servidor"), sentence(QStringLiteral("O servidor recusou: %1").arg(message))};
    case Kind::CertificateRefused:
        return {QStringLiteral("certificado do servidor recusado"), sentence(message)};
    case Kind::RenameRefused:
        return {QStringLiteral("o servidor não permite renomear"), sentence(message)};
    case Kind::NameIsFolder:
        return {QStringLiteral("o nome é de uma pasta no servidor"), sentence(message)};
    case Kind::UnexpectedReply:
        return {QStringLiteral("resposta inválida do servidor"),
                sentence(QStringLiteral("O servidor respondeu o que não se esperava: %1").arg(message))};
    case Kind::LocalFileError:
    // A cancel or a refusal ends the transfer before anyone asks why; should one get
    // here, its own message is all there is to say.
    case Kind::Cancelled:
    case Kind::Declined:
        break;
    }
    return {QStringLiteral("erro no arquivo local"), sentence(message)};
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

}

TransferFailureKind failureKindOf(const std::exception& e)
{
    if (const auto* fault = dynamic_cast<const ETransferFault*>(&e))
        return fault->kind();
    if (dynamic_cast<const EOperationCancelled*>(&e))
        return Kind::Cancelled;
    if (dynamic_cast<const ETransferDeclined*>(&e))
        return Kind::Declined;
    // The component's failures: the more particular classes first.
    if (dynamic_cast<const EIdFTPRestartRefused*>(&e))
        return Kind::RestartRefused;
    if (dynamic_cast<const EIdFTPDataConnectionLost*>(&e))
        return Kind::ConnectionLost;
    if (dynamic_cast<const EIdFTPTransferBroken*>(&e))
        return Kind::TransferBroken;
    if (dynamic_cast<const UntrustedCertificateError*>(&e) || dynamic_cast<const InterceptionSuspectedError*>(&e))
        return Kind::CertificateRefused;
    // The component alone tells a broken connection from its other failures without
    // a reply code (a local file's, a certificate's).
    if (TIdFTP::IsTransientFailure(e))
        return Kind::ConnectionLost;
    const auto* ftpError = dynamic_cast<const EIdFTPError*>(&e);
    const int code = ftpError ? ftpError->Code() : 0;
    // 452: no room on the server, which will not pass by waiting.
    if (code >= 500 || code == 452)
        return Kind::RefusedByServer;
    if (code > 0)
        return Kind::UnexpectedReply;
    return Kind::LocalFileError;
}

QString messageOf(const std::exception& e)
{
    const auto* exception = dynamic_cast<const Exception*>(&e);
    return exception ? exception->Message() : QString::fromLocal8Bit(e.what());
}

TransferFailureReport describeFailure(TransferFailureKind kind, const QString& message, const TransferRecord& t)
{
    const QString where = t.begun && t.total > 0
                              ? QStringLiteral(" em %1 %").arg(std::clamp<std::int64_t>(t.done * 100 / t.total, 0, 100))
                              : QString();
    const Reason reason = reasonOf(kind, message, t, where);
    const QString headline = t.mode == wmWrite ? QStringLiteral("Não foi possível enviar o arquivo %1.")
                                               : QStringLiteral("Não foi possível baixar o arquivo %1.");
    return {reason.panel, headline.arg(shown(t.name)) + QStringLiteral("\n\n") + reason.why + QStringLiteral("\n\n") + fateOf(t)};
}

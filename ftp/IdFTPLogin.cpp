// The login (USER, PASS of RFC 959) and explicit FTP over TLS around it: AUTH TLS
// before it, PBSZ and PROT after it (RFC 4217, with RFC 2228's commands).
#include "IdFTPImpl.h"

using namespace ftp;

bool TIdFTP::IsSecure() const { return d->control.isOpen() && d->control.tls() && d->dataProtected; }

bool TIdFTP::IsKeyPinned() const { return IsSecure() && d->keyPinned; }

void TIdFTP::Impl::logIn()
{
    negotiateTls();

    status(QStringLiteral("Conectado; efetuando login como %1...").arg(settings.username));
    FtpReply r = command(QStringLiteral("USER ") + settings.username);
    if (r.code == 331)
        r = command(QStringLiteral("PASS ") + settings.password);
    if (r.code == 332)
        throw EIdFTPError(FtpFailure::UnexpectedReply, QStringLiteral("O servidor exige uma conta (ACCT), o que este programa não usa"), r.code);
    if (r.code != 230 && r.code != 202)
        throw serverError(r);

    protectData();
}

bool TIdFTP::Impl::plainRefused() const
{
    return settings.tls == TlsMode::IfAvailable && (settings.tlsSeenBefore || !settings.pinnedKeys.isEmpty());
}

QString TIdFTP::Impl::tlsName() const
{
    return settings.tlsName.trimmed().isEmpty() ? settings.host : settings.tlsName.trimmed();
}

namespace {

// Why a server that offered no TLS, or no protected data, is not given the login.
QString interceptionText(const FtpSettings& settings, const QString& what, const QString& consequence, const QString& serverReply)
{
    const QString why = settings.pinnedKeys.isEmpty()
                            ? QStringLiteral("embora este serviço tenha concluído uma conexão segura (TLS) antes")
                            : QStringLiteral("e esta instalação só fala com ele por conexão segura (TLS)");
    return QStringLiteral("O servidor %1:%2 %3, %4: possível interceptação da conexão. %5 Resposta do servidor: %6")
        .arg(settings.host)
        .arg(settings.port)
        .arg(what, why, consequence, serverReply);
}

}

// The certificate is checked before the login: the password goes out only on a
// connection whose certificate was verified, accepted, or showed a pinned key.
void TIdFTP::Impl::negotiateTls()
{
    if (settings.tls == TlsMode::Never) {
        status(QStringLiteral("Conexão sem criptografia"));
        return;
    }
    const FtpReply r = command(QStringLiteral("AUTH TLS"));
    if (r.code != 234) {
        if (settings.tls == TlsMode::Required)
            throw EIdFTPError(refusalOf(r), QStringLiteral("O servidor %1 não oferece conexão segura (TLS), que esta instalação exige: %2")
                                  .arg(settings.host, serverText(r.text)), r.code);
        // Refusing AUTH TLS is all a man in the middle needs to do to read the
        // password and the files, were plain FTP the answer.
        if (plainRefused())
            throw InterceptionSuspectedError(
                interceptionText(settings, QStringLiteral("não aceitou a conexão segura (AUTH TLS)"),
                                 QStringLiteral("O login não foi enviado."), serverText(r.text)), r.code);
        status(QStringLiteral("O servidor não aceitou o AUTH TLS: %1").arg(serverText(r.text)));
        status(QStringLiteral("Conexão sem criptografia"));
        return;
    }
    // Whatever came behind the 234 came before the encryption, from anyone on the
    // way; read later, it would pass for the encrypted server's replies.
    if (reader.hasBufferedBytes() || control.pendingNow() == Socket::Pending::Data)
        throw LinkError(QStringLiteral("O servidor enviou dados inesperados após aceitar o AUTH TLS"));

    tls = std::make_unique<TlsContext>();
    {
        auto layer = std::make_unique<TlsLayer>(*tls, control.handle(), tlsName());
        const QMutexLocker lock(&socketsMutex);
        control.attachTls(std::move(layer));
    }
    TlsLayer& layer = *control.tls();
    layer.handshake(Clock::now() + readTimeout(), readTimeout(), aborted());

    // A pinned key stands for the server whatever the certificate says of names,
    // issuer and dates (the vendor's server may well show a certificate of its own
    // making); any other key is someone else's.
    if (!settings.pinnedKeys.isEmpty()) {
        const QByteArray key = layer.publicKeyDigest();
        if (key.isEmpty() || !settings.pinnedKeys.contains(key))
            throw InterceptionSuspectedError(
                QStringLiteral("A chave do certificado do servidor %1:%2 não é a chave fixada nesta instalação: possível "
                               "interceptação da conexão. O login não foi enviado. (chave SHA-256 apresentada: sha256//%3)")
                    .arg(settings.host)
                    .arg(settings.port)
                    .arg(QString::fromLatin1(key.toBase64())));
        keyPinned = true;
        status(QStringLiteral("Conexão segura (%1, %2, chave fixada)").arg(layer.protocol(), layer.cipher()));
        return;
    }

    const QString problem = layer.verificationProblem();
    if (!problem.isEmpty()) {
        const QString fingerprint = layer.fingerprint();
        if (settings.tls == TlsMode::Required || fingerprint.isEmpty() || !settings.acceptedCertificates.contains(fingerprint))
            throw UntrustedCertificateError(QStringLiteral("O certificado do servidor %1 não pôde ser verificado: %2")
                                                .arg(settings.host, problem),
                                            settings.host, fingerprint, problem);
        status(QStringLiteral("Certificado aceito anteriormente pelo usuário (%1; SHA-256 %2)").arg(problem, fingerprint));
    }
    status(QStringLiteral("Conexão segura (%1, %2)").arg(layer.protocol(), layer.cipher()));
}

void TIdFTP::Impl::protectData()
{
    if (!control.tls())
        return;
    command(QStringLiteral("PBSZ 0")); // required before PROT, whatever it answers (RFC 4217 section 9)
    const FtpReply r = command(QStringLiteral("PROT P"));
    if (r.isPositive()) {
        dataProtected = true;
        return;
    }
    if (settings.tls == TlsMode::Required)
        throw EIdFTPError(refusalOf(r), QStringLiteral("O servidor recusou a proteção dos dados (PROT P): %1").arg(serverText(r.text)), r.code);
    if (plainRefused())
        throw InterceptionSuspectedError(
            interceptionText(settings, QStringLiteral("recusou a proteção dos dados (PROT P)"),
                                 QStringLiteral("Nenhum arquivo nem listagem foi transferido."), serverText(r.text)), r.code);
    status(QStringLiteral("O servidor recusou a proteção dos dados (PROT P); os arquivos e as listagens seguem sem criptografia: %1")
               .arg(serverText(r.text)));
}

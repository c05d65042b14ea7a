// The login (USER, PASS of RFC 959) and explicit FTP over TLS around it: AUTH TLS
// before it, PBSZ and PROT after it (RFC 4217, with RFC 2228's commands).
#include "IdFTPImpl.h"

using namespace ftp;

bool TIdFTP::IsSecure() const { return d->control.isOpen() && d->control.tls() && d->dataProtected; }

void TIdFTP::Impl::logIn()
{
    negotiateTls();

    status(QStringLiteral("Conectado; efetuando login como %1...").arg(q.Username));
    FtpReply r = command(QStringLiteral("USER ") + q.Username);
    if (r.code == 331)
        r = command(QStringLiteral("PASS ") + q.Password);
    if (r.code == 332)
        throw EIdFTPError(QStringLiteral("O servidor exige uma conta (ACCT), o que este programa não usa"), r.code);
    if (r.code != 230 && r.code != 202)
        throw serverError(r);

    protectData();
}

// The certificate is checked before the login: the password goes out only on a
// connection whose certificate was verified or accepted.
void TIdFTP::Impl::negotiateTls()
{
    if (q.Tls == TlsMode::Never) {
        status(QStringLiteral("Conexão sem criptografia"));
        return;
    }
    const FtpReply r = command(QStringLiteral("AUTH TLS"));
    if (r.code != 234) {
        if (q.Tls == TlsMode::Required)
            throw EIdFTPError(QStringLiteral("O servidor %1 não oferece conexão segura (TLS), que esta instalação exige: %2")
                                  .arg(q.Host, serverText(r.text)), r.code);
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
        auto layer = std::make_unique<TlsLayer>(*tls, control.handle(), q.Host);
        std::lock_guard lock(socketsMutex);
        control.attachTls(std::move(layer));
    }
    TlsLayer& layer = *control.tls();
    layer.handshake(Clock::now() + readTimeout(), readTimeout(), aborted);

    const QString problem = layer.verificationProblem();
    if (!problem.isEmpty()) {
        const QString fingerprint = layer.fingerprint();
        if (q.Tls == TlsMode::Required || fingerprint.isEmpty() || !q.AcceptedCertificates.contains(fingerprint))
            throw UntrustedCertificateError(QStringLiteral("O certificado do servidor %1 não pôde ser verificado: %2")
                                                .arg(q.Host, problem),
                                            q.Host, fingerprint, problem);
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
    if (q.Tls == TlsMode::Required)
        throw EIdFTPError(QStringLiteral("O servidor recusou a proteção dos dados (PROT P): %1").arg(serverText(r.text)), r.code);
    status(QStringLiteral("O servidor recusou a proteção dos dados (PROT P); os arquivos e as listagens seguem sem criptografia: %1")
               .arg(serverText(r.text)));
}

// Commands on remote names that move no data (RFC 959): PWD, CWD, MKD, DELE, and
// RNFR/RNTO.
#include "IdFTPImpl.h"

using namespace ftp;

void TIdFTP::Impl::commandOn(const char* verb, const RemoteName& name)
{
    const FtpReply r = command(verb, name);
    if (!r.isPositive())
        throw serverError(r);
}

QString TIdFTP::RetrieveCurrentDir()
{
    return d->guarded([&] {
        const FtpReply r = d->command(QStringLiteral("PWD"));
        if (r.code != 257)
            throw serverError(r);
        const auto path = parsePwdReply(r.text);
        if (!path)
            throw EIdFTPError(FtpFailure::UnexpectedReply, QStringLiteral("Resposta ao PWD sem caminho: %1").arg(serverText(r.text)), r.code);
        return *path;
    });
}

void TIdFTP::ChangeDir(const RemoteName& dir)
{
    d->guarded([&] { d->commandOn("CWD", dir); });
}

void TIdFTP::MakeDir(const RemoteName& dir)
{
    d->guarded([&] {
        const FtpReply r = d->command("MKD", dir);
        if (r.isPositive())
            return;
        if (refusesAsExisting(r))
            throw EIdFTPError(FtpFailure::AlreadyThere, serverText(r.text), r.code);
        throw serverError(r);
    });
}

void TIdFTP::Delete(const RemoteName& name)
{
    d->guarded([&] { d->commandOn("DELE", name); });
}

void TIdFTP::Rename(const RemoteName& from, const RemoteName& to)
{
    d->guarded([&] {
        d->ensureConnected();
        const FtpReply r = d->command("RNFR", from);
        if (r.code != 350)
            throw serverError(r);
        d->commandOn("RNTO", to);
        d->status(QStringLiteral("Arquivo %1 renomeado para %2.").arg(shownName(from), shownName(to)));
    });
}

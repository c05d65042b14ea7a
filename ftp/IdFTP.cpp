// The client object itself: the state every operation shares, the cancel that may
// come from another thread, and which failures another try may get past (RFC 959
// section 4.2: 4xx replies are transient). The operations live in the IdFTP*.cpp
// files beside this one (see IdFTPImpl.h).
#include "IdFTPImpl.h"

#include "VisibleText.h"

using namespace ftp;

namespace ftp {

QString serverText(const QString& text) { return visibleText(text, LineBreaks::Keep); }

EIdFTPError serverError(const FtpReply& reply) { return EIdFTPError(serverText(reply.text), reply.code); }

QString shownName(const RemoteName& name) { return visibleText(name.displayText()); }

}

TIdFTP::TIdFTP() : d(std::make_unique<Impl>(*this)) {}

TIdFTP::~TIdFTP() { d->closeAll(); }

void TIdFTP::Impl::status(const QString& text)
{
    if (IFtpEvents* e = q.m_events.load())
        e->OnStatus(text);
}

void TIdFTP::Impl::closeData() noexcept
{
    std::lock_guard lock(socketsMutex);
    data.close();
}

void TIdFTP::Impl::closeAll() noexcept
{
    std::lock_guard lock(socketsMutex);
    data.close();
    control.close();
    reader.clear();
}

void TIdFTP::Impl::ensureConnected()
{
    if (aborted.load())
        throw LinkError(cancelledText());
    if (!control.isOpen())
        throw EIdFTPError(QStringLiteral("Não conectado ao servidor FTP"));
}

bool TIdFTP::IsTransientFailure(const std::exception& e)
{
    if (dynamic_cast<const LocalError*>(&e))
        return false;
    if (dynamic_cast<const LinkError*>(&e) || dynamic_cast<const EIdFTPTransferBroken*>(&e))
        return true;
    const auto* ftpError = dynamic_cast<const EIdFTPError*>(&e);
    if (!ftpError)
        return false;
    // 452: no room on the server; waiting a minute does not make room.
    const int code = ftpError->Code();
    return code >= 400 && code < 500 && code != 452;
}

namespace {
bool serverSays(const std::exception& e, QLatin1String words)
{
    const auto* ftpError = dynamic_cast<const EIdFTPError*>(&e);
    return ftpError && ftpError->Code() != 0 && ftpError->Message().contains(words, Qt::CaseInsensitive);
}
}

bool TIdFTP::IsNotThere(const std::exception& e)
{
    return serverSays(e, QLatin1String("no such file or directory"));
}

bool TIdFTP::IsAlreadyThere(const std::exception& e)
{
    return serverSays(e, QLatin1String("exist"));
}

void TIdFTP::Abort()
{
    d->aborted.store(true);
    std::lock_guard lock(d->socketsMutex);
    d->data.shutdownBoth();
    d->control.shutdownBoth();
}

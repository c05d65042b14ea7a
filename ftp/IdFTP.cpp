// The client object itself: the state every operation shares and the cancel that
// may come from another thread. The operations live in the IdFTP*.cpp files beside
// this one (see IdFTPImpl.h).
#include "IdFTPImpl.h"

#include "VisibleText.h"

using namespace ftp;

namespace ftp {

QString serverText(const QString& text) { return visibleText(text, LineBreaks::Keep); }

EIdFTPError serverError(const FtpReply& reply) { return EIdFTPError(refusalOf(reply), serverText(reply.text), reply.code); }

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
        throw cancelledError();
    if (!control.isOpen())
        throw EIdFTPError(FtpFailure::LocalFile, QStringLiteral("Não conectado ao servidor FTP"));
}

void TIdFTP::Abort()
{
    d->aborted.store(true);
    std::lock_guard lock(d->socketsMutex);
    d->data.shutdownBoth();
    d->control.shutdownBoth();
}

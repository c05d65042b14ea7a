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
    const QMutexLocker lock(&socketsMutex);
    data.close();
}

void TIdFTP::Impl::closeAll() noexcept
{
    const QMutexLocker lock(&socketsMutex);
    data.close();
    control.close();
    reader.clear();
}

void TIdFTP::Impl::ensureConnected()
{
    if (cancelled())
        throw cancelledError();
    if (!control.isOpen())
        throw EIdFTPError(FtpFailure::LocalFile, QStringLiteral("Não conectado ao servidor FTP"));
}

void TIdFTP::configure(const FtpSettings& settings)
{
    d->settings = settings;
}

const FtpSettings& TIdFTP::settings() const
{
    return d->settings;
}

void TIdFTP::SetCancel(std::shared_ptr<ftp::CancelToken> token)
{
    const QMutexLocker lock(&d->socketsMutex);
    d->ownCancel = !token;
    d->cancel = token ? std::move(token) : std::make_shared<ftp::CancelToken>();
}

void TIdFTP::Abort()
{
    const QMutexLocker lock(&d->socketsMutex);
    d->cancel->cancel();
    d->data.shutdownBoth();
    d->control.shutdownBoth();
}

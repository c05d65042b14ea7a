// Directory listings: MLSD (RFC 3659 section 7) where FEAT offers it, LIST (RFC 959)
// otherwise; the lines are read by FtpListParser.h.
#include "IdFTPImpl.h"

#include "FtpListParser.h"

#include <QDate>

using namespace ftp;

namespace {

// No folder of ours sends this much listing; reading on would only cost time (the
// entries themselves are bounded by FtpListing's limits).
constexpr qsizetype kMaxListingBytes = qsizetype(256) << 20;

}

void TIdFTP::List()
{
    d->listing = {};
    d->guarded([&] {
        d->ensureConnected();
        const bool machine = d->caps.mlsd;
        try {
            d->listing = d->readListing(Impl::commandBytes(machine ? QStringLiteral("MLSD") : QStringLiteral("LIST")), machine).entries;
        } catch (const EIdFTPError& e) {
            // A server whose FEAT promised MLSD but that does not know the command.
            if (!machine || (e.Code() != 500 && e.Code() != 502) || !d->control.isOpen())
                throw;
            d->caps.mlsd = false;
            d->listing = d->readListing(Impl::commandBytes(QStringLiteral("LIST")), false).entries;
        }
    });
}

const FtpListing& TIdFTP::DirectoryListing() const { return d->listing; }

// The listing is read as it arrives: only the line in progress is held besides the
// entries.
TIdFTP::Impl::ListingRead TIdFTP::Impl::readListing(const QByteArray& request, bool machineListing)
{
    ListingParser parser(machineListing, QDate::currentDate());
    qsizetype received = 0;
    transfer(request, wmRead, 0, [&](Socket& connection, WorkReporter& work) {
        receiveToSink(connection, -1, limits(), work, buffer, [&](const char* p, std::size_t n) {
            received += static_cast<qsizetype>(n);
            if (received > kMaxListingBytes)
                throw LocalError(QStringLiteral("Listagem grande demais (mais de %1 MiB)").arg(kMaxListingBytes >> 20));
            parser.feed(p, n);
        });
    });
    return {parser.finish(), received};
}

// What the server says of one name: SIZE, MDTM and MLST (RFC 3659 sections 3, 4
// and 7), LIST of that name (RFC 959) where neither tells, and whether it is a folder.
#include "IdFTPImpl.h"

#include <QTimeZone>

using namespace ftp;

std::optional<std::int64_t> TIdFTP::Impl::remoteSize(const RemoteName& name)
{
    const FtpReply r = command("SIZE", name);
    if (r.code != 213)
        return std::nullopt;
    return parseSizeReply(r.text);
}

std::int64_t TIdFTP::Size(const RemoteName& name)
{
    try {
        return d->guarded([&] { return d->remoteSize(name).value_or(-1); });
    } catch (...) {
        return -1;
    }
}

RemoteFileInfo TIdFTP::FileInfo(const RemoteName& name)
{
    return d->guarded([&]() -> RemoteFileInfo {
        d->ensureConnected();
        if (const auto size = d->remoteSize(name))
            return {true, *size};
        if (d->caps.mlst) {
            const FtpReply r = d->command("MLST", name);
            if (r.code == 250) {
                const auto item = parseMlstReply(r.text);
                const bool folder = item && item->IsDirectory;
                return {true, item && !folder ? item->Size : -1, folder};
            }
            if (r.code == 550)
                return {false, -1};
            // Anything else says nothing of the name: the listing may.
        }
        // What LIST shows for a name differs between servers: "-l" output for a
        // file, the contents of a folder, nothing or a refusal for a name that is not
        // there. Anything listed means something is there.
        Impl::ListingRead listed;
        try {
            listed = d->readListing(Impl::commandBytes("LIST", name), false);
        } catch (const LinkError&) {
            throw;
        } catch (const EIdFTPError& e) {
            if (e.Code() == 450 || e.Code() == 550)
                return {false, -1};
            throw;
        }
        const FtpListing& entries = listed.entries;
        // Lines we cannot read (a bare name, as NLST gives it) still say that
        // something is there; only an empty listing says nothing is.
        if (entries.empty())
            return {listed.bytes > 0, -1};
        const QByteArray& wanted = name.bytes();
        std::int64_t found = -1;
        int files = 0;
        for (const TIdFTPListItem item : entries) {
            if (item.IsDirectory)
                continue;
            ++files;
            if (item.RawName == wanted || item.RawName.endsWith('/' + wanted))
                found = item.Size;
        }
        if (found < 0 && files == 1 && entries.size() == 1)
            found = entries[0].Size;
        return {true, found};
    });
}

bool TIdFTP::IsFolder(const RemoteName& name)
{
    return d->guarded([&] {
        d->ensureConnected();
        if (d->caps.mlst) {
            const FtpReply r = d->command("MLST", name);
            if (r.code == 250) {
                const auto item = parseMlstReply(r.text);
                if (item)
                    return item->IsDirectory;
            } else if (r.code == 550) {
                return false;
            }
        }
        // A folder is what CWD enters; the way back is the folder we were in.
        const FtpReply pwd = d->command(QStringLiteral("PWD"));
        const auto here = pwd.code == 257 ? parsePwdReply(pwd.text) : std::nullopt;
        if (!here)
            throw serverError(pwd);
        if (!d->command("CWD", name).isPositive())
            return false;
        d->commandOn("CWD", RemoteName(*here));
        return true;
    });
}

std::optional<QDateTime> TIdFTP::ModifiedTime(const RemoteName& name)
{
    return d->guarded([&]() -> std::optional<QDateTime> {
        d->ensureConnected();
        const FtpReply r = d->command("MDTM", name);
        if (r.code != 213)
            return std::nullopt;
        // YYYYMMDDHHMMSS[.sss], in UTC.
        const QString digits = r.text.trimmed().left(14);
        const QDateTime time(QDate::fromString(digits.left(8), QStringLiteral("yyyyMMdd")),
                             QTime::fromString(digits.mid(8), QStringLiteral("HHmmss")), QTimeZone::utc());
        if (!time.isValid())
            return std::nullopt;
        return time;
    });
}

#include "PartialUploadName.h"

#include <QCryptographicHash>
#include <QList>

namespace {

const QByteArray kMarker = QByteArrayLiteral(".parcial");

// What stands before the identity: the final name, or its start and a digest of it.
QByteArray stem(const QByteArray& finalName, qsizetype room)
{
    if (finalName.size() <= room)
        return finalName;
    const QByteArray digest = QCryptographicHash::hash(finalName, QCryptographicHash::Sha256).toHex().left(8);
    qsizetype keep = room - 1 - digest.size();
    // Never cut a UTF-8 character in two: step back over continuation bytes.
    while (keep > 0 && (static_cast<unsigned char>(finalName[keep]) & 0xC0) == 0x80)
        --keep;
    return finalName.left(std::max<qsizetype>(keep, 0)) + '~' + digest;
}

QByteArray identityText(const LocalFileIdentity& identity)
{
    return QByteArray::number(static_cast<qulonglong>(identity.size), 16) + '-' +
           QByteArray::number(static_cast<qulonglong>(identity.modifiedSecs), 16);
}

// The longest identity text: two 64-bit numbers in hex and the dash; a fresh name
// adds a dash and a tag.
constexpr qsizetype kMaxIdentityBytes = 16 + 1 + 16;
constexpr qsizetype kMaxTagBytes = 8;

qsizetype stemRoom()
{
    return kMaxNameBytes - 1 - kMaxIdentityBytes - kMarker.size();
}

}

QByteArray partialUploadName(const QByteArray& finalName, const LocalFileIdentity& identity)
{
    return stem(finalName, stemRoom()) + '.' + identityText(identity) + kMarker;
}

QByteArray freshPartialUploadName(const QByteArray& finalName, const LocalFileIdentity& identity, const QByteArray& tag)
{
    return stem(finalName, stemRoom() - 1 - kMaxTagBytes) + '.' + identityText(identity) + '-' + tag.left(kMaxTagBytes) + kMarker;
}

bool isPartialUploadName(const QByteArray& name)
{
    if (!name.endsWith(kMarker))
        return false;
    const QByteArray rest = name.left(name.size() - kMarker.size());
    const qsizetype dot = rest.lastIndexOf('.');
    if (dot <= 0)
        return false;
    const QList<QByteArray> parts = rest.mid(dot + 1).split('-');
    if (parts.size() < 2 || parts.size() > 3)
        return false;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QByteArray& part = parts[i];
        if (part.isEmpty() || part.size() > (i < 2 ? 16 : kMaxTagBytes))
            return false;
        for (const char c : part) {
            const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
            if (!(hex || (i == 2 && c >= 'a' && c <= 'z')))
                return false;
        }
    }
    return true;
}

std::optional<LocalFileIdentity> partialUploadIdentity(const QByteArray& candidate, const QByteArray& finalName)
{
    const QByteArray prefix = stem(finalName, stemRoom()) + '.';
    if (!candidate.startsWith(prefix) || !candidate.endsWith(kMarker))
        return std::nullopt;
    const QByteArray middle = candidate.mid(prefix.size(), candidate.size() - prefix.size() - kMarker.size());
    const qsizetype dash = middle.indexOf('-');
    if (dash <= 0 || dash > 16 || middle.size() - dash - 1 < 1 || middle.size() - dash - 1 > 16)
        return std::nullopt;
    for (const char c : middle)
        if (!(c == '-' || (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return std::nullopt;
    bool okSize = false;
    bool okTime = false;
    const qulonglong size = middle.left(dash).toULongLong(&okSize, 16);
    const qulonglong time = middle.mid(dash + 1).toULongLong(&okTime, 16);
    if (!okSize || !okTime)
        return std::nullopt;
    const LocalFileIdentity identity{static_cast<std::int64_t>(size), static_cast<std::int64_t>(time)};
    // Only the form we write: no leading zeros, no second dash.
    if (identityText(identity) != middle)
        return std::nullopt;
    return identity;
}

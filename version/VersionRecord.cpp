#include "VersionRecord.h"

#include <QFile>

#include <algorithm>
#include <functional>

namespace versionrecord {

namespace {

// The marker XOR kMaskKey. The key is read through a volatile so the compiler
// cannot fold the marker back into this library's code or data.
constexpr unsigned char kMaskedMarker[kMarkerSize] = {
    0xAD, 0x1C, 0x0E, 0x0A, 0x19, 0x74, 0x0C, 0x1F, 0x08, 0x09, 0x13, 0x15, 0x14, 0x74, 0x5B, 0x93,
};
volatile unsigned char kMaskKey = 0x5A;

quint32 word(const char* p, bool bigEndian)
{
    const auto b = [p](int i) { return static_cast<quint32>(static_cast<unsigned char>(p[i])); };
    if (bigEndian)
        return (b(0) << 24) | (b(1) << 16) | (b(2) << 8) | b(3);
    return b(0) | (b(1) << 8) | (b(2) << 16) | (b(3) << 24);
}

VersionQuad quad(quint32 ms, quint32 ls)
{
    return {static_cast<quint16>(ms >> 16), static_cast<quint16>(ms & 0xFFFF), static_cast<quint16>(ls >> 16),
            static_cast<quint16>(ls & 0xFFFF)};
}

// The record is written in the byte order of the machine that built the file;
// the signature tells which one that was.
std::optional<VersionInfo> parseAt(const char* record)
{
    const char* fixed = record + kMarkerSize;
    for (const bool bigEndian : {false, true}) {
        if (word(fixed, bigEndian) != kSignature)
            continue;
        VersionInfo info;
        info.file = quad(word(fixed + 8, bigEndian), word(fixed + 12, bigEndian));
        info.product = quad(word(fixed + 16, bigEndian), word(fixed + 20, bigEndian));
        const char* text = fixed + kFixedInfoSize;
        info.productText = QString::fromUtf8(text, static_cast<qsizetype>(std::find(text, text + kProductTextSize, '\0') - text));
        return info;
    }
    return std::nullopt;
}

}

QByteArray marker()
{
    QByteArray out(kMarkerSize, Qt::Uninitialized);
    const unsigned char key = kMaskKey;
    for (qsizetype i = 0; i < kMarkerSize; ++i)
        out[i] = static_cast<char>(kMaskedMarker[i] ^ key);
    return out;
}

std::optional<VersionInfo> parse(QByteArrayView bytes)
{
    const QByteArray wanted = marker();
    const std::boyer_moore_horspool_searcher searcher(wanted.cbegin(), wanted.cend());
    const char* const end = bytes.data() + bytes.size();
    const char* from = bytes.data();
    for (;;) {
        const char* hit = std::search(from, end, searcher);
        if (hit == end || end - hit < kRecordSize)
            return std::nullopt;
        if (auto info = parseAt(hit))
            return info;
        from = hit + 1;
    }
}

std::optional<VersionInfo> readFile(const QString& path)
{
    if (path.isEmpty())
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const qint64 size = file.size();
    if (size < kRecordSize)
        return std::nullopt;
    // Executables run to megabytes: map the file rather than copy it.
    if (uchar* mapped = file.map(0, size)) {
        auto info = parse(QByteArrayView(reinterpret_cast<const char*>(mapped), static_cast<qsizetype>(size)));
        file.unmap(mapped);
        return info;
    }
    return parse(file.readAll());
}

}

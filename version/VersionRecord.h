#pragma once
// The version record that ftpc_embed_version puts into executables built for
// systems without Windows version resources. It is laid out like the platform's
// VS_FIXEDFILEINFO, behind a marker, followed by the product version text, so
// the version of any file can be read by scanning its bytes.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

namespace versionrecord {

constexpr qsizetype kMarkerSize = 16;
constexpr qsizetype kFixedInfoSize = 13 * 4;
constexpr qsizetype kProductTextSize = 32;
constexpr qsizetype kRecordSize = kMarkerSize + kFixedInfoSize + kProductTextSize;
constexpr quint32 kSignature = 0xFEEF04BDu;

struct VersionQuad {
    quint16 major = 0;
    quint16 minor = 0;
    quint16 release = 0;
    quint16 build = 0;
    bool operator==(const VersionQuad&) const = default;
};

struct VersionInfo {
    VersionQuad file;
    VersionQuad product;
    QString productText;
};

// The marker's bytes. They are kept transformed in this library and rebuilt on
// each call, so that only a real record ever shows them in a binary.
QByteArray marker();

// The first well-formed record in the bytes (marker, signature, whole record).
std::optional<VersionInfo> parse(QByteArrayView bytes);

// Reads the file; a missing or unreadable file, or one without a record, gives nothing.
std::optional<VersionInfo> readFile(const QString& path);

}

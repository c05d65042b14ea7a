#include "VersionTestSupport.h"

#include "ExePath.h"
#include "TestSupport.h"
#include "VersionRecord.h"

#include <optional>

namespace {

QString q(const char* s) { return QString::fromUtf8(s); }

int countMarkers(const QByteArray& bytes)
{
    const QByteArray m = versionrecord::marker();
    int n = 0;
    for (qsizetype at = bytes.indexOf(m); at >= 0; at = bytes.indexOf(m, at + 1))
        ++n;
    return n;
}

struct Fields {
    quint32 signature = versionrecord::kSignature;
    quint32 fileMS = 0;
    quint32 fileLS = 0;
    quint32 productMS = 0;
    quint32 productLS = 0;
    QByteArray productText;
    bool bigEndian = false;
};

QByteArray record(const Fields& f)
{
    QByteArray out = versionrecord::marker();
    const quint32 words[13] = {f.signature, 0x10000u, f.fileMS, f.fileLS, f.productMS, f.productLS, 0x3F, 0, 0, 1, 0, 0, 0};
    for (quint32 w : words) {
        for (int i = 0; i < 4; ++i) {
            const int shift = f.bigEndian ? 8 * (3 - i) : 8 * i;
            out.append(static_cast<char>((w >> shift) & 0xFF));
        }
    }
    QByteArray text = f.productText.left(versionrecord::kProductTextSize);
    text.append(QByteArray(versionrecord::kProductTextSize - text.size(), '\0'));
    return out + text;
}

}

TEST(VersionRecord, MarkerOccursOnlyInRealRecords)
{
    const QByteArray m = versionrecord::marker();
    EXPECT_EQ(m.size(), versionrecord::kMarkerSize);
#ifdef _WIN32
    const int records = 0; // Windows executables carry a version resource instead
#else
    const int records = 1;
#endif
    EXPECT_EQ(countMarkers(testsupport::readFile(exepath::executablePath())), records);
    EXPECT_EQ(countMarkers(testsupport::readFile(q(VERSION_FIXTURE_VERSIONED))), records);
    EXPECT_EQ(countMarkers(testsupport::readFile(q(VERSION_FIXTURE_PLAIN))), 0);
    EXPECT_EQ(countMarkers(testsupport::readFile(q(VERSION_LIBRARY))), 0);
}

TEST(VersionRecord, ParseTable)
{
    using versionrecord::VersionQuad;
    const QByteArray valid = record({.fileMS = 0x00020003, .fileLS = 0x00000007, .productMS = 0x00090009, .productText = "9.9"});
    const QByteArray badSignature = record({.signature = 0x12345678, .fileMS = 0x00050005, .productText = ""});
    struct Row {
        const char* caso;
        QByteArray bytes;
        std::optional<VersionQuad> file;
        const char* productText;
    };
    const Row rows[] = {
        {"a record", QByteArray("noise") + valid + "tail", VersionQuad{2, 3, 0, 7}, "9.9"},
        {"a record at the very end", QByteArray(100, '\xFF') + valid, VersionQuad{2, 3, 0, 7}, "9.9"},
        {"written big-endian", record({.fileMS = 0x0001000A, .fileLS = 0x00020003, .productText = "x", .bigEndian = true}),
         VersionQuad{1, 10, 2, 3}, "x"},
        {"largest parts", record({.fileMS = 0xFFFFFFFF, .fileLS = 0xFFFFFFFF, .productText = ""}), VersionQuad{65535, 65535, 65535, 65535}, ""},
        {"product text filling its field",
         record({.fileMS = 0x00010000, .productText = QByteArray(40, '7')}), VersionQuad{1, 0, 0, 0}, "77777777777777777777777777777777"},
        {"a marker without signature, then a record", badSignature + valid, VersionQuad{2, 3, 0, 7}, "9.9"},
        {"only a marker without signature", badSignature, std::nullopt, ""},
        {"a record cut short", valid.left(valid.size() - 1), std::nullopt, ""},
        {"no marker", QByteArray(500, 'a'), std::nullopt, ""},
        {"nothing", QByteArray(), std::nullopt, ""},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.caso);
        const auto info = versionrecord::parse(r.bytes);
        ASSERT_EQ(info.has_value(), r.file.has_value());
        if (info) {
            EXPECT_EQ(info->file, *r.file);
            EXPECT_EQ(info->productText, q(r.productText));
        }
    }
}

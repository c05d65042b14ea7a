// Tables of raw server text and what the client reads out of it.
#include "FtpListParser.h"
#include "FtpReply.h"
#include "FtpReplyParsers.h"
#include "FtpText.h"
#include "VisibleText.h"

#include <QCoreApplication>
#include <QHash>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>

using namespace ftp;

namespace {

QDateTime local(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s));
}

QDateTime utc(int y, int mo, int d, int h, int mi, int s)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), QTimeZone::utc());
}

struct ListCase {
    const char* line;
    const char* name; // nullptr: the line is skipped
    std::int64_t size;
    bool dir;
    QDateTime modified;
};

void PrintTo(const ListCase& c, std::ostream* os) { *os << c.line; }

// --- MLSD -------------------------------------------------------------------

class MlsdLine : public ::testing::TestWithParam<ListCase> {};

TEST_P(MlsdLine, Parses)
{
    const ListCase& c = GetParam();
    const auto item = parseMlsdLine(QString::fromUtf8(c.line));
    if (!c.name) {
        EXPECT_FALSE(item.has_value()) << item->FileName.toStdString();
        return;
    }
    ASSERT_TRUE(item.has_value());
    EXPECT_EQ(item->FileName, QString::fromUtf8(c.name));
    EXPECT_EQ(item->Size, c.size);
    EXPECT_EQ(item->IsDirectory, c.dir);
    EXPECT_EQ(item->ModifiedDate, c.modified);
    if (c.modified.isValid()) { // shown as the user's local time
        EXPECT_EQ(item->ModifiedDate.timeSpec(), Qt::LocalTime);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, MlsdLine, ::testing::Values(
    ListCase{"type=file;size=1234;modify=20200102030405;perm=adfrw; a.txt", "a.txt", 1234, false, utc(2020, 1, 2, 3, 4, 5)},
    ListCase{"type=dir;sizd=4096;modify=20200102030405.123;perm=el; docs", "docs", 4096, true, utc(2020, 1, 2, 3, 4, 5)},
    ListCase{"type=cdir;modify=20200102030405; /home/caldoria", ".", 0, true, utc(2020, 1, 2, 3, 4, 5)},
    ListCase{"type=pdir;modify=20200102030405; /home", "..", 0, true, utc(2020, 1, 2, 3, 4, 5)},
    ListCase{"Type=File;Size=5;Modify=20211231235959; name with  blanks.txt", "name with  blanks.txt", 5, false, utc(2021, 12, 31, 23, 59, 59)},
    ListCase{"type=OS.unix=slink:/etc;size=4; link", "link", 4, false, {}},
    ListCase{"type=file;size=12345678901234;modify=19991231000000; big.fbk", "big.fbk", 12345678901234LL, false, utc(1999, 12, 31, 0, 0, 0)},
    ListCase{"type=file;size=7;modify=2020-01-02; odd time.txt", "odd time.txt", 7, false, {}},
    ListCase{"size=3; no type.txt", "no type.txt", 3, false, {}},
    ListCase{"type=file;size=1; ação.txt", "ação.txt", 1, false, {}},
    ListCase{"no facts here", nullptr, 0, false, {}},
    ListCase{"type=file;size=1;", nullptr, 0, false, {}},
    ListCase{"nofact; x", nullptr, 0, false, {}},
    ListCase{"", nullptr, 0, false, {}}));

// --- LIST ---------------------------------------------------------------------

const QDate kToday(2024, 3, 15);

class ListLine : public ::testing::TestWithParam<ListCase> {};

TEST_P(ListLine, Parses)
{
    const ListCase& c = GetParam();
    const auto item = parseListLine(QString::fromUtf8(c.line), kToday);
    if (!c.name) {
        EXPECT_FALSE(item.has_value()) << item->FileName.toStdString();
        return;
    }
    ASSERT_TRUE(item.has_value());
    EXPECT_EQ(item->FileName, QString::fromUtf8(c.name));
    EXPECT_EQ(item->Size, c.size);
    EXPECT_EQ(item->IsDirectory, c.dir);
    EXPECT_EQ(item->ModifiedDate, c.modified);
}

INSTANTIATE_TEST_SUITE_P(Table, ListLine, ::testing::Values(
    // vsftpd: numeric owners, zero-padded day, year for old files
    ListCase{"drwxr-xr-x    2 1000     1000         4096 Jan 02  2020 docs", "docs", 4096, true, local(2020, 1, 2)},
    ListCase{"-rw-r--r--    1 1000     1000           13 Jan 02  2020 a.txt", "a.txt", 13, false, local(2020, 1, 2)},
    // proftpd: blank-padded day
    ListCase{"-rw-r--r--   1 ftp      ftp          1234 Jan  2  2020 backup.fbk", "backup.fbk", 1234, false, local(2020, 1, 2)},
    // recent files: a time and no year
    ListCase{"-rw-r--r--   1 ftp      ftp            99 Mar 10 14:05 recent.txt", "recent.txt", 99, false, local(2024, 3, 10, 14, 5)},
    ListCase{"-rw-r--r--   1 ftp      ftp             5 Dec 24 10:00 natal.txt", "natal.txt", 5, false, local(2023, 12, 24, 10, 0)},
    ListCase{"-rw-r--r--   1 ftp      ftp             5 Mar 16 09:00 tomorrow.txt", "tomorrow.txt", 5, false, local(2024, 3, 16, 9, 0)},
    // names with blanks, inside and in front
    ListCase{"-rw-r--r--    1 0        0              10 Feb 29  2020 name with  blanks.txt", "name with  blanks.txt", 10, false, local(2020, 2, 29)},
    ListCase{"-rw-r--r--    1 0        0               7 Jan 02  2020  lead.txt", " lead.txt", 7, false, local(2020, 1, 2)},
    ListCase{"-rw-r--r--    1 0        0               7 Jan 02  2020 Jan 02  2020.txt", "Jan 02  2020.txt", 7, false, local(2020, 1, 2)},
    ListCase{"lrwxrwxrwx    1 0        0               7 Jan 02  2020 atual -> backup.fbk", "atual", 7, false, local(2020, 1, 2)},
    ListCase{"-rw-r--r--    1 0        0      5368709120 Jan 02  2020 big.fbk", "big.fbk", 5368709120LL, false, local(2020, 1, 2)},
    ListCase{"-rw-r--r--    1 owner             1234 Jan 02  2020 nogroup.txt", "nogroup.txt", 1234, false, local(2020, 1, 2)},
    ListCase{"drwxr-xr-x    2 0        0            4096 Jan 02  2020 .", ".", 4096, true, local(2020, 1, 2)},
    ListCase{"drwxr-xr-x    2 0        0            4096 Jan 02  2020 ..", "..", 4096, true, local(2020, 1, 2)},
    ListCase{"-rw-r--r--+   1 0        0              12 2020-01-02 10:03 iso.txt", "iso.txt", 12, false, local(2020, 1, 2, 10, 3)},
    ListCase{"-rw-r--r--    1 0        0               3 Jan 02  2020 ação.txt", "ação.txt", 3, false, local(2020, 1, 2)},
    // Windows / IIS
    ListCase{"01-02-20  03:04PM       <DIR>          backups antigos", "backups antigos", 0, true, local(2020, 1, 2, 15, 4)},
    ListCase{"12-31-19  11:59AM              4096123 Base Dados 2019.fbk", "Base Dados 2019.fbk", 4096123, false, local(2019, 12, 31, 11, 59)},
    ListCase{"07-04-2021  00:05                   0 vazio.txt", "vazio.txt", 0, false, local(2021, 7, 4, 0, 5)},
    ListCase{"01-02-20  12:30AM                   5 meia-noite.txt", "meia-noite.txt", 5, false, local(2020, 1, 2, 0, 30)},
    ListCase{"01-02-20  12:30PM          6000000000 meio-dia.fbk", "meio-dia.fbk", 6000000000LL, false, local(2020, 1, 2, 12, 30)},
    // garbage
    ListCase{"total 12", nullptr, 0, false, {}},
    ListCase{"", nullptr, 0, false, {}},
    ListCase{"   ", nullptr, 0, false, {}},
    ListCase{"226-Options: -l", nullptr, 0, false, {}},
    ListCase{"drwxr-xr-x    2 0        0            4096 Foo 02  2020 badmonth", nullptr, 0, false, {}},
    ListCase{"-rw-r--r--    1 0        0               7 Jan 02  2020 ", nullptr, 0, false, {}},
    ListCase{"this line is no listing entry", nullptr, 0, false, {}},
    ListCase{"13-45-20  03:04PM                   5 badmonth.txt", nullptr, 0, false, {}},
    ListCase{"01-02-20  13:04PM                   5 badhour.txt", nullptr, 0, false, {}}));

TEST(Listing, KeepsGoodLinesSkipsGarbage)
{
    const QByteArray unix = "total 3\r\n"
                            "drwxr-xr-x    2 0        0            4096 Jan 02  2020 docs\r\n"
                            "garbage garbage\n"
                            "-rw-r--r--    1 0        0               7 Jan 02  2020 a b.txt\r\n"
                            "\r\n"
                            "-rw-r--r--    1 0        0               9 Jan 03  2020 last.txt";
    const auto items = parseListing(unix, false, kToday);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].FileName, QStringLiteral("docs"));
    EXPECT_EQ(items[1].FileName, QStringLiteral("a b.txt"));
    EXPECT_EQ(items[2].FileName, QStringLiteral("last.txt"));
    EXPECT_EQ(items[2].Size, 9);

    const QByteArray mlsd = "type=cdir;modify=20200102030405; /x\r\n"
                            "type=pdir;modify=20200102030405; /\r\n"
                            "type=file;size=5;modify=20200102030405; f.txt\r\n"
                            "junk\r\n";
    const auto m = parseListing(mlsd, true, kToday);
    ASSERT_EQ(m.size(), 3u);
    EXPECT_EQ(m[0].FileName, QStringLiteral("."));
    EXPECT_EQ(m[1].FileName, QStringLiteral(".."));
    EXPECT_EQ(m[2].FileName, QStringLiteral("f.txt"));
}

// Names are the server's bytes; what is shown tells apart names that differ in
// them, also when one of them is not UTF-8.
TEST(Listing, NamesKeepTheirBytesAndShowApart)
{
    const QByteArray raw = "-rw-r--r--    1 0        0               3 Jan 02  2020 s\xe3o.txt\r\n"
                           "-rw-r--r--    1 0        0               4 Jan 02  2020 s\xc3\xa3o.txt\r\n"
                           "type=file;size=5; x\r\n";
    const auto items = parseListing(raw, false, kToday);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].RawName, QByteArray("s\xe3o.txt"));
    EXPECT_EQ(items[0].FileName, QString::fromUtf16(u"s\uFFFD\u00E3o.txt"));
    EXPECT_EQ(items[1].RawName, QByteArray("s\xc3\xa3o.txt"));
    EXPECT_EQ(items[1].FileName, QStringLiteral("são.txt"));
    EXPECT_EQ(RemoteName(items[0]).bytes(), items[0].RawName);
    EXPECT_EQ(RemoteName(QStringLiteral("são.txt")).bytes(), QByteArray("s\xc3\xa3o.txt")) << "typed names go out as UTF-8";

    const auto machine = parseListing("type=file;size=1; caf\xe9\r\ntype=cdir; /x\r\n", true, kToday);
    ASSERT_EQ(machine.size(), 2u);
    EXPECT_EQ(machine[0].RawName, QByteArray("caf\xe9"));
    EXPECT_EQ(machine.fileName(0), QString::fromUtf16(u"caf\uFFFD\u00E9"));
    EXPECT_EQ(machine[1].RawName, QByteArray("."));
}

struct ShownCase {
    const char* what;
    QByteArray raw;
    QString shown;
};
void PrintTo(const ShownCase& c, std::ostream* os) { *os << c.what; }

class DisplayNameTable : public ::testing::TestWithParam<ShownCase> {};

TEST_P(DisplayNameTable, ShowsAndReadsBack)
{
    EXPECT_EQ(displayName(GetParam().raw), GetParam().shown);
    // The window passes a shown name back as text: it names the same bytes.
    EXPECT_EQ(RemoteName(GetParam().shown).bytes(), GetParam().raw);
}

// Text that merely holds the mark is what the user typed: it goes out as UTF-8.
TEST(DisplayName, TextThatIsNoShownNameIsUtf8)
{
    for (const QString& typed : {QString::fromUtf16(u"a\uFFFD"), QString::fromUtf16(u"a\uFFFDx"), QString::fromUtf16(u"\uFFFD4"),
                                 QString::fromUtf16(u"\uFFFD41"), QString::fromUtf16(u"\uFFFD\u0101")}) {
        SCOPED_TRACE(typed.toStdString());
        EXPECT_EQ(RemoteName(typed).bytes(), typed.toUtf8());
    }
}

INSTANTIATE_TEST_SUITE_P(Table, DisplayNameTable, ::testing::Values(
    ShownCase{"ASCII", "backup 2020.fbk", QStringLiteral("backup 2020.fbk")},
    ShownCase{"UTF-8", "S\xc3\xa3o Jos\xc3\xa9", QStringLiteral("São José")},
    ShownCase{"UTF-8, four bytes", "\xf0\x9f\x8e\x89.txt", QString::fromUtf16(u"\U0001F389.txt")},
    ShownCase{"control characters stay (the window shows them)", "tab\there\x1b", QStringLiteral("tab\there\x1b")},
    ShownCase{"a byte-order mark is kept", "\xef\xbb\xbf" "bom", QChar(0xFEFF) + QStringLiteral("bom")},
    ShownCase{"Latin-1", "s\xe3o", QString::fromUtf16(u"s\uFFFD\u00E3o")},
    ShownCase{"Windows-1252", "\x93x\x94", QString::fromUtf16(u"\uFFFD\u201Cx\uFFFD\u201D")},
    ShownCase{"undefined in Windows-1252", "a\x81", QString::fromUtf16(u"a\uFFFD81")},
    ShownCase{"no-break space and soft hyphen", "\xa0\xad", QString::fromUtf16(u"\uFFFDA0\uFFFDAD")},
    ShownCase{"overlong form", "\xc0\xaf", QString::fromUtf16(u"\uFFFD\u00C0\uFFFD\u00AF")},
    ShownCase{"surrogate", "\xed\xa0\x80", QString::fromUtf16(u"\uFFFD\u00ED\uFFFDA0\uFFFD\u20AC")},
    ShownCase{"cut short", "ab\xc3", QString::fromUtf16(u"ab\uFFFD\u00C3")},
    ShownCase{"U+FFFD itself", "\xef\xbf\xbd", QString::fromUtf16(u"\uFFFD\u00EF\uFFFD\u00BF\uFFFD\u00BD")},
    ShownCase{"mixed", "\xc3\xa3\xe3", QString::fromUtf16(u"\u00E3\uFFFD\u00E3")}));

// Every name of one or two bytes shows differently from every other.
TEST(DisplayName, NeverShowsTwoNamesAlike)
{
    QHash<QString, QByteArray> seen;
    for (int n = 1; n <= 2; ++n) {
        for (int value = 0; value < (1 << (8 * n)); ++value) {
            QByteArray raw(n, Qt::Uninitialized);
            for (int i = 0; i < n; ++i)
                raw[i] = static_cast<char>(value >> (8 * i));
            const QString shown = displayName(raw);
            const auto it = seen.constFind(shown);
            ASSERT_TRUE(it == seen.constEnd()) << raw.toHex().constData() << " and " << it->toHex().constData();
            seen.insert(shown, raw);
        }
    }
}

// Names no file system allows are no entries; a line far too long for any entry is
// skipped without being held, and the lines around it are read.
TEST(Listing, RefusesOverlongNamesAndLines)
{
    QByteArray raw = "type=file;size=1; a\r\n";
    raw += "type=file;size=2; " + QByteArray(1024, 'k') + "\r\n";
    raw += "type=file;size=3; " + QByteArray(1025, 'x') + "\r\n";
    raw += "type=file;size=4; " + QByteArray(200000, 'y') + "\r\n";
    raw += "type=file;size=5; b\r\n";
    for (const std::size_t piece : {std::size_t(1), std::size_t(7), std::size_t(65536), std::size_t(raw.size())}) {
        SCOPED_TRACE(piece);
        ListingParser parser(true, kToday);
        for (qsizetype at = 0; at < raw.size(); at += static_cast<qsizetype>(piece))
            parser.feed(raw.constData() + at, std::min<std::size_t>(piece, static_cast<std::size_t>(raw.size() - at)));
        const FtpListing items = parser.finish();
        ASSERT_EQ(items.size(), 3u);
        EXPECT_EQ(items[0].FileName, QStringLiteral("a"));
        EXPECT_EQ(items[1].Size, 2);
        EXPECT_EQ(items[1].RawName.size(), 1024);
        EXPECT_EQ(items[2].FileName, QStringLiteral("b"));
    }
}

// The listing's bounds: the entry after the last one allowed fails the listing, as
// do names that add up to more than the memory set aside for them.
TEST(Listing, FailsBeyondItsLimits)
{
    QByteArray many;
    many.reserve(32 * 500001);
    for (std::size_t i = 0; i < FtpListing::kMaxEntries; ++i)
        many += "type=file;size=1; e" + QByteArray::number(static_cast<qulonglong>(i)) + "\r\n";
    const FtpListing full = parseListing(many, true, kToday);
    ASSERT_EQ(full.size(), FtpListing::kMaxEntries);
    EXPECT_EQ(full[FtpListing::kMaxEntries - 1].FileName, QStringLiteral("e499999"));
    many += "type=file;size=1; one-too-many\r\n";
    try {
        parseListing(many, true, kToday);
        FAIL() << "a listing beyond the entry limit was taken";
    } catch (const EIdFTPError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Listagem grande demais (mais de 500.000 entradas)"));
    }

    const QByteArray line = "type=file;size=1; " + QByteArray(1000, 'n');
    ListingParser parser(true, kToday);
    QString message;
    std::size_t lines = 0;
    try {
        for (; lines < 100000; ++lines) {
            const QByteArray numbered = line + QByteArray::number(static_cast<qulonglong>(lines)) + "\n";
            parser.feed(numbered.constData(), static_cast<std::size_t>(numbered.size()));
        }
    } catch (const EIdFTPError& e) {
        message = e.Message();
    }
    EXPECT_EQ(message, QStringLiteral("Listagem grande demais (nomes com mais de 64 MiB ao todo)"));
    EXPECT_GT(lines, 60000u);
}

// Copies share the entries; the iterators give the same entries as indexing.
TEST(Listing, IsAValueWithIterators)
{
    const FtpListing items = parseListing("type=file;size=1; a\r\ntype=dir; b\r\n", true, kToday);
    const FtpListing copy = items;
    EXPECT_EQ(copy.rawName(1), items.rawName(1));
    QStringList names;
    for (const TIdFTPListItem& item : copy)
        names << item.FileName;
    EXPECT_EQ(names, (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
    EXPECT_EQ(std::count_if(items.begin(), items.end(), [](const TIdFTPListItem& i) { return i.IsDirectory; }), 1);
    EXPECT_TRUE(FtpListing().empty());
}

// --- server text ------------------------------------------------------------------

TEST(VisibleText, ShowsControlsAndReorderingMarks)
{
    struct Row {
        QString text;
        QString keep;
        QString show;
    };
    const Row rows[] = {
        {QStringLiteral("plain text, ação"), QStringLiteral("plain text, ação"), QStringLiteral("plain text, ação")},
        {QStringLiteral("a\nb"), QStringLiteral("a\nb"), QStringLiteral("a\\nb")},
        {QStringLiteral("\x1b[31mred\r\x07\x7f"), QStringLiteral("\\x1B[31mred\\x0D\\x07\\x7F"),
         QStringLiteral("\\x1B[31mred\\x0D\\x07\\x7F")},
        {QString::fromUtf16(u"\u0085\u009B"), QStringLiteral("\\x85\\x9B"), QStringLiteral("\\x85\\x9B")},
        {QString::fromUtf16(u"x\u202Etxt.exe\u2028"), QStringLiteral("x\\u202Etxt.exe\\u2028"),
         QStringLiteral("x\\u202Etxt.exe\\u2028")},
        {QString(QChar(0)), QStringLiteral("\\x00"), QStringLiteral("\\x00")},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.text.toStdString());
        EXPECT_EQ(visibleText(r.text, LineBreaks::Keep), r.keep);
        EXPECT_EQ(visibleText(r.text), r.show);
    }
}

// --- PASV, EPSV, PWD, SIZE, FEAT ---------------------------------------------------

struct PasvCase {
    const char* text;
    bool ok;
    std::uint32_t address;
    int port;
};
void PrintTo(const PasvCase& c, std::ostream* os) { *os << c.text; }

class PasvReplyTable : public ::testing::TestWithParam<PasvCase> {};

TEST_P(PasvReplyTable, Parses)
{
    const PasvCase& c = GetParam();
    const auto r = parsePasvReply(QString::fromUtf8(c.text));
    ASSERT_EQ(r.has_value(), c.ok);
    if (c.ok) {
        EXPECT_EQ(r->address, c.address);
        EXPECT_EQ(r->port, c.port);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, PasvReplyTable, ::testing::Values(
    PasvCase{"Entering Passive Mode (127,0,0,1,156,64).", true, 0x7f000001, 40000},
    PasvCase{"Entering Passive Mode (10,99,88,77,4,1)", true, 0x0a63584d, 1025},
    PasvCase{"Entering Passive Mode 192,168,0,1,0,21", true, 0xc0a80001, 21},
    PasvCase{"=127,0,0,1,200,10", true, 0x7f000001, 51210},
    PasvCase{"Entering Passive Mode (127,0,0,1,256,1)", false, 0, 0},
    PasvCase{"Entering Passive Mode (127,0,0,1,0,0)", false, 0, 0},
    PasvCase{"Entering Passive Mode (1,2,3,4,5)", false, 0, 0},
    PasvCase{"Entering Passive Mode (1234,0,0,1,4,1)", false, 0, 0},
    PasvCase{"no numbers at all", false, 0, 0}));

struct PortCase {
    const char* text;
    int port; // 0: refused
};
void PrintTo(const PortCase& c, std::ostream* os) { *os << c.text; }

class EpsvReplyTable : public ::testing::TestWithParam<PortCase> {};

TEST_P(EpsvReplyTable, Parses)
{
    const auto r = parseEpsvReply(QString::fromUtf8(GetParam().text));
    EXPECT_EQ(r.value_or(0), GetParam().port);
}

INSTANTIATE_TEST_SUITE_P(Table, EpsvReplyTable, ::testing::Values(
    PortCase{"Entering Extended Passive Mode (|||40099|)", 40099},
    PortCase{"Extended Passive mode OK (|||40299|)", 40299},
    PortCase{"Entering extended passive mode (|||40335|).", 40335},
    PortCase{"Odd delimiter (!!!1025!)", 1025},
    PortCase{"(|||0|)", 0},
    PortCase{"(|||65536|)", 0},
    PortCase{"(||40099|)", 0},
    PortCase{"(|||40a9|)", 0},
    PortCase{"(|||40099)", 0},
    PortCase{"(|||40099|", 0},
    PortCase{"no parentheses 40099", 0}));

struct PwdCase {
    const char* text;
    const char* path; // nullptr: none
};
void PrintTo(const PwdCase& c, std::ostream* os) { *os << c.text; }

class PwdReplyTable : public ::testing::TestWithParam<PwdCase> {};

TEST_P(PwdReplyTable, Parses)
{
    const auto r = parsePwdReply(QString::fromUtf8(GetParam().text));
    if (!GetParam().path) {
        EXPECT_FALSE(r.has_value());
        return;
    }
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(*r, QString::fromUtf8(GetParam().path));
}

INSTANTIATE_TEST_SUITE_P(Table, PwdReplyTable, ::testing::Values(
    PwdCase{"\"/\" is the current directory", "/"},
    PwdCase{"\"/\" is your current location", "/"},
    PwdCase{"\"/gCALDORIA/Cidades/SAO PAULO-SP\" is the current directory.", "/gCALDORIA/Cidades/SAO PAULO-SP"},
    PwdCase{"\"/a \"\"quoted\"\" b\" is current", "/a \"quoted\" b"},
    PwdCase{"Current directory follows.\n\"/x\" is the current directory.", "/x"},
    PwdCase{"\"/first\" and \"/second\"", "/first"},
    PwdCase{"/home/user is current directory", "/home/user"},
    PwdCase{"\"\" is odd but empty", ""},
    PwdCase{"is current directory", nullptr},
    PwdCase{"\"/unterminated", nullptr}));

struct SizeCase {
    const char* text;
    std::int64_t size; // -1: none
};
void PrintTo(const SizeCase& c, std::ostream* os) { *os << c.text; }

class SizeReplyTable : public ::testing::TestWithParam<SizeCase> {};

TEST_P(SizeReplyTable, Parses)
{
    EXPECT_EQ(parseSizeReply(QString::fromUtf8(GetParam().text)).value_or(-1), GetParam().size);
}

INSTANTIATE_TEST_SUITE_P(Table, SizeReplyTable, ::testing::Values(
    SizeCase{"13", 13}, SizeCase{"0", 0}, SizeCase{"5368709120", 5368709120LL}, SizeCase{" 42 bytes", 42},
    SizeCase{"", -1}, SizeCase{"abc", -1}, SizeCase{"-5", -1}, SizeCase{"99999999999999999999999", -1}));

TEST(FeatReply, ReadsFeaturesAndChoosesPassiveMode)
{
    const auto full = parseFeatReply(QStringLiteral("Features:\n EPRT\n EPSV\n MLST type*;size*;modify*;\n SIZE\n UTF8\nEnd"));
    EXPECT_TRUE(full.mlsd && full.epsv && full.eprt && full.size && full.utf8);
    EXPECT_TRUE(full.useEpsv());

    const auto vsftpd = parseFeatReply(QStringLiteral("Features:\n EPRT\n EPSV\n MDTM\n PASV\n REST STREAM\n SIZE\n TVFS\nEnd"));
    EXPECT_FALSE(vsftpd.mlsd);
    EXPECT_TRUE(vsftpd.useEpsv());

    auto epsvOnly = parseFeatReply(QStringLiteral("Features:\n EPSV\n MLSD\nEnd"));
    EXPECT_TRUE(epsvOnly.mlsd);
    EXPECT_FALSE(epsvOnly.useEpsv()) << "EPSV needs EPRT beside it";

    auto refused = full;
    refused.epsvRefused = true;
    EXPECT_FALSE(refused.useEpsv());

    const auto none = parseFeatReply(QStringLiteral("No features."));
    EXPECT_FALSE(none.mlsd || none.epsv || none.eprt || none.size || none.utf8);
}

// --- reply reader ---------------------------------------------------------------------

struct ReplyCase {
    const char* name;
    std::vector<QByteArray> chunks;
    std::vector<std::pair<int, QString>> replies;
};
void PrintTo(const ReplyCase& c, std::ostream* os) { *os << c.name; }

class ReplyReaderTable : public ::testing::TestWithParam<ReplyCase> {};

TEST_P(ReplyReaderTable, Assembles)
{
    FtpReplyReader reader;
    std::vector<std::pair<int, QString>> got;
    for (const QByteArray& chunk : GetParam().chunks) {
        reader.append(chunk.constData(), static_cast<std::size_t>(chunk.size()));
        while (auto r = reader.next())
            got.emplace_back(r->code, r->text);
    }
    EXPECT_EQ(got, GetParam().replies);
}

INSTANTIATE_TEST_SUITE_P(Table, ReplyReaderTable, ::testing::Values(
    ReplyCase{"one line", {"220 ready\r\n"}, {{220, "ready"}}},
    ReplyCase{"bare LF", {"200 ok\n"}, {{200, "ok"}}},
    ReplyCase{"code only", {"226\r\n"}, {{226, ""}}},
    ReplyCase{"split anywhere", {"2", "20 rea", "dy\r", "\n"}, {{220, "ready"}}},
    ReplyCase{"two in one piece", {"331 pass\r\n230 ok\r\n"}, {{331, "pass"}, {230, "ok"}}},
    ReplyCase{"incomplete multi-line waits", {"220-partial\r\n220-more\r\n"}, {}},
    ReplyCase{"multi-line with inner digits",
              {"220-Welcome\r\n220-second\r\n230 not the end\r\n 220-indented\r\n123 digits\r\n220 ready\r\n"},
              {{220, "Welcome\nsecond\n230 not the end\n 220-indented\n123 digits\nready"}}},
    ReplyCase{"FEAT as servers send it",
              {"211-Features:\r\n EPRT\r\n EPSV\r\n211 End\r\n"},
              {{211, "Features:\n EPRT\n EPSV\nEnd"}}},
    ReplyCase{"inner lines repeating the code with a hyphen",
              {"226-Options: -l \r\n226 3 matches total\r\n"},
              {{226, "Options: -l \n3 matches total"}}},
    ReplyCase{"multi-line then single", {"230-a\r\n230 b\r\n200 c\r\n"}, {{230, "a\nb"}, {200, "c"}}},
    ReplyCase{"Windows-1252 text", {"550 N\xe3o existe\r\n"}, {{550, QStringLiteral("Não existe")}}},
    ReplyCase{"UTF-8 text", {"550 N\xc3\xa3o existe\r\n"}, {{550, QStringLiteral("Não existe")}}}));

TEST(ReplyReader, RefusesWhatIsNoReply)
{
    for (const QByteArray& bad : {QByteArray("hello\r\n"), QByteArray("999 nine\r\n"), QByteArray("22 short\r\n"),
                                 QByteArray("220x\r\n"), QByteArray("HTTP/1.1 400 Bad Request\r\n")}) {
        FtpReplyReader reader;
        reader.append(bad.constData(), static_cast<std::size_t>(bad.size()));
        EXPECT_THROW(reader.next(), EIdFTPError) << bad.constData();
    }
}

TEST(ReplyReader, RefusesReplyOfTooManyLines)
{
    for (const int lines : {1000, 1001}) {
        SCOPED_TRACE(lines);
        QByteArray reply;
        for (int i = 1; i < lines; ++i)
            reply += "211-x\r\n";
        reply += "211 End\r\n";
        FtpReplyReader reader;
        reader.append(reply.constData(), static_cast<std::size_t>(reply.size()));
        if (lines <= FtpReplyReader::kMaxReplyLines) {
            const auto r = reader.next();
            ASSERT_TRUE(r.has_value());
            EXPECT_EQ(r->text.count(QLatin1Char('\n')), lines - 1);
        } else {
            EXPECT_THROW(reader.next(), EIdFTPError);
        }
    }
}

TEST(ReplyReader, RefusesEndlessReplyButTakesLongLines)
{
    FtpReplyReader longLine;
    const QByteArray line = "550 " + QByteArray(100 * 1024, 'x') + "\r\n";
    longLine.append(line.constData(), static_cast<std::size_t>(line.size()));
    const auto r = longLine.next();
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->text.size(), 100 * 1024);

    FtpReplyReader endless;
    const QByteArray chunk = "220-" + QByteArray(64 * 1024, 'y') + "\r\n";
    bool threw = false;
    for (int i = 0; i < 40 && !threw; ++i) {
        endless.append(chunk.constData(), static_cast<std::size_t>(chunk.size()));
        try {
            EXPECT_FALSE(endless.next().has_value());
        } catch (const EIdFTPError&) {
            threw = true;
        }
    }
    EXPECT_TRUE(threw);
}

}

int main(int argc, char** argv)
{
    // A zone away from UTC, so the MLSD times show that they are turned into local time.
    qputenv("TZ", "BRT3");
    tzset();
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

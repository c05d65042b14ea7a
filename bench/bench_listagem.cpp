// Parsing a folder of 100,000 entries as the server sends it: MLSD (RFC 3659) and
// the Unix LIST format of vsftpd, with dates both of this year and of older years,
// fed to the parser in the 256 KiB pieces a download hands it. The listing keeps
// times and names as they came; BM_ReadAll100k is what a view pays to make every
// entry (name decoded, time in local time) once.
#include "FtpListParser.h"

#include <QByteArray>
#include <QDate>

#include <benchmark/benchmark.h>

#include <algorithm>

namespace {

constexpr int kEntries = 100000;
const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

QByteArray mlsdListing()
{
    QByteArray out;
    out.reserve(kEntries * 80);
    for (int i = 0; i < kEntries; ++i) {
        out += "type=file;size=" + QByteArray::number(1000003LL * (i % 977)) + ";modify=2024"
               + QByteArray::number(10 + i % 3) + QByteArray::number(10 + i % 18) + "123456;perm=adfrw; backup_"
               + QByteArray::number(i).rightJustified(6, '0') + ".fbk\r\n";
    }
    return out;
}

QByteArray listListing()
{
    QByteArray out;
    out.reserve(kEntries * 80);
    for (int i = 0; i < kEntries; ++i) {
        const QByteArray day = QByteArray::number(1 + i % 28).rightJustified(2, '0');
        // Older files show a year, recent ones a time.
        const QByteArray when = i % 2 ? QByteArray("  2020") : QByteArray(" 12:34");
        out += "-rw-r--r--    1 1001     1001     " + QByteArray::number(1000003LL * (i % 977)).rightJustified(10, ' ') + ' '
               + kMonths[i % 12] + ' ' + day + when + " backup_" + QByteArray::number(i).rightJustified(6, '0') + ".fbk\r\n";
    }
    return out;
}

void parse(benchmark::State& state, const QByteArray& raw, bool machine)
{
    const QDate today(2024, 12, 31);
    constexpr qsizetype kPiece = 256 * 1024;
    std::size_t entries = 0;
    for (auto _ : state) {
        ftp::ListingParser parser(machine, today);
        for (qsizetype at = 0; at < raw.size(); at += kPiece)
            parser.feed(raw.constData() + at, static_cast<std::size_t>(std::min(kPiece, raw.size() - at)));
        const FtpListing items = parser.finish();
        entries = items.size();
        benchmark::DoNotOptimize(items);
    }
    if (entries != static_cast<std::size_t>(kEntries))
        state.SkipWithError("the parser dropped lines");
    state.counters["entries"] = static_cast<double>(entries);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * raw.size());
}

void BM_Mlsd100k(benchmark::State& state)
{
    static const QByteArray raw = mlsdListing();
    parse(state, raw, true);
}

void BM_List100k(benchmark::State& state)
{
    static const QByteArray raw = listListing();
    parse(state, raw, false);
}

void BM_ReadAll100k(benchmark::State& state)
{
    static const FtpListing items = ftp::parseListing(mlsdListing(), true, QDate(2024, 12, 31));
    for (auto _ : state) {
        std::int64_t sum = 0;
        for (const TIdFTPListItem& item : items)
            sum += item.FileName.size() + item.ModifiedDate.time().second();
        benchmark::DoNotOptimize(sum);
    }
}

}

BENCHMARK(BM_Mlsd100k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_List100k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadAll100k)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();

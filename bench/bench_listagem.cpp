// Parsing a folder of 100,000 entries as the server sends it: MLSD (RFC 3659) and
// the Unix LIST format of vsftpd, with dates both of this year and of older years.
#include "FtpListParser.h"

#include <QByteArray>
#include <QDate>

#include <benchmark/benchmark.h>

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
    std::size_t entries = 0;
    for (auto _ : state) {
        const auto items = ftp::parseListing(raw, machine, today);
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

}

BENCHMARK(BM_Mlsd100k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_List100k)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();

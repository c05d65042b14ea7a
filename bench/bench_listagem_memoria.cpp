// Memory of the process that holds a listing: the FTP client lists a folder of
// 100,000 entries, one at the entry limit (500,000) and one at the limit of the
// names' bytes (64 MiB), each in a process of its own, from our scripted server on
// 127.0.0.1. Prints one table row per case: entries, the time of List(), and the
// process's resident memory before the listing, holding it, and at its peak.
//
//   ftpc_bench_listagem_memoria            all cases (starts the servers itself)
//   ftpc_bench_listagem_memoria PORT       one listing from the server at PORT
#include "IdFTP.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// A figure of /proc/self/status, in KiB.
long statusKiB(const char* field)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(static_cast<qsizetype>(std::strlen(field))).trimmed().split(' ').first().toLong();
    return -1;
}

int listOnce(int port)
{
    TIdFTP ftp;
    ftp.configure({.host = QStringLiteral("127.0.0.1"), .port = port, .username = QStringLiteral("caldoria"), .password = QStringLiteral("vesplodu")});
    try {
        ftp.Connect();
        const long before = statusKiB("VmRSS:");
        QElapsedTimer timer;
        timer.start();
        ftp.List();
        const qint64 ms = timer.elapsed();
        std::printf("entries=%zu ms=%lld before_kib=%ld holding_kib=%ld peak_kib=%ld\n", ftp.DirectoryListing().size(),
                    static_cast<long long>(ms), before, statusKiB("VmRSS:"), statusKiB("VmHWM:"));
        ftp.Disconnect();
    } catch (const Exception& e) {
        std::fprintf(stderr, "%s\n", e.Message().toLocal8Bit().constData());
        return 1;
    }
    return 0;
}

QByteArray figure(const QByteArray& line, const QByteArray& key)
{
    for (const QByteArray& part : line.trimmed().split(' '))
        if (part.startsWith(key + '='))
            return part.mid(key.size() + 1);
    return "?";
}

QString mib(const QByteArray& kib) { return QString::number(kib.toDouble() / 1024.0, 'f', 1); }

}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 2)
        return listOnce(std::atoi(argv[1]));

    struct Case {
        const char* label;
        const char* scenario;
    };
    std::printf("| listing | entries | List() (ms) | RSS before (MiB) | RSS holding it (MiB) | peak RSS (MiB) |\n"
                "|---|---|---|---|---|---|\n");
    for (const Case& c : {Case{"100,000 entries", "huge-listing"}, Case{"entry limit", "listing-at-limit"},
                          Case{"64 MiB of names", "names-at-limit"}}) {
        QProcess server;
        server.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(FTPC_SCRIPTED_FTP), QStringLiteral("--scenario"),
                                                          QString::fromLatin1(c.scenario)});
        if (!server.waitForReadyRead(30000)) {
            std::fprintf(stderr, "the scripted server did not start\n");
            return 1;
        }
        const QByteArray port = server.readLine().trimmed().mid(5);
        QProcess lister;
        lister.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(port)});
        lister.waitForFinished(600000);
        const QByteArray out = lister.readAllStandardOutput();
        server.kill();
        server.waitForFinished();
        if (lister.exitCode() != 0) {
            std::fprintf(stderr, "%s: %s\n", c.label, lister.readAllStandardError().constData());
            return 1;
        }
        std::printf("| %s | %s | %s | %s | %s | %s |\n", c.label, figure(out, "entries").constData(), figure(out, "ms").constData(),
                    qPrintable(mib(figure(out, "before_kib"))), qPrintable(mib(figure(out, "holding_kib"))),
                    qPrintable(mib(figure(out, "peak_kib"))));
        std::fflush(stdout);
    }
    return 0;
}

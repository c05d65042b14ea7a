// One upload or download through the same FTP client the window uses, timed from
// the connect to the disconnect, for comparison with curl on the same server.
//
//   ftpc_transfer HOST PORT USER PASSWORD up|down REMOTE LOCAL [--quiet-events] [--tls]
//
// "up" sends LOCAL as REMOTE; "down" receives REMOTE into LOCAL (replacing it). A
// LOCAL that is a device, such as /dev/null, is opened here and handed to the
// client as the stream to write to: the client itself saves only to regular files. Progress events are counted, as
// the window would receive them; --quiet-events attaches none, to show what they
// cost. --tls encrypts the control and data connections (TLS required, the
// certificate verified: SSL_CERT_FILE names the authority to trust). Prints one line: seconds in all and, with events, the seconds before the
// data moved and while it moved (the rest is the check and the log-out after it),
// bytes and progress events.
#include "IdFTP.h"

#include <QFile>
#include <QFileInfo>
#include <QString>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

class CountingEvents : public IFtpEvents {
public:
    void OnStatus(const QString&) override { ++statusLines; }
    void OnWorkBegin(TWorkMode, std::int64_t) override
    {
        ++begins;
        began = std::chrono::steady_clock::now();
    }
    void OnWork(TWorkMode, std::int64_t soFar) override
    {
        ++works;
        last = soFar;
    }
    void OnWorkEnd(TWorkMode) override
    {
        ++ends;
        ended = std::chrono::steady_clock::now();
    }

    int statusLines = 0;
    int begins = 0;
    int works = 0;
    int ends = 0;
    std::int64_t last = 0;
    std::chrono::steady_clock::time_point began{}, ended{};
};

int usage()
{
    std::fputs("usage: ftpc_transfer HOST PORT USER PASSWORD up|down REMOTE LOCAL [--quiet-events] [--tls]\n", stderr);
    return 2;
}

}

int main(int argc, char** argv)
{
    if (argc < 8)
        return usage();
    const bool upload = std::strcmp(argv[5], "up") == 0;
    if (!upload && std::strcmp(argv[5], "down") != 0)
        return usage();
    bool withEvents = true;
    bool tls = false;
    for (int i = 8; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quiet-events") == 0)
            withEvents = false;
        else if (std::strcmp(argv[i], "--tls") == 0)
            tls = true;
        else
            return usage();
    }

    TIdFTP ftp;
    FtpSettings ajustes;
    ajustes.host = QString::fromLocal8Bit(argv[1]);
    ajustes.port = std::atoi(argv[2]);
    ajustes.username = QString::fromLocal8Bit(argv[3]);
    ajustes.password = QString::fromLocal8Bit(argv[4]);
    ajustes.transferType = ftBinary;
    ajustes.tls = tls ? TlsMode::Required : TlsMode::Never;
    ftp.configure(ajustes);
    const QString remote = QString::fromLocal8Bit(argv[6]);
    const QString local = QString::fromLocal8Bit(argv[7]);

    CountingEvents events;
    if (withEvents)
        ftp.SetEvents(&events);

    const auto started = std::chrono::steady_clock::now();
    try {
        ftp.Connect();
        if (upload) {
            ftp.Put(local, remote);
        } else if (QFileInfo(local).exists() && !QFileInfo(local).isFile() && !QFileInfo(local).isDir()) {
            QFile device(local);
            if (!device.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
                throw Exception(QStringLiteral("cannot open %1: %2").arg(local, device.errorString()));
            ftp.Get(remote, device);
        } else {
            ftp.Get(remote, local, true, false);
        }
        ftp.Disconnect();
    } catch (const Exception& e) {
        std::fprintf(stderr, "ftpc_transfer: %s\n", e.Message().toLocal8Bit().constData());
        return 1;
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
    // The log-in and the commands before the data moved; the data connection, up to
    // the server's final reply.
    std::printf("seconds=%.3f", took.count());
    if (withEvents) {
        const std::chrono::duration<double> before = events.began - started;
        const std::chrono::duration<double> moving = events.ended - events.began;
        std::printf(" before_data=%.3f data_seconds=%.3f bytes=%lld work_events=%d", before.count(), moving.count(),
                    static_cast<long long>(events.last), events.works);
    }
    std::printf("\n");
    return 0;
}

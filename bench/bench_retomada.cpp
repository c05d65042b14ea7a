// One upload or download through the FTP session as the program makes it (the
// session of client/, without a window): connection, the folder of corrupted-base
// mode (no system is installed here), the transfer with its new attempts after a
// broken line, the check of the copy and the rename. scripts/bench.sh runs it
// through our relay (tests/fixtures/ftp/cutting_proxy.py), clean and with the data
// connection cut, and adds up the bytes the relay passed on.
//
//   ftpc_bench_retomada up LOCAL_FILE
//   ftpc_bench_retomada down REMOTE_NAME LOCAL_FILE
//
// The server is FTPCALDORIA_FTP_HOST (and _ALT_HOST). Prints, on one line:
//   name=<remote name> seconds=<whole operation> retries=<n> pauses_s=<their sum>
#include "FtpSession.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>

#include <cstdio>

namespace {

class Relatorio : public FtpSessionEvents {
public:
    int retries = 0;
    QElapsedTimer desde;
    // BENCH_VERBOSE: the log, each line with the milliseconds since the start.
    void log(const QString& line) override
    {
        if (qEnvironmentVariableIsSet("BENCH_VERBOSE"))
            std::fprintf(stderr, "%8lld %s\n", static_cast<long long>(desde.elapsed()), qPrintable(line));
    }
    void clientCaption(const QString&) override {}
    void waiting(const QString&) override {}
    void transferBegin(TWorkMode, std::int64_t) override {}
    void transferProgress(TWorkMode, std::int64_t) override {}
    void transferRetry(TWorkMode, int attempt, int, int) override { retries = std::max(retries, attempt); }
    void transferResumed(TWorkMode, std::int64_t) override {}
    void transferChecking(TWorkMode) override {}
    void transferEnd(TWorkMode, TransferOutcome, const QString&) override {}
    bool replaceRemoteFile(const QString&) override { return true; }
    bool resumeInterruptedUpload(const QString&, std::int64_t, std::int64_t) override { return false; }
    bool replaceLocalFile(const QString&) override { return true; }
    void uniqueNameChosen(const QString&) override {}
};

}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const bool up = args.value(0) == QLatin1String("up") && args.size() == 2;
    const bool down = args.value(0) == QLatin1String("down") && args.size() == 3;
    if (!up && !down) {
        std::fputs("usage: ftpc_bench_retomada up LOCAL_FILE | down REMOTE_NAME LOCAL_FILE\n", stderr);
        return 2;
    }
    Relatorio relatorio;
    relatorio.desde.start();
    FtpSession sessao(relatorio);
    const RetryPolicy politica;
    QString nome;
    QElapsedTimer relogio;
    relogio.start();
    try {
        FtpSession::OperationScope uso(sessao, up ? Operation::Upload : Operation::Download);
        sessao.CriarPastaCliente();
        if (up) {
            nome = sessao.EnviarArquivoBaseCorrompida(args[1]).name;
        } else {
            nome = args[1];
            sessao.BaixarArquivo(nome, args[2]);
        }
    } catch (const Exception& e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.Message()));
        return 1;
    }
    const double segundos = static_cast<double>(relogio.nsecsElapsed()) / 1e9;
    std::int64_t pausas = 0;
    for (int i = 0; i < relatorio.retries; ++i)
        pausas += politica.pauses.at(static_cast<std::size_t>(i)).count();
    sessao.closeConnection();
    std::printf("name=%s seconds=%.3f retries=%d pauses_s=%.3f\n", qPrintable(nome), segundos, relatorio.retries,
                static_cast<double>(pausas) / 1000.0);
    return 0;
}

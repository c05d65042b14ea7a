// What the one command line of every mode says: the window or a run without one,
// the options, what is refused wherever it stands, and the durations of --tentar-por.
#include "CommandLine.h"
#include "RetryWindow.h"

#include <gtest/gtest.h>

namespace {

using Action = CommandOptions::Action;
using std::chrono::seconds;

// The files that exist, for the parser's question.
std::function<bool(const QString&)> existem(QStringList arquivos)
{
    return [arquivos = std::move(arquivos)](const QString& p) { return arquivos.contains(p); };
}

TEST(LinhaDeComando, WindowOrRunWithoutOne)
{
    const struct {
        QStringList args;
        QStringList existem; // files of these names exist
        Action action;
        const char* arquivo;
    } casos[] = {
        {{}, {}, Action::Window, ""},
        // The window's own command line: a file handed over as the first argument.
        {{"/backup/KORV2017.fbk"}, {"/backup/KORV2017.fbk"}, Action::Window, "/backup/KORV2017.fbk"},
        {{"/backup/nao-existe.fbk"}, {}, Action::Window, "/backup/nao-existe.fbk"},
        // A file whose name looks like an option is still the window's.
        {{"--enviar"}, {"--enviar"}, Action::Window, "--enviar"},
        {{"-"}, {}, Action::Window, "-"},
        {{"--enviar", "b.fbk"}, {}, Action::Send, "b.fbk"},
        {{"--enviar=b.fbk"}, {}, Action::Send, "b.fbk"},
        {{"--log", "x.log", "--enviar", "b.fbk"}, {}, Action::Send, "b.fbk"},
        {{"--help"}, {}, Action::Help, ""},
        {{"-h"}, {}, Action::Help, ""},
        {{"--ajuda"}, {}, Action::Help, ""},
        {{"--versao"}, {}, Action::Version, ""},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const CommandOptions o = parseCommandLine(c.args, existem(c.existem));
        EXPECT_EQ(o.action, c.action);
        EXPECT_EQ(o.file.toStdString(), c.arquivo);
    }
}

TEST(LinhaDeComando, Options)
{
    const struct {
        QStringList args;
        Action action;
        QString arquivo;
        bool substituir;
        QString log;
        seconds tentarPor;
    } casos[] = {
        {{"--enviar", "backup.fbk"}, Action::Send, "backup.fbk", false, "", CommandOptions::kDefaultRetryFor},
        {{"--enviar=backup da prefeitura.fbk"}, Action::Send, "backup da prefeitura.fbk", false, "", CommandOptions::kDefaultRetryFor},
        {{"--substituir", "--enviar", "b.fbk", "--log", "envio.log"}, Action::Send, "b.fbk", true, "envio.log", CommandOptions::kDefaultRetryFor},
        {{"--log=envio.log", "--enviar", "b.fbk", "--substituir"}, Action::Send, "b.fbk", true, "envio.log", CommandOptions::kDefaultRetryFor},
        {{"--enviar", "b.fbk", "--tentar-por", "2h"}, Action::Send, "b.fbk", false, "", seconds(7200)},
        {{"--tentar-por=0s", "--enviar", "b.fbk"}, Action::Send, "b.fbk", false, "", seconds(0)},
        // The value of an option is taken as it stands, as getopt takes it.
        {{"--enviar", "-"}, Action::Send, "-", false, "", CommandOptions::kDefaultRetryFor},
        // Help and the version win over everything else, wrong options included.
        {{"--enviar", "b.fbk", "--help"}, Action::Help, "", false, "", CommandOptions::kDefaultRetryFor},
        {{"--bogus", "-h"}, Action::Help, "", false, "", CommandOptions::kDefaultRetryFor},
        {{"--versao", "--bogus"}, Action::Version, "", false, "", CommandOptions::kDefaultRetryFor},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const CommandOptions o = parseCommandLine(c.args, existem({}));
        EXPECT_EQ(o.action, c.action);
        EXPECT_EQ(o.file.toStdString(), c.arquivo.toStdString());
        EXPECT_EQ(o.replace, c.substituir);
        EXPECT_EQ(o.logFile.toStdString(), c.log.toStdString());
        EXPECT_EQ(o.retryFor.count(), c.tentarPor.count());
    }
}

// An option nobody knows is refused wherever it stands: first, after --enviar, or
// beside the window's file; a typo never opens a window nor sends.
TEST(LinhaDeComando, BadUsage)
{
    const struct {
        QStringList args;
        const char* mensagem;
    } casos[] = {
        {{"--substituir"}, "falta a opção --enviar ARQUIVO"},
        {{"--enviar"}, "a opção --enviar precisa de um ARQUIVO"},
        {{"--enviar="}, "a opção --enviar precisa de um ARQUIVO"},
        {{"--enviar", ""}, "a opção --enviar precisa de um ARQUIVO"},
        {{"--enviar", "b.fbk", "--log"}, "a opção --log precisa de um ARQUIVO"},
        {{"--enviar", "b.fbk", "--tentar-por"}, "a opção --tentar-por precisa de uma DURAÇÃO"},
        {{"--enviar", "b.fbk", "--tentar-por", "3"}, "a duração de --tentar-por não é válida: 3 (use, por exemplo, 90s, 30m ou 2h)"},
        {{"--enviar", "b.fbk", "--tentar-por", "-5m"}, "a duração de --tentar-por não é válida: -5m (use, por exemplo, 90s, 30m ou 2h)"},
        {{"--enviar", "b.fbk", "--substituir=sim"}, "a opção --substituir não leva valor"},
        {{"--enviar", "a.fbk", "--enviar=b.fbk"}, "a opção --enviar foi dada mais de uma vez: envia-se um arquivo por vez"},
        {{"--enviar", "a.fbk", "--log", "x", "--log", "y"}, "a opção --log foi dada mais de uma vez"},
        {{"--enviar", "a.fbk", "-s"}, "opção desconhecida: -s"},
        {{"--enviar", "a.fbk", "b.fbk"}, "argumento inesperado: b.fbk"},
        {{"--log", "x.log", "b.fbk"}, "argumento inesperado: b.fbk"},
        // Before --enviar, alone, or beside a file for the window.
        {{"--substitur", "--enviar", "backup.fbk"}, "opção desconhecida: --substitur"},
        {{"--bogus"}, "opção desconhecida: --bogus"},
        {{"--enviarx", "b.fbk"}, "opção desconhecida: --enviarx"},
        {{"/backup/KORV2017.fbk", "--bogus"}, "opção desconhecida: --bogus"},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        try {
            parseCommandLine(c.args, existem({"/backup/KORV2017.fbk"}));
            ADD_FAILURE() << "accepted";
        } catch (const EBadUsage& e) {
            EXPECT_EQ(e.Message().toStdString(), c.mensagem);
        }
    }
}

TEST(LinhaDeComando, LogFileNamedAmongArgumentsThatMakeNoCommand)
{
    EXPECT_EQ(logFileNamed({"--substitur", "--log", "a.log", "--enviar", "b"}), QStringLiteral("a.log"));
    EXPECT_EQ(logFileNamed({"--log=b.log", "--bogus"}), QStringLiteral("b.log"));
    EXPECT_EQ(logFileNamed({"--bogus", "--log"}), QString());
}

TEST(LinhaDeComando, Durations)
{
    const struct {
        const char* texto;
        long long segundos; // -1: not a duration
        const char* dito;   // as the log says it back
    } casos[] = {
        {"90s", 90, "1 min 30 s"}, {"30m", 1800, "30 min"}, {"2h", 7200, "2 h"},  {"1h30m", 5400, "1 h 30 min"},
        {"0s", 0, "0 s"},          {"3m", 180, "3 min"},    {"", -1, ""},         {"90", -1, ""},
        {"1d", -1, ""},            {"h", -1, ""},           {"1,5h", -1, ""},     {"2H", -1, ""},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.texto);
        const auto d = parseDuration(QString::fromUtf8(c.texto));
        ASSERT_EQ(d.has_value(), c.segundos >= 0);
        if (d) {
            EXPECT_EQ(d->count(), c.segundos);
            EXPECT_EQ(durationText(*d).toStdString(), c.dito);
        }
    }
}

// The pauses between attempts grow, are capped, and no attempt starts after the
// window has closed: the last pause is cut to end as the window does.
TEST(JanelaDeTentativas, PausesGrowAndStopAtTheWindowsEnd)
{
    const RetryWindow janela(seconds(3600));
    const struct {
        int tentativa;
        long long decorrido;
        long long pausa; // -1: none
    } casos[] = {
        {1, 0, -1},    {2, 0, 10},    {3, 10, 20},   {4, 30, 40},   {5, 70, 80},     {6, 150, 160},
        {7, 310, 300}, {8, 610, 300}, {30, 3000, 300}, {9, 3500, 100}, {9, 3600, -1}, {9, 4000, -1},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.tentativa);
        const auto p = janela.pauseBefore(c.tentativa, seconds(c.decorrido));
        ASSERT_EQ(p.has_value(), c.pausa >= 0);
        if (p) {
            EXPECT_EQ(p->count(), c.pausa);
        }
    }
    EXPECT_FALSE(RetryWindow(seconds(0)).pauseBefore(2, seconds(0)).has_value()) << "--tentar-por 0s tries once";
}

// Only what waiting may change is tried again.
TEST(JanelaDeTentativas, OnlyWhatWaitingMayChangeIsTriedAgain)
{
    const FailureKind deNovo[] = {FailureKind::ConnectionLost, FailureKind::TransferBroken};
    const FailureKind umaVez[] = {FailureKind::FileRefused,     FailureKind::RefusedByServer, FailureKind::InterceptionSuspected,
                                  FailureKind::CertificateRefused, FailureKind::LocalFileError, FailureKind::UnreadableFile,
                                  FailureKind::NotAFile,        FailureKind::Cancelled,       FailureKind::ServerFull,
                                  FailureKind::ContentMismatch, FailureKind::LocalFileChanged};
    for (FailureKind k : deNovo)
        EXPECT_TRUE(RetryWindow::waitingMayHelp(Failure{k, {}})) << static_cast<int>(k);
    for (FailureKind k : umaVez)
        EXPECT_FALSE(RetryWindow::waitingMayHelp(Failure{k, {}})) << static_cast<int>(k);
}

}

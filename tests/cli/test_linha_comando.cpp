// Which command line chooses the mode without a window, and what its options say.
#include "CommandLine.h"

#include <gtest/gtest.h>

namespace {

TEST(LinhaDeComando, OnlyAnOptionOfTheModeThatNamesNoFileChoosesIt)
{
    const struct {
        const char* primeiro;
        bool existe; // a file of that name exists
        bool escolhe;
    } casos[] = {
        {"--enviar", false, true},
        {"--enviar=backup.fbk", false, true},
        {"--substituir", false, true},
        {"--log", false, true},
        {"--log=envio.log", false, true},
        {"--help", false, true},
        {"-h", false, true},
        {"--versao", false, true},
        // The window's command line: a file, anything else is ignored by it.
        {"--enviar", true, false},
        {"/backup/KORV2017.fbk", true, false},
        {"/backup/nao-existe.fbk", false, false},
        {"--qualquer", false, false},
        {"--enviarx", false, false},
        {"-", false, false},
        {"", false, false},
    };
    for (const auto& c : casos)
        EXPECT_EQ(choosesCommandMode(QString::fromUtf8(c.primeiro), c.existe), c.escolhe) << c.primeiro << ' ' << c.existe;
}

TEST(LinhaDeComando, Options)
{
    using Action = CommandOptions::Action;
    const struct {
        QStringList args;
        Action action;
        QString arquivo;
        bool substituir;
        QString log;
    } casos[] = {
        {{"--enviar", "backup.fbk"}, Action::Send, "backup.fbk", false, ""},
        {{"--enviar=backup da prefeitura.fbk"}, Action::Send, "backup da prefeitura.fbk", false, ""},
        {{"--substituir", "--enviar", "b.fbk", "--log", "envio.log"}, Action::Send, "b.fbk", true, "envio.log"},
        {{"--log=envio.log", "--enviar", "b.fbk", "--substituir"}, Action::Send, "b.fbk", true, "envio.log"},
        // The value of an option is taken as it stands, as getopt takes it.
        {{"--enviar", "-"}, Action::Send, "-", false, ""},
        // Help and the version win over everything else, wrong options included.
        {{"--enviar", "b.fbk", "--help"}, Action::Help, "", false, ""},
        {{"--bogus", "-h"}, Action::Help, "", false, ""},
        {{"--versao", "--bogus"}, Action::Version, "", false, ""},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const CommandOptions o = parseCommandLine(c.args);
        EXPECT_EQ(o.action, c.action);
        EXPECT_EQ(o.file.toStdString(), c.arquivo.toStdString());
        EXPECT_EQ(o.replace, c.substituir);
        EXPECT_EQ(o.logFile.toStdString(), c.log.toStdString());
    }
}

TEST(LinhaDeComando, BadUsage)
{
    const struct {
        QStringList args;
        const char* mensagem;
    } casos[] = {
        {{}, "falta a opção --enviar ARQUIVO"},
        {{"--substituir"}, "falta a opção --enviar ARQUIVO"},
        {{"--enviar"}, "a opção --enviar precisa de um ARQUIVO"},
        {{"--enviar="}, "a opção --enviar precisa de um ARQUIVO"},
        {{"--enviar", ""}, "a opção --enviar precisa de um ARQUIVO"},
        {{"--enviar", "b.fbk", "--log"}, "a opção --log precisa de um ARQUIVO"},
        {{"--enviar", "a.fbk", "--enviar=b.fbk"}, "a opção --enviar foi dada mais de uma vez: envia-se um arquivo por vez"},
        {{"--enviar", "a.fbk", "--log", "x", "--log", "y"}, "a opção --log foi dada mais de uma vez"},
        {{"--enviar", "a.fbk", "-s"}, "opção desconhecida: -s"},
        {{"--enviar", "a.fbk", "b.fbk"}, "argumento inesperado: b.fbk"},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        try {
            parseCommandLine(c.args);
            ADD_FAILURE() << "accepted";
        } catch (const EBadUsage& e) {
            EXPECT_EQ(e.Message().toStdString(), c.mensagem);
        }
    }
}

}

#include "CommandMode.h"

#include "CommandLine.h"
#include "Console.h"
#include "LogText.h"
#include "UnattendedSend.h"
#include "uTVersao.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>

namespace {

void write(std::FILE* stream, const QString& text)
{
    console::write(stream, text);
}

QString programName()
{
    return QFileInfo(QCoreApplication::applicationFilePath()).fileName();
}

}

bool choosesCommandMode(int argc, char* argv[])
{
    if (argc < 2)
        return false;
    const QString first = QString::fromLocal8Bit(argv[1]);
    return choosesCommandMode(first, QFileInfo(first).isFile());
}

int runCommandMode(int argc, char* argv[])
{
    console::attachToParent();
    QCoreApplication app(argc, argv);

    CommandOptions options;
    try {
        options = parseCommandLine(QCoreApplication::arguments().mid(1));
    } catch (const EBadUsage& e) {
        write(stderr, QStringLiteral("%1: %2\n%3\nPara mais informações: %1 --help\n").arg(programName(), e.Message(), usageLine(programName())));
        return static_cast<int>(ExitCode::BadUsage);
    }
    switch (options.action) {
    case CommandOptions::Action::Help:
        write(stdout, helpText(programName()));
        return static_cast<int>(ExitCode::Sent);
    case CommandOptions::Action::Version:
        TVersao::SetFase(RELEASE_CANDIDATE);
        write(stdout, QStringLiteral("Utilitário FTP Caldoria %1\n").arg(TVersao::GetVersaoExe()));
        return static_cast<int>(ExitCode::Sent);
    case CommandOptions::Action::Send:
        break;
    }
    // Before anything else: opening a FIFO for writing would wait for a reader
    // for good, and the job must hear of it. A log that merely cannot be written
    // (a folder) is said when the run opens it, and the backup goes all the same.
    for (const QString& path : {options.logFile, qEnvironmentVariable("FTPCALDORIA_LOG")}) {
        const QString problem = path.isEmpty() ? QString() : logTargetProblem(path);
        if (!problem.isEmpty()) {
            write(stderr, QStringLiteral("%1: %2\n").arg(programName(), problem));
            return static_cast<int>(ExitCode::BadUsage);
        }
    }

    UnattendedSend send(options, {[](const QString& text) { write(stdout, text); }, [](const QString& text) { write(stderr, text); },
                                  console::isTerminal(stdout), console::isTerminal(stderr)});
    // Ctrl+C, a stopped task: the transfer breaks off and the run ends as "not sent",
    // leaving what went as an interrupted upload that the next run continues. A
    // query of the client database is let finish first (the database client does not
    // take being broken off well); a second interrupt ends the run at once.
    console::onInterrupt([&send] { send.cancel(); });
    const ExitCode code = send.run();
    console::onInterrupt({});
    return static_cast<int>(code);
}

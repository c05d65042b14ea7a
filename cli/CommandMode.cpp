#include "CommandMode.h"

#include "Console.h"
#include "LogText.h"
#include "UnattendedSend.h"
#include "uTVersao.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
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

int exitWith(ExitCode code)
{
    return static_cast<int>(code);
}

// A run that cannot go on still says why in the log a scheduled job keeps (its
// --log, FTPCALDORIA_LOG), when that log can be one: the job's log then tells why
// nothing was sent that night.
void logWhyNothingRan(const CommandLineRead& read, const QString& why, ExitCode code)
{
    const QDateTime now = QDateTime::currentDateTime();
    QStringList lines{QStringLiteral("--- %1: %2 %3 ---").arg(now.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")), programName(),
                                                              read.args.join(QLatin1Char(' ')))};
    lines << outcomeLines(now, QStringLiteral("%1 (código de saída %2)").arg(why).arg(static_cast<int>(code)));
    QStringList done;
    for (const QString& path : {logFileNamed(read.args), qEnvironmentVariable("FTPCALDORIA_LOG")}) {
        if (path.isEmpty() || done.contains(QFileInfo(path).absoluteFilePath()))
            continue;
        done << QFileInfo(path).absoluteFilePath();
        QString error;
        if (const auto file = openLogFile(path, error))
            file->write((lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
    }
}

int send(const CommandOptions& options)
{
    // Before anything else: opening a FIFO for writing would wait for a reader
    // for good, and the job must hear of it. A log that merely cannot be written
    // (a folder) is said when the run opens it, and the backup goes all the same.
    for (const QString& path : {options.logFile, qEnvironmentVariable("FTPCALDORIA_LOG")}) {
        const QString problem = path.isEmpty() ? QString() : logTargetProblem(path);
        if (!problem.isEmpty()) {
            write(stderr, QStringLiteral("%1: %2\n").arg(programName(), problem));
            return exitWith(ExitCode::BadUsage);
        }
    }

    UnattendedSend run(options, {[](const QString& text) { write(stdout, text); }, [](const QString& text) { write(stderr, text); },
                                 console::isTerminal(stdout), console::isTerminal(stderr)});
    // Ctrl+C, a stopped task: the transfer breaks off and the run ends as "not sent",
    // leaving what went as an interrupted upload that the next run continues. A
    // query of the client database is let finish first (the database client does not
    // take being broken off well); a second interrupt ends the run at once.
    console::onInterrupt([&run] { run.cancel(); });
    const ExitCode code = run.run();
    console::onInterrupt({});
    return exitWith(code);
}

}

CommandLineRead readCommandLine(int argc, char* argv[])
{
    CommandLineRead read;
    read.args = console::arguments(argc, argv);
    try {
        read.options = parseCommandLine(read.args);
    } catch (const EBadUsage& e) {
        read.usageError = e.Message();
    }
    return read;
}

QString missingDisplay()
{
#ifdef _WIN32
    return {};
#else
    const bool x11 = !qEnvironmentVariable("DISPLAY").isEmpty();
    const bool wayland = !qEnvironmentVariable("WAYLAND_DISPLAY").isEmpty();
    const QString platforms = qEnvironmentVariable("QT_QPA_PLATFORM");
    if (platforms.isEmpty())
        return x11 || wayland ? QString() : QStringLiteral("não há tela (nem DISPLAY nem WAYLAND_DISPLAY)");
    // A list of platforms, tried in order: one that can start is enough.
    for (const QString& platform : platforms.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        if (platform.startsWith(QLatin1String("xcb")) ? x11 : platform.startsWith(QLatin1String("wayland")) ? wayland : true)
            return {};
    }
    return QStringLiteral("não há tela para a plataforma %1 (QT_QPA_PLATFORM)").arg(platforms);
#endif
}

QString noDisplayLine(const QString& program, const QString& why, const QString& file)
{
    const QString target = file.isEmpty() ? QStringLiteral("ARQUIVO") : QDir::toNativeSeparators(file);
    return QStringLiteral("%1: a janela não pode ser aberta: %2. Para enviar um arquivo sem a janela, como numa tarefa "
                          "agendada: %1 --enviar %3")
        .arg(program, why, target);
}

int runCommandMode(int argc, char* argv[], const CommandLineRead& read)
{
    console::attachToParent();
    QCoreApplication app(argc, argv);

    if (!read.usageError.isEmpty()) {
        write(stderr, QStringLiteral("%1: %2\n%3\nPara mais informações: %1 --help\n")
                          .arg(programName(), read.usageError, usageLine(programName())));
        logWhyNothingRan(read, QStringLiteral("Uso incorreto: ") + read.usageError, ExitCode::BadUsage);
        return exitWith(ExitCode::BadUsage);
    }
    const CommandOptions& options = read.options;
    switch (options.action) {
    case CommandOptions::Action::Help:
        write(stdout, helpText(programName()));
        return exitWith(ExitCode::Sent);
    case CommandOptions::Action::Version:
        TVersao::SetFase(RELEASE_CANDIDATE);
        write(stdout, QStringLiteral("Utilitário FTP Caldoria %1\n").arg(TVersao::GetVersaoExe()));
        return exitWith(ExitCode::Sent);
    case CommandOptions::Action::Window: {
        // main opens the window where it can; here there is no display for it.
        const QString line = noDisplayLine(programName(), missingDisplay(), options.file);
        write(stderr, line + QLatin1Char('\n'));
        logWhyNothingRan(read, line.section(QStringLiteral(": "), 1), ExitCode::NoDisplay);
        return exitWith(ExitCode::NoDisplay);
    }
    case CommandOptions::Action::Send:
        break;
    }
    return send(options);
}

#include "CommandMode.h"
#include "Console.h"
#include "LogText.h"
#include "Translations.h"
#include "ufPrincipal.h"

#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QSettings>

#ifdef __linux__
namespace {
// Loading Qt's libraries and running their initialisers takes a good part of a
// second on a busy machine: blocked before all that, an interrupt in that time
// waits for main instead of ending the process with the signal's own status.
void blockInterruptsFirst(int, char**, char**)
{
    console::blockInterrupts();
}
__attribute__((section(".preinit_array"), used)) void (*const kBlockInterruptsFirst)(int, char**, char**) = blockInterruptsFirst;
}
#endif

namespace {

// Qt ends a run whose display it cannot open with an abort (exit code 134) and its
// own English words. main looks for a display before (missingDisplay); this catches
// what that cannot see, a display named that does not answer, while the application
// object is made: the run ends with the mode without a window's line and code.
QtMessageHandler g_qtsHandler = nullptr;
QString g_program;
QString g_file;

void noDisplayAfterAll(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type != QtFatalMsg) {
        if (g_qtsHandler)
            g_qtsHandler(type, context, message);
        return;
    }
    console::write(stderr, noDisplayLine(g_program, QStringLiteral("a tela não respondeu"), g_file) +
                               QStringLiteral("\n  (Qt: \"%1\")\n").arg(message));
    console::endAtOnce(static_cast<int>(ExitCode::NoDisplay));
}

int runWindow(int argc, char* argv[], const CommandOptions& options)
{
    // A log copy that would hold the window up (a FIFO) or cannot be written (a
    // folder) is said and left out; the window opens all the same.
    QString logProblem;
    if (const QString logCopy = qEnvironmentVariable("FTPCALDORIA_LOG"); !logCopy.isEmpty())
        openLogFile(logCopy, logProblem);
    if (!logProblem.isEmpty()) {
        console::attachToParent();
        console::write(stderr, logProblem + QLatin1Char('\n'));
        qunsetenv("FTPCALDORIA_LOG");
    }

    g_program = QFileInfo(QString::fromLocal8Bit(argv[0])).fileName();
    g_file = options.file;
    g_qtsHandler = qInstallMessageHandler(noDisplayAfterAll);
    QApplication app(argc, argv);
    qInstallMessageHandler(g_qtsHandler);
    QApplication::setApplicationName(kTituloAplicacao);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/imagens/ftpcaldoria.png")));
    // The desktop file of the installed program, so the window gets its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("ftpcaldoria"));
    installQtTranslation();

    TfPrincipal::Dependencias deps;
    if (!options.file.isEmpty())
        deps.argumentos = {options.file};
    // The window's size and the log's state, from one run to the next.
    deps.preferencias = [] {
        return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Quintara"), QStringLiteral("FTPCaldoria"));
    };
    TfPrincipal fPrincipal(std::move(deps));
    // The window closes as at the end of the event loop: the session's thread is
    // cancelled and waited for, a database query let finish.
    console::onInterrupt([&app] { QMetaObject::invokeMethod(&app, [] { QCoreApplication::exit(1); }, Qt::QueuedConnection); });
    fPrincipal.show();
    const int code = QApplication::exec();
    console::onInterrupt({});
    return code;
}

}

int main(int argc, char* argv[])
{
    // First: a stopped task or Ctrl+C at any moment ends the run with exit code 1.
    console::catchInterrupts();
    // No JIT for Qt's regular expressions: the JIT gives every thread that matches
    // one a stack of its own, whose thread_local destructor MinGW's emulated TLS
    // runs after the thread's storage is gone; on Windows the session's thread then
    // dies at its end inside the C runtime's key lock and the process never exits.
    // Our own code uses none on that thread (FtpReplyParsers.cpp); this covers Qt's.
    if (!qEnvironmentVariableIsSet("QT_ENABLE_REGEXP_JIT"))
        qputenv("QT_ENABLE_REGEXP_JIT", "0");

    // Decided before any GUI object exists: a scheduled send may run where there
    // is no display, and a window asked for there ends with a line that says so.
    // Either way the run ends once its own objects are gone (the window, the
    // session's thread, the log files).
    const CommandLineRead read = readCommandLine(argc, argv);
    const bool window = read.usageError.isEmpty() && read.options.action == CommandOptions::Action::Window && missingDisplay().isEmpty();
    return window ? runWindow(argc, argv, read.options) : runCommandMode(argc, argv, read);
}

#include "CommandMode.h"
#include "Console.h"
#include "LogText.h"
#include "Translations.h"
#include "ufPrincipal.h"

#include <QApplication>
#include <QIcon>

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

int runWindow(int argc, char* argv[])
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

    QApplication app(argc, argv);
    QApplication::setApplicationName(kTituloAplicacao);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/imagens/ftpcaldoria.png")));
    // The desktop file of the installed program, so the window gets its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("ftpcaldoria"));
    installQtTranslation();

    TfPrincipal::Dependencias deps;
    deps.argumentos = QApplication::arguments().mid(1);
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
    // is no display. Either way the run ends once its own objects are gone (the
    // window, the session's thread, the log files).
    return choosesCommandMode(argc, argv) ? runCommandMode(argc, argv) : runWindow(argc, argv);
}

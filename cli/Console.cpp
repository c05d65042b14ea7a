#include "Console.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>
#else
#include <csignal>
#include <pthread.h>
#include <thread>
#include <unistd.h>
#endif

namespace console {

namespace {

// What the run wrote is flushed first: its log files are flushed line by line, and
// the standard streams here. Then the process ends as the system ends it, other
// threads and all: on Windows ExitProcess, which detaches the libraries as a normal
// end does; elsewhere _exit, since exit() would run the statics' destructors under
// the feet of the threads that still use them.
[[noreturn]] void endNow()
{
    endAtOnce(1);
}

// Never destroyed: an interrupt may come while the program's statics are.
struct Interrupts {
    std::mutex mutex;
    std::function<void()> handler;
    int count = 0;
};

Interrupts& interrupts()
{
    static auto* state = new Interrupts;
    return *state;
}

// On the thread that takes the interrupts: the first asks the run to stop, which it
// does as at any end; a second (or one before anything started) ends it at once.
void interrupted()
{
    Interrupts& i = interrupts();
    std::lock_guard lock(i.mutex);
    if (++i.count > 1 || !i.handler)
        endNow();
    i.handler();
}

}

#ifdef _WIN32

namespace {
bool usable(HANDLE h)
{
    return h != nullptr && h != INVALID_HANDLE_VALUE && GetFileType(h) != FILE_TYPE_UNKNOWN;
}

BOOL WINAPI onConsoleEvent(DWORD)
{
    // Runs on a thread of its own, which the session's cancel allows.
    interrupted();
    return TRUE;
}

}

QStringList arguments(int, char*[])
{
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    QStringList args;
    for (int i = 1; wide && i < count; ++i)
        args << QString::fromWCharArray(wide[i]);
    if (wide)
        LocalFree(wide);
    return args;
}

void attachToParent()
{
    const bool out = usable(GetStdHandle(STD_OUTPUT_HANDLE));
    const bool err = usable(GetStdHandle(STD_ERROR_HANDLE));
    // What the parent redirected (to a file, a pipe) stays where it was sent.
    if ((!out || !err) && AttachConsole(ATTACH_PARENT_PROCESS)) {
        if (!out)
            std::freopen("CONOUT$", "w", stdout);
        if (!err)
            std::freopen("CONOUT$", "w", stderr);
    }
}

bool isTerminal(std::FILE* stream)
{
    // Not _isatty: it takes the NUL device for a terminal.
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

void write(std::FILE* stream, const QString& text)
{
    // A console takes text as UTF-16 whatever its code page; elsewhere UTF-8.
    if (isTerminal(stream)) {
        std::fflush(stream);
        const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
        DWORD written = 0;
        WriteConsoleW(handle, reinterpret_cast<const wchar_t*>(text.utf16()), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
    std::fflush(stream);
}

void catchInterrupts()
{
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

#else

namespace {
const int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
}

void blockInterrupts()
{
    std::signal(SIGPIPE, SIG_IGN);
    sigset_t set;
    sigemptyset(&set);
    for (int s : kSignals)
        sigaddset(&set, s);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void catchInterrupts()
{
    // Interrupts that came since they were blocked wait, pending, for sigwait.
    blockInterrupts();
    sigset_t set;
    sigemptyset(&set);
    for (int s : kSignals)
        sigaddset(&set, s);
    std::thread([set] {
        for (;;) {
            int number = 0;
            if (sigwait(&set, &number) == 0)
                interrupted();
        }
    }).detach();
}

void attachToParent() {}

QStringList arguments(int argc, char* argv[])
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    return args;
}

bool isTerminal(std::FILE* stream)
{
    return isatty(fileno(stream)) != 0;
}

void write(std::FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
    std::fflush(stream);
}

#endif

void endAtOnce(int code)
{
    std::fflush(nullptr);
#ifdef _WIN32
    ExitProcess(static_cast<UINT>(code));
#else
    _exit(code);
#endif
}

void onInterrupt(std::function<void()> handler)
{
    Interrupts& i = interrupts();
    std::lock_guard lock(i.mutex);
    i.handler = std::move(handler);
}

}

#include "Console.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <mutex>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace console {

namespace {
std::mutex g_mutex;
std::function<void()> g_handler;
std::atomic<int> g_interrupts{0};

void interrupted()
{
    std::function<void()> handler;
    {
        std::lock_guard lock(g_mutex);
        handler = g_handler;
    }
    if (handler)
        handler();
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
    if (g_interrupts.fetch_add(1) > 0)
        ExitProcess(1);
    interrupted();
    return TRUE;
}

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

void onInterrupt(std::function<void()> handler)
{
    const bool on = static_cast<bool>(handler);
    {
        std::lock_guard lock(g_mutex);
        g_handler = std::move(handler);
    }
    g_interrupts = 0;
    SetConsoleCtrlHandler(onConsoleEvent, on ? TRUE : FALSE);
}

#else

namespace {
int g_pipe[2] = {-1, -1};
std::unique_ptr<QSocketNotifier> g_notifier;

extern "C" void onSignal(int)
{
    if (g_interrupts.fetch_add(1) > 0)
        _exit(1);
    const char c = 1;
    // The notifier runs the handler on the main thread, out of the signal's context.
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &c, 1);
}

const int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
}

void attachToParent() {}

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

void onInterrupt(std::function<void()> handler)
{
    if (!handler) {
        for (int s : kSignals)
            std::signal(s, SIG_DFL);
        g_notifier.reset();
        for (int& fd : g_pipe) {
            if (fd >= 0)
                ::close(fd);
            fd = -1;
        }
        std::lock_guard lock(g_mutex);
        g_handler = {};
        return;
    }
    {
        std::lock_guard lock(g_mutex);
        g_handler = std::move(handler);
    }
    g_interrupts = 0;
    if (g_pipe[0] < 0) {
        if (::pipe(g_pipe) != 0)
            return;
        for (int fd : g_pipe)
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        g_notifier = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
        QObject::connect(g_notifier.get(), &QSocketNotifier::activated, [] {
            char buffer[16];
            while (::read(g_pipe[0], buffer, sizeof buffer) > 0) {
            }
            interrupted();
        });
    }
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    for (int s : kSignals)
        sigaction(s, &action, nullptr);
}

#endif

}

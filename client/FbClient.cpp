#include "FbClient.h"

#include "Exception.h"

#include <map>
#include <memory>
#include <mutex>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace fbclient {

namespace {

#ifdef _WIN32
using Handle = HMODULE;

Handle openLibrary(const QString& name, QString& error)
{
    Handle h = ::LoadLibraryW(reinterpret_cast<const wchar_t*>(name.utf16()));
    if (!h) {
        const DWORD code = ::GetLastError();
        wchar_t* text = nullptr;
        const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                         nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
        error = QStringLiteral("error %1").arg(code);
        if (n)
            error += QStringLiteral(": ") + QString::fromWCharArray(text, static_cast<int>(n)).trimmed();
        if (text)
            ::LocalFree(text);
    }
    return h;
}

void* symbol(Handle h, const char* name) { return reinterpret_cast<void*>(::GetProcAddress(h, name)); }
void closeLibrary(Handle h) { ::FreeLibrary(h); }
#else
using Handle = void*;

Handle openLibrary(const QString& name, QString& error)
{
    Handle h = ::dlopen(name.toLocal8Bit().constData(), RTLD_NOW | RTLD_LOCAL);
    if (!h) {
        const char* e = ::dlerror();
        error = e ? QString::fromLocal8Bit(e) : QStringLiteral("not found");
    }
    return h;
}

void* symbol(Handle h, const char* name) { return ::dlsym(h, name); }
void closeLibrary(Handle h) { ::dlclose(h); }
#endif

template <typename F>
bool resolve(Handle h, const char* name, F& target, QStringList& missing)
{
    target = reinterpret_cast<F>(symbol(h, name));
    if (!target)
        missing << QString::fromLatin1(name);
    return target != nullptr;
}

std::mutex g_mutex;
// Never unloaded: the client library starts threads of its own and registers
// process-exit handlers.
std::map<QString, std::unique_ptr<Api>> g_loaded;

}

QString libraryFileName()
{
#ifdef _WIN32
    return QStringLiteral("fbclient.dll");
#else
    return QStringLiteral("libfbclient.so.2");
#endif
}

const Api& load(const QStringList& candidates)
{
    std::lock_guard lock(g_mutex);
    QStringList failures;
    for (const QString& candidate : candidates) {
        if (candidate.isEmpty())
            continue;
        if (auto it = g_loaded.find(candidate); it != g_loaded.end())
            return *it->second;

        QString error;
        Handle h = openLibrary(candidate, error);
        if (!h) {
            failures << QStringLiteral("%1 (%2)").arg(candidate, error);
            continue;
        }
        auto api = std::make_unique<Api>();
        QStringList missing;
        resolve(h, "isc_attach_database", api->attach_database, missing);
        resolve(h, "isc_detach_database", api->detach_database, missing);
        resolve(h, "isc_start_transaction", api->start_transaction, missing);
        resolve(h, "isc_commit_transaction", api->commit_transaction, missing);
        resolve(h, "isc_rollback_transaction", api->rollback_transaction, missing);
        resolve(h, "isc_dsql_allocate_statement", api->dsql_allocate_statement, missing);
        resolve(h, "isc_dsql_prepare", api->dsql_prepare, missing);
        resolve(h, "isc_dsql_describe", api->dsql_describe, missing);
        resolve(h, "isc_dsql_execute", api->dsql_execute, missing);
        resolve(h, "isc_dsql_fetch", api->dsql_fetch, missing);
        resolve(h, "isc_dsql_free_statement", api->dsql_free_statement, missing);
        resolve(h, "fb_interpret", api->interpret, missing);
        if (!missing.isEmpty()) {
            // Some other library under the same name: not ours to keep.
            closeLibrary(h);
            failures << QStringLiteral("%1 (lacks %2)").arg(candidate, missing.join(QStringLiteral(", ")));
            continue;
        }
        api->path = candidate;
        const Api& loaded = *api;
        g_loaded.emplace(candidate, std::move(api));
        return loaded;
    }
    throw Exception(QStringLiteral("Unable to load the Firebird client library %1: tried %2")
                        .arg(libraryFileName(), failures.isEmpty() ? QStringLiteral("nothing") : failures.join(QStringLiteral("; "))));
}

QString statusMessage(const Api& api, const ISC_STATUS* status)
{
    QStringList lines;
    const ISC_STATUS* cursor = status;
    char buffer[1024];
    while (api.interpret(buffer, sizeof buffer, &cursor) > 0)
        lines << QString::fromUtf8(buffer).trimmed();
    lines.removeAll(QString());
    if (lines.isEmpty())
        return QStringLiteral("Firebird error %1").arg(status[1]);
    // One log line per failure. Lines that end a sentence are followed by the next
    // sentence; the others ("Table unknown", "CLIENTE") are parts of one.
    QString message = lines.first();
    for (qsizetype i = 1; i < lines.size(); ++i)
        message += (message.endsWith(QLatin1Char('.')) ? QStringLiteral(" ") : QStringLiteral("; ")) + lines.at(i);
    return message;
}

}

#include "FbClient.h"

#include "Exception.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <QMutex>

#include <map>
#include <memory>

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

QBasicMutex g_mutex;
// A loaded library and its entry points. The client starts threads of its own: it
// is unloaded only once they are stopped (Uso).
struct Loaded {
    Handle handle = nullptr;
    Api api;
};
std::map<QString, std::unique_ptr<Loaded>> g_loaded;
int g_users = 0;

}

QString libraryFileName()
{
#ifdef _WIN32
    return QStringLiteral("fbclient.dll");
#else
    return QStringLiteral("libfbclient.so.2");
#endif
}

namespace {

enum class Falha { Nenhuma, Ausente, OutraArquitetura, NaoECliente, Outra };

// Loads one candidate, or says why it did not load. Called with g_mutex held.
const Api* tryLoad(const QString& candidate, QString& error, Falha& falha)
{
    if (auto it = g_loaded.find(candidate); it != g_loaded.end())
        return &it->second->api;

    Handle h = openLibrary(candidate, error);
    if (!h) {
        falha = Falha::Outra;
        if (QFileInfo(candidate).isAbsolute()) {
            QFile file(candidate);
            if (!file.exists()) {
                falha = Falha::Ausente;
            } else if (file.open(QIODevice::ReadOnly)) {
                const int bits = bitsDoArquivo(file.read(4096));
                if (bits != 0 && bits != static_cast<int>(sizeof(void*) * 8))
                    falha = Falha::OutraArquitetura;
            }
        }
        return nullptr;
    }
    auto loaded = std::make_unique<Loaded>();
    loaded->handle = h;
    Api* api = &loaded->api;
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
    api->shutdown = reinterpret_cast<decltype(api->shutdown)>(symbol(h, "fb_shutdown"));
    if (!missing.isEmpty()) {
        // Some other library under the same name: not ours to keep.
        closeLibrary(h);
        error = QStringLiteral("lacks %1").arg(missing.join(QStringLiteral(", ")));
        falha = Falha::NaoECliente;
        return nullptr;
    }
    api->path = candidate;
    g_loaded.emplace(candidate, std::move(loaded));
    return api;
}

// How the library is called where users see it.
QString nomeExibido()
{
#ifdef _WIN32
    return QStringLiteral("fbClient.dll");
#else
    return libraryFileName();
#endif
}

// Why the installed system's library was passed over, as the log says it.
QString motivo(Falha falha, const QString& error)
{
    const QString nome = nomeExibido();
    switch (falha) {
    case Falha::Ausente:
        return QStringLiteral("%1 não está na pasta do sistema").arg(nome);
    case Falha::OutraArquitetura:
        return QStringLiteral("%1 da pasta do sistema é de %2 bits").arg(nome).arg(sizeof(void*) == 8 ? 32 : 64);
    case Falha::NaoECliente:
        return QStringLiteral("%1 da pasta do sistema não é um cliente Firebird (%2)").arg(nome, error);
    case Falha::Nenhuma:
    case Falha::Outra:
        break;
    }
    return QStringLiteral("%1 da pasta do sistema não pôde ser carregado (%2)").arg(nome, error);
}

std::map<QString, Escolha> g_escolhas;

}

const Api& load(const QStringList& candidates)
{
    const QMutexLocker lock(&g_mutex);
    QStringList failures;
    for (const QString& candidate : candidates) {
        if (candidate.isEmpty())
            continue;
        QString error;
        Falha falha = Falha::Nenhuma;
        if (const Api* api = tryLoad(candidate, error, falha))
            return *api;
        failures << QStringLiteral("%1 (%2)").arg(candidate, error);
    }
    throw Exception(QStringLiteral("Unable to load the Firebird client library %1: tried %2")
                        .arg(libraryFileName(), failures.isEmpty() ? QStringLiteral("nothing") : failures.join(QStringLiteral("; "))));
}

const Escolha& carregar(const QString& aoLado)
{
    const QMutexLocker lock(&g_mutex);
    if (auto it = g_escolhas.find(aoLado); it != g_escolhas.end())
        return it->second;

    const auto escolher = [&aoLado](const Api* api, const QString& relato) -> const Escolha& {
        return g_escolhas.emplace(aoLado, Escolha{api, relato}).first->second;
    };
    QString error;
    Falha falha = Falha::Nenhuma;
    if (const Api* api = tryLoad(aoLado, error, falha))
        return escolher(api, QStringLiteral("Cliente Firebird: %1 da pasta do sistema").arg(nomeExibido()));
    const QString passado = motivo(falha, error);
    QStringList tentados{passado};

    const QString doPacote = QFileInfo(aoLado).absolutePath() + QLatin1Char('/') + QString::fromUtf16(PastaClientePacote)
                             + QLatin1Char('/') + libraryFileName();
    if (const Api* api = tryLoad(doPacote, error, falha))
        return escolher(api, passado + QStringLiteral("; usando o cliente Firebird do pacote"));
    tentados << QStringLiteral("o cliente Firebird do pacote (%1) %2")
                    .arg(QDir::toNativeSeparators(doPacote),
                         falha == Falha::Ausente ? QStringLiteral("não existe") : QStringLiteral("não pôde ser carregado: ") + error);

    // Last, whatever the platform's loader finds under the plain name: a Firebird
    // installed on the computer.
    if (const Api* api = tryLoad(libraryFileName(), error, falha))
        return escolher(api, passado + QStringLiteral("; usando o cliente Firebird instalado no computador"));
    tentados << QStringLiteral("nenhum %1 instalado no computador (%2)").arg(libraryFileName(), error);
    throw EClienteIndisponivel(QStringLiteral("Nenhum cliente Firebird pôde ser carregado: ") + tentados.join(QStringLiteral("; ")));
}

Uso::Uso()
{
    const QMutexLocker lock(&g_mutex);
    ++g_users;
}

Uso::~Uso()
{
    const QMutexLocker lock(&g_mutex);
    if (--g_users > 0)
        return;
    for (auto it = g_loaded.begin(); it != g_loaded.end();) {
        const Loaded& loaded = *it->second;
        if (!loaded.api.shutdown || loaded.api.shutdown(0, fb_shutrsn_app_stopped) != 0) {
            ++it;
            continue;
        }
        closeLibrary(loaded.handle);
        it = g_loaded.erase(it);
    }
    // The choices name libraries that may be gone: the next user chooses afresh.
    g_escolhas.clear();
}

int bitsDoArquivo(const QByteArray& header)
{
    const auto byte = [&header](qsizetype i) { return static_cast<quint32>(static_cast<unsigned char>(header.at(i))); };
    if (header.startsWith("\x7F" "ELF") && header.size() > 4)
        return byte(4) == 1 ? 32 : byte(4) == 2 ? 64 : 0;
    if (!header.startsWith("MZ") || header.size() < 0x40)
        return 0;
    const quint32 pe = byte(0x3C) | byte(0x3D) << 8 | byte(0x3E) << 16 | byte(0x3F) << 24;
    if (pe > static_cast<quint32>(header.size() - 6) || header.mid(pe, 4) != QByteArray("PE\0\0", 4))
        return 0;
    switch (byte(pe + 4) | byte(pe + 5) << 8) {
    case 0x014C: // i386
        return 32;
    case 0x8664: // AMD64
    case 0xAA64: // ARM64
        return 64;
    default:
        return 0;
    }
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

#pragma once
// The Firebird client library, loaded when the first connection opens rather than
// linked: a workstation without it must still start, and the library beside the
// executable takes precedence over the system's own.
#include "Exception.h"

#include <ibase.h>

#include <QString>
#include <QStringList>

namespace fbclient {

// The part of the client's C API that one read-only query needs.
struct Api {
    decltype(&isc_attach_database) attach_database = nullptr;
    decltype(&isc_detach_database) detach_database = nullptr;
    decltype(&isc_start_transaction) start_transaction = nullptr;
    decltype(&isc_commit_transaction) commit_transaction = nullptr;
    decltype(&isc_rollback_transaction) rollback_transaction = nullptr;
    decltype(&isc_dsql_allocate_statement) dsql_allocate_statement = nullptr;
    decltype(&isc_dsql_prepare) dsql_prepare = nullptr;
    decltype(&isc_dsql_describe) dsql_describe = nullptr;
    decltype(&isc_dsql_execute) dsql_execute = nullptr;
    decltype(&isc_dsql_fetch) dsql_fetch = nullptr;
    decltype(&isc_dsql_free_statement) dsql_free_statement = nullptr;
    decltype(&fb_interpret) interpret = nullptr;
    // Optional: older clients lack it. Stops the client's own threads.
    decltype(&fb_shutdown) shutdown = nullptr;
    QString path; // the candidate that was loaded
};

// The platform's file name of the client library ("fbclient.dll", "libfbclient.so.2").
QString libraryFileName();

// Loads the first candidate that is a Firebird client library (a path, or a bare
// name that the platform's loader looks up) and keeps it loaded for the rest of the
// process. Throws Exception naming every candidate and why it failed.
const Api& load(const QStringList& candidates);

// The text of a failed call's status vector: every message line, in order.
QString statusMessage(const Api& api, const ISC_STATUS* status);

// A user of the client library for as long as it lives (a session's thread). When
// the last one goes, the libraries loaded meanwhile stop their own threads
// (fb_shutdown) and are unloaded, so that none of their threads holds a library
// when the process ends; a library without fb_shutdown stays loaded. Nothing
// happens when none was loaded. A later user loads again.
class Uso {
public:
    Uso();
    ~Uso();
    Uso(const Uso&) = delete;
    Uso& operator=(const Uso&) = delete;
};

// No client library could be loaded at all: the message says what was tried and why
// each one failed.
class EClienteIndisponivel : public Exception {
public:
    using Exception::Exception;
};

// The folder, beside the executable, where the package keeps a client library of
// its own. A folder of its own: unzipping the package into a system's folder must
// never replace the fbclient.dll the system brings.
inline constexpr char16_t PastaClientePacote[] = u"FTPCaldoria-Firebird";

// The library a connection uses, and the log line that says which and why.
struct Escolha {
    const Api* api = nullptr;
    QString relato;
};

// The installed system's library (aoLado, the one beside the executable) when this
// process can load it; else the package's own, in PastaClientePacote beside it;
// else the one the platform's loader finds by name. The choice is made once per
// path and kept. Throws EClienteIndisponivel when none loads.
const Escolha& carregar(const QString& aoLado);

// The word size a library file was built for, from its header (PE or ELF): 32 or
// 64, or 0 when the header says neither.
int bitsDoArquivo(const QByteArray& header);

}

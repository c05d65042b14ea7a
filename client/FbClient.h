#pragma once
// The Firebird client library, loaded when the first connection opens rather than
// linked: a workstation without it must still start, and the library beside the
// executable takes precedence over the system's own.
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

}

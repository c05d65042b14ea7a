/* A stand-in for Firebird's fbclient.dll in the Windows build's tests: it exports
   the entry points the client layer looks up, so the lookup beside the executable
   can be tested under Wine, where no real fbclient.dll is to be had. Calling any of
   them fails. */
#define FALHA(nome) __declspec(dllexport) long long nome(void) { return 1; }
FALHA(isc_attach_database)
FALHA(isc_detach_database)
FALHA(isc_start_transaction)
FALHA(isc_commit_transaction)
FALHA(isc_rollback_transaction)
FALHA(isc_dsql_allocate_statement)
FALHA(isc_dsql_prepare)
FALHA(isc_dsql_describe)
FALHA(isc_dsql_execute)
FALHA(isc_dsql_fetch)
FALHA(isc_dsql_free_statement)
FALHA(fb_interpret)
/* Stops nothing, and says so: the library may go. */
__declspec(dllexport) int fb_shutdown(unsigned int timeout, const int reason) { (void)timeout; (void)reason; return 0; }

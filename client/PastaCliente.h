#pragma once
// The client's own folder on the FTP server, worked out from the installed
// system's database, or the shared folder for clients that cannot be identified.
#include "SqlConnection.h"
#include "uIQuintaraConexoes.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

// Where the resolution reports to: the window implements it.
class IPastaClienteAlvo {
public:
    virtual ~IPastaClienteAlvo() = default;
    virtual void Log(const QString& text) = 0;
    virtual void SetCaptionCliente(const QString& caption) = 0; // pnlCliente
    virtual void SetDirectory(const QString& directory) = 0;
    virtual void SetBaseCorrompida() = 0; // baseCorrompida := true
};

// Runs a blocking piece of work (the database attach and query) and rethrows its exception.
// The window passes its wait mechanism (worker thread + local event loop); the default runs inline.
using ExecutorBloqueante = std::function<void(const std::function<void()>&)>;

// Every client that cannot be identified shares this folder.
inline constexpr char16_t PastaBaseCorrompida[] = u"/gCALDORIA/Cidades/_corrompida";

// The client folder: "/gCALDORIA/Cidades/" CITY "-" UF "/" TIPO "/" SIGLA, with
// CITY the city through FormataNomeCidade and uf already trimmed and upper-cased.
// A "/" in the city adds a level inside the client tree, as the folders already on
// the server have it (Bom Jesus/PI). Anything that would take the folder out of that
// tree or hide a level in it is refused with an Exception that says why: a city or
// state holding "\" or control characters, a state holding "/", and values that
// would make a level empty, "." or "..".
QString clientFolderPath(const QString& cidade, const QString& uf, const QString& tipo, const QString& sigla);

// The folders below the server's root that lead to directory, in order, as the walk
// creates and enters them: "/" and blanks (codes 1 to 32) separate them, and runs of
// separators make no empty folder. Throws an Exception when one of them is "." or
// "..", whatever put it there: the walk never climbs.
QStringList clientFolderPieces(const QString& directory);

// The connection to the installed system's database, configured and not opened.
// Raises "Argument out of range" when the system lists no database file.
std::unique_ptr<TSQLConnection> CriarConexaoBanco(IQuintaraConexao& sistema);

// Reads the client's city, state and entity type and reports the client folder
// and caption to alvo; on any failure reports the shared folder instead. Raises
// nothing derived from Exception.
void DefinirPastaCliente(IQuintaraConexao& sistema, IPastaClienteAlvo& alvo, const ExecutorBloqueante& executar = {});

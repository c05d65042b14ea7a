#pragma once
// The client's own folder on the FTP server, worked out from the installed
// system's database, or the shared folder for clients that cannot be identified.
#include "ClientFolderPath.h"
#include "SqlConnection.h"
#include "uIQuintaraConexoes.h"

#include <QString>

#include <functional>
#include <memory>

// Why the client could not be identified, for whoever must tell a send to the
// shared folder from one to the client's own.
enum class MotivoBaseCorrompida {
    Nenhum,             // identified
    SemSistema,         // no installed system beside the executable
    SemConsulta,        // the system has no query that finds its client
    SemClienteFirebird, // no Firebird client library could be loaded
    BancoInacessivel,   // the database could not be reached or read
    CadastroInvalido,   // the client's record gives no usable folder
};

// The reason in a sentence's middle: "nenhum sistema Quintara identificado", ...
QString textoMotivo(MotivoBaseCorrompida motivo);

// Where the resolution reports to: the window implements it.
class IPastaClienteAlvo {
public:
    virtual ~IPastaClienteAlvo() = default;
    virtual void Log(const QString& text) = 0;
    virtual void SetCaptionCliente(const QString& caption) = 0; // pnlCliente
    virtual void SetDirectory(const QString& directory) = 0;
    virtual void SetBaseCorrompida(MotivoBaseCorrompida motivo) = 0; // baseCorrompida := true
};

// Runs a blocking piece of work (the database attach and query) and rethrows its exception.
// The window passes its wait mechanism (worker thread + local event loop); the default runs inline.
using ExecutorBloqueante = std::function<void(const std::function<void()>&)>;

// Every client that cannot be identified shares this folder.
inline constexpr char16_t PastaBaseCorrompida[] = u"/gCALDORIA/Cidades/_corrompida";

// The connection to the installed system's database, configured and not opened.
// Raises "Argument out of range" when the system lists no database file.
std::unique_ptr<TSQLConnection> CriarConexaoBanco(IQuintaraConexao& sistema);

// Reads the client's city, state and entity type and reports the client folder
// and caption to alvo; on any failure reports the shared folder instead. Raises
// nothing derived from Exception.
void DefinirPastaCliente(IQuintaraConexao& sistema, IPastaClienteAlvo& alvo, const ExecutorBloqueante& executar = {});

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

// What the resolution found: the client's folder and the caption that names the
// client, or the shared folder, "Base Corrompida" and why.
struct PastaResolvida {
    QString pasta;
    QString legenda;
    MotivoBaseCorrompida motivo = MotivoBaseCorrompida::Nenhum;
    // The failure's own words (the database client's, as it gave them), where they
    // say more than the reason does.
    QString detalhe;
    bool baseCorrompida() const { return motivo != MotivoBaseCorrompida::Nenhum; }
};

// Every client that cannot be identified shares this folder.
inline constexpr char16_t PastaBaseCorrompida[] = u"/gCALDORIA/Cidades/_corrompida";

// The connection to the installed system's database, configured and not opened.
// Raises "Argument out of range" when the system lists no database file.
std::unique_ptr<TSQLConnection> CriarConexaoBanco(IQuintaraConexao& sistema);

// Reads the client's city, state and entity type and returns the client folder
// and caption; on any failure, the shared folder instead. log receives the steps
// and the failure's reason. The library, the attach, the query and the detach all
// happen inside this one call, on the calling thread. Raises nothing derived from
// Exception.
PastaResolvida DefinirPastaCliente(IQuintaraConexao& sistema, const std::function<void(const QString&)>& log);

#pragma once
// The client folder's list: one operation for "Visualizar Arquivos", "Atualizar"
// and the list a send or a download shows afterwards, which returns what the front
// end shows.
#include "FtpSession.h"

struct ListagemPasta {
    enum class Mostra {
        Arquivos,           // the client folder's entries
        PastaCompartilhada, // corrupted-base mode: the shared folder is never listed; a file is downloaded by its name
        PastaAusente,       // the server says the client folder is not there: nothing to show, and nothing to say
    };
    Mostra mostra = Mostra::Arquivos;
    FtpListing arquivos; // Arquivos: as received
};

enum class PedidoListagem {
    // "Visualizar Arquivos": connects and works out the client folder where that is
    // still to do; a folder the server says is not there lists as nothing.
    Ver,
    // "Atualizar": the folder as the session knows it, connecting where needed.
    Atualizar,
};

// On the session's thread, inside an operation.
ListagemPasta listarPastaCliente(FtpSession& sessao, PedidoListagem pedido);

// The look at the client folder before a dropped file goes, as "Visualizar
// Arquivos" takes it: connecting, and the trust in the server, must hold (their
// failure ends the send), while a listing that fails is logged and the file goes
// all the same.
void verPastaAntesDeEnviar(FtpSession& sessao);

// The client folder's list once a file went there; nothing where it cannot be
// read, which the log says: the file is on the server all the same.
std::optional<ListagemPasta> listarDepoisDeEnviar(FtpSession& sessao);

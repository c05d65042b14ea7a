#pragma once
// Sending one file: the one flow behind the window's "Enviar Arquivo", a file
// dropped on the window, a file handed over when the program starts and a run with
// --enviar. It checks the local file, identifies the client, connects, walks to the
// client folder and sends, under the file's own name or, in corrupted-base mode,
// under a unique name; the front ends only present what it returns.
//
// Runs on the session's thread (SessionWorker), inside one operation. A failure
// comes out as an ESessionFailure whose kind says why: NotAFile or UnreadableFile
// for a local file refused before any connection, a transfer's failure with the
// file's fate in its record, Cancelled for a cancel.
#include "FtpSession.h"
#include "ListagemPasta.h"
#include "PastaCliente.h"

#include <QString>

struct PedidoEnvio {
    QString arquivo;
    // A file dropped or named for a run without a window: a folder, or a file that
    // cannot be read, is refused before anything else.
    bool recusarIlegivel = false;
    // A file handed over when the program starts: a new connection, and the client
    // identified afresh.
    bool identificarDeNovo = false;
    // A file dropped on the window: the client folder is looked at first, as
    // "Visualizar Arquivos" does.
    bool verPastaAntes = false;
    // For a front end that shows the client folder: its list once the file is there.
    bool listarDepois = false;
};

// How a send that did not fail ended.
enum class ResultadoEnvio {
    Enviado,               // stored and checked: by size, and by digest where the server offers one
    EnviadoSemConferencia, // stored, but the server told no size to compare
    MantidoNoServidor,     // the server has a file of that name, and it was not replaced
};

struct Envio {
    ResultadoEnvio resultado = ResultadoEnvio::Enviado;
    // The name it has on the server, in corrupted-base mode; empty otherwise.
    QString nomeUnico;
    // A file of that name appeared on the server while this one went, and was kept:
    // the name this one, checked, has there instead; empty otherwise.
    QString mantidoComo;
    // Why the client folder is the shared one; Nenhum in the client's own.
    MotivoBaseCorrompida motivo = MotivoBaseCorrompida::Nenhum;
    // The client folder's list once the file went there (PedidoEnvio::listarDepois).
    std::optional<ListagemPasta> listagem;

    bool enviado() const { return resultado != ResultadoEnvio::MantidoNoServidor; }
    // "Arquivo Enviado com Sucesso", ...
    QString texto() const;
    // In corrupted-base mode, the line that says where the file is and why; empty
    // in the client's own folder.
    QString textoPastaCompartilhada() const;
};

Envio executarEnvio(FtpSession& sessao, const PedidoEnvio& pedido);

// Refuses a folder (NotAFile) or a file that cannot be read (UnreadableFile), with
// the texts a drop and --enviar show.
void conferirArquivoParaEnvio(const QString& path);

// What a transfer that went through is called, in a box or in the log.
QString textoConcluido(TWorkMode mode, TransferCheck check);

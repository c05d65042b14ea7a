#include "ListagemPasta.h"

namespace {

ListagemPasta atualizar(FtpSession& sessao)
{
    // The folder of corrupted-base mode is shared by every unidentified client: its
    // contents are never shown.
    if (sessao.baseCorrompida())
        return {ListagemPasta::Mostra::PastaCompartilhada, {}};
    if (!sessao.Connected())
        sessao.ConectarFTP();
    return {ListagemPasta::Mostra::Arquivos, sessao.fetchListing()};
}

}

ListagemPasta listarPastaCliente(FtpSession& sessao, PedidoListagem pedido)
{
    switch (pedido) {
    case PedidoListagem::Atualizar:
        return atualizar(sessao);
    case PedidoListagem::Ver:
        break;
    }
    if (!sessao.Connected())
        sessao.ConectarFTP();
    if (sessao.directory().isEmpty())
        sessao.DefinirPastaCliente();
    try {
        return atualizar(sessao);
    } catch (const ESessionFailure& e) {
        if (e.kind() != FailureKind::NotThere)
            throw;
        return {ListagemPasta::Mostra::PastaAusente, {}};
    }
}

void verPastaAntesDeEnviar(FtpSession& sessao)
{
    try {
        listarPastaCliente(sessao, PedidoListagem::Ver);
    } catch (const ESessionFailure& e) {
        const FailureKind k = e.kind();
        if (e.failure().whileConnecting || k == FailureKind::Cancelled || k == FailureKind::InterceptionSuspected ||
            k == FailureKind::CertificateRefused)
            throw;
        sessao.log(e.Message());
    }
}

std::optional<ListagemPasta> listarDepoisDeEnviar(FtpSession& sessao)
{
    try {
        return listarPastaCliente(sessao, PedidoListagem::Atualizar);
    } catch (const ESessionFailure& e) {
        // A cancel that came after the file was stored stops the list only.
        if (e.kind() != FailureKind::Cancelled)
            sessao.log(e.Message());
    }
    return std::nullopt;
}

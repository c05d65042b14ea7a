#include "EnvioArquivo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

void conferirArquivoParaEnvio(const QString& path)
{
    const QFileInfo info(path);
    if (info.isDir())
        throw ESessionFailure(FailureKind::NotAFile, QStringLiteral("Apenas arquivos podem ser enviados, não pastas: ") + QDir::toNativeSeparators(path));
    QFile arquivo(path);
    if (!info.isFile() || !arquivo.open(QIODevice::ReadOnly))
        throw ESessionFailure(FailureKind::UnreadableFile, QStringLiteral("Não foi possível ler o arquivo ") + QDir::toNativeSeparators(path));
}

namespace {

Envio enviar(FtpSession& sessao, const PedidoEnvio& pedido)
{
    return sessao.asTransfer(wmWrite, QFileInfo(pedido.arquivo).fileName(), [&] {
        if (pedido.identificarDeNovo) {
            sessao.ConectarFTP();
            sessao.DefinirPastaCliente();
        }
        sessao.CriarPastaCliente();
        Envio envio;
        FtpSession::SentFile enviado;
        try {
            if (sessao.baseCorrompida()) {
                enviado = sessao.EnviarArquivoBaseCorrompida(pedido.arquivo);
                envio.nomeUnico = enviado.name;
                envio.motivo = sessao.motivoBaseCorrompida();
            } else {
                enviado = sessao.EnviarArquivo(pedido.arquivo);
            }
        } catch (const ERemoteNameTaken& e) {
            envio.resultado = ResultadoEnvio::MantidoNoServidor;
            envio.mantidoComo = e.keptAs();
            return envio;
        }
        const std::optional<TransferCheck> conferido = enviado.check;
        if (!conferido)
            envio.resultado = ResultadoEnvio::MantidoNoServidor;
        else if (*conferido == TransferCheck::Unconfirmed)
            envio.resultado = ResultadoEnvio::EnviadoSemConferencia;
        return envio;
    });
}

}

Envio executarEnvio(FtpSession& sessao, const PedidoEnvio& pedido)
{
    if (pedido.recusarIlegivel)
        conferirArquivoParaEnvio(pedido.arquivo);
    if (pedido.verPastaAntes)
        verPastaAntesDeEnviar(sessao);
    Envio envio = enviar(sessao, pedido);
    if (pedido.listarDepois && envio.enviado() && envio.nomeUnico.isEmpty())
        envio.listagem = listarDepoisDeEnviar(sessao);
    return envio;
}

QString Envio::texto() const
{
    switch (resultado) {
    case ResultadoEnvio::Enviado:
        return textoConcluido(wmWrite, TransferCheck::Size);
    case ResultadoEnvio::EnviadoSemConferencia:
        return textoConcluido(wmWrite, TransferCheck::Unconfirmed);
    case ResultadoEnvio::MantidoNoServidor:
        break;
    }
    if (!mantidoComo.isEmpty())
        return QStringLiteral("O Arquivo Já Existe no FTP e não foi substituído; o arquivo enviado e conferido ficou no servidor como %1")
            .arg(mantidoComo);
    return QStringLiteral("O Arquivo Já Existe no FTP e não foi substituído");
}

QString Envio::textoPastaCompartilhada() const
{
    if (motivo == MotivoBaseCorrompida::Nenhum)
        return {};
    return QStringLiteral("Cliente não identificado (%1): o arquivo está na pasta compartilhada de base corrompida, %2")
        .arg(textoMotivo(motivo), QString::fromUtf16(PastaBaseCorrompida));
}

QString textoConcluido(TWorkMode mode, TransferCheck check)
{
    if (check == TransferCheck::Unconfirmed)
        return mode == wmWrite ? QStringLiteral("Arquivo enviado, mas o servidor não informou o tamanho para conferência")
                               : QStringLiteral("Arquivo baixado, mas o servidor não informou o tamanho para conferência");
    return mode == wmWrite ? QStringLiteral("Arquivo Enviado com Sucesso") : QStringLiteral("Arquivo Baixado com Sucesso");
}

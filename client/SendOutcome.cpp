#include "SendOutcome.h"

QString sendOutcomeText(const Envio& envio, const SessionStatus& status)
{
    if (envio.nomeUnico.isEmpty() || !envio.enviado())
        return envio.texto();
    QString text = QStringLiteral("Enviado para a pasta compartilhada de base corrompida como %1 — informe este nome ao suporte")
                       .arg(envio.nomeUnico);
    // Not a check the server could not make: said after the name, not instead of it.
    if (envio.resultado == ResultadoEnvio::EnviadoSemConferencia)
        text += QStringLiteral("; o servidor não informou o tamanho para conferência");
    const QString motivo = textoMotivo(envio.motivo != MotivoBaseCorrompida::Nenhum ? envio.motivo : status.motivo);
    if (!motivo.isEmpty())
        text += QStringLiteral(" (cliente não identificado: %1)").arg(motivo);
    const QString detalhe = status.detalheMotivo.trimmed();
    if (!detalhe.isEmpty())
        text += QLatin1Char('\n') + detalhe;
    return text;
}

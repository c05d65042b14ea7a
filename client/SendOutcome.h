#pragma once
// How a send that did not fail is told on the line that ends a run without a window
// and in the window's log file: where the file went, under what name, and for the
// shared folder of clients that could not be identified, the name support needs and
// why the client was not identified, with the system's own words on a line of their
// own.
#include "EnvioArquivo.h"
#include "FtpSession.h"

#include <QString>

// "Arquivo Enviado com Sucesso", or "Enviado para a pasta compartilhada de base
// corrompida como NOME — informe este nome ao suporte (cliente não identificado:
// MOTIVO)" and, on the next line, status's detail of the reason.
QString sendOutcomeText(const Envio& envio, const SessionStatus& status);

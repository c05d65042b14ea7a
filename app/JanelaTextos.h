#pragma once
// Texts of the window that more than one of its sources shows.
#include <QString>

namespace janela {
inline const QString kTextoEnviando = QStringLiteral("Aguarde, enviando arquivo...");
inline const QString kTextoBaixando = QStringLiteral("Aguarde, baixando arquivo...");
inline const QString kTextoOcupado = QStringLiteral("Aguarde o término da operação em andamento.");
inline const QString kTextoConferindoEnvio = QStringLiteral("Conferindo o arquivo no servidor...");
inline const QString kTextoConferindoDownload = QStringLiteral("Conferindo o arquivo baixado...");
}

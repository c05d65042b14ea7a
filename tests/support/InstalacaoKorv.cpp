#include "InstalacaoKorv.h"

#include <QDir>

namespace testsupport {

void criarInstalacaoKorv(FirebirdServer& firebird, const QString& folder, int ano)
{
    QDir().mkpath(folder);
    const QString dados = folder + QStringLiteral("/dados");
    writeFile(folder + QStringLiteral("/korv.ini"), QStringLiteral("[KORV]\r\nServidor=%1\r\nCaminho_Base_Dados=%2/\r\nAno=%3\r\n")
                                                        .arg(firebird.serverAndPort(), hostPath(dados))
                                                        .arg(ano)
                                                        .toUtf8());
    firebird.createDatabase(dados + QStringLiteral("/ARQ%1/KORV%1.FDB").arg(ano), FirebirdServer::fixtureScript(QStringLiteral("korv.sql")),
                            QStringLiteral("QNCKORV8"), QStringLiteral("vokt"));
}

}

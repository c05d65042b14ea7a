#include "AmbienteJanela.h"

#include "TestSupport.h"

#include <QFileInfo>

namespace {

testsupport::FirebirdServer& servidor()
{
    static std::unique_ptr<testsupport::FirebirdServer> s = std::make_unique<testsupport::FirebirdServer>();
    return *s;
}

} // namespace

QString instalacaoKorv()
{
    static QString pasta;
    if (!pasta.isEmpty())
        return pasta;
    testsupport::FirebirdServer& fb = servidor();
    const QString p = fb.folder() + QStringLiteral("/korv-janela");
    QDir().mkpath(p);
    testsupport::writeFile(p + QStringLiteral("/korv.ini"), QStringLiteral("[KORV]\r\nServidor=%1\r\nCaminho_Base_Dados=%2/dados\r\n")
                                                                 .arg(fb.serverAndPort(), p)
                                                                 .toUtf8());
    // The window's tests build the connection with the year 2017.
    fb.createDatabase(p + QStringLiteral("/dados/ARQ2017/KORV2017.FDB"), testsupport::FirebirdServer::fixtureScript(QStringLiteral("korv.sql")),
                      QStringLiteral("QNCKORV8"), QStringLiteral("vokt"));
    pasta = p;
    return pasta;
}

QString instalacaoVazia()
{
    static QTemporaryDir dir;
    return dir.path();
}

void apontarFtp(int portaPrincipal, int portaAlternativa)
{
    qputenv("FTPCALDORIA_FTP_HOST", QByteArray("127.0.0.1:") + QByteArray::number(portaPrincipal));
    qputenv("FTPCALDORIA_FTP_ALT_HOST", QByteArray("127.0.0.1:") + QByteArray::number(portaAlternativa));
    qunsetenv("FTPCALDORIA_FTP_PORT");
}

void apontarFtp(int porta)
{
    apontarFtp(porta, porta);
}

void criarArquivo(const QString& root, const QString& relative, const QByteArray& content)
{
    const QString path = root + QLatin1Char('/') + relative;
    QDir().mkpath(QFileInfo(path).absolutePath());
    testsupport::writeFile(path, content);
}

// The program copied into installation folders as users have them: accents and
// blanks in the path, the INI file's name in any case. On Windows the paths carry
// a drive letter and "\" (GetModuleFileNameW), which the probe then sees.
#include "DiscoveryTestSupport.h"

#include "uValida_Chave.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <map>

namespace {

QString q(const char* s) { return QString::fromUtf8(s); }

std::map<QString, QString> rodarSonda(const QString& programa)
{
    QProcess p;
    p.setWorkingDirectory(QDir::tempPath());
    p.start(programa, {});
    EXPECT_TRUE(p.waitForFinished(30000)) << programa.toStdString();
    std::map<QString, QString> values;
    for (const QByteArray& line : p.readAllStandardOutput().split('\n')) {
        const qsizetype eq = line.indexOf('=');
        if (eq > 0)
            values[QString::fromUtf8(line.left(eq))] = QString::fromUtf8(line.mid(eq + 1)).trimmed();
    }
    return values;
}

}

TEST(DiscoveryPastas, InstallationFoldersWithAccentsAndBlanks)
{
    struct Caso {
        const char* pasta;   // below the temporary folder
        const char* ini;     // the INI file's name as it lies there
        QByteArray conteudo;
        int sistema;
        const char* sigla;
        const char* arquivo0;
    };
    const Caso casos[] = {
        {"Prefeitura de São José/Sistema KORV", "KoRv.InI",
         "[KORV]\r\nServidor=Banco02/3051\r\nAno=2017\r\nCaminho_Base_Dados=C:\\Quintara\\Dados KORV\\\r\n", qncKORV, "KORV",
         "C:\\Quintara\\Dados KORV\\ARQ2017\\KORV2017.FDB"},
        {"Câmara Municipal/Águas Claras", "QUINTARA_LOB_SERVER.INI",
         "[LOB]\r\nServidor=Banco02/3051\r\nCaminho_Base_Dados=D:\\Bases Quintara\\LOB\\\r\n", qncLOB, "LOB",
         "D:\\Bases Quintara\\LOB\\DADOS\\LOB.FDB"},
        {"Secretaria de Saúde", "quintara_lob_server.ini",
         "[LOB]\r\nCaminho_Base_Dados=/srv/lob/\r\n", qncLOB, "LOB", "/srv/lob/DADOS/LOB.FDB"},
    };
    const QString sonda = QString::fromUtf8(DISCOVERY_PROBE);
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.pasta);
        discoverytest::Instalacao inst;
        const QString pasta = inst.criarPasta(q(c.pasta));
        testsupport::writeFile(pasta + q(c.ini), c.conteudo);
        const QString copia = pasta + QFileInfo(sonda).fileName();
        ASSERT_TRUE(QFile::copy(sonda, copia));
        QFile::setPermissions(copia, QFile::permissions(sonda));
        auto found = rodarSonda(copia);
        EXPECT_EQ(found[q("SISTEMA")], QString::number(c.sistema));
        EXPECT_EQ(found[q("SIGLA")], q(c.sigla));
        EXPECT_EQ(found[q("ARQUIVO0")], q(c.arquivo0));
    }
}

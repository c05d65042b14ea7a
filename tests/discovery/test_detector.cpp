#include "DiscoveryTestSupport.h"
#include "uTQuintaraConexoes.h"

#include "Cp1252.h"

#include <QFile>
#include <QProcess>

#include <map>

using discoverytest::Instalacao;

namespace {

QString q(const char* s) { return QString::fromUtf8(s); }

int ano2017() { return 2017; }

QString entrada(IQuintaraConexao& c, std::size_t i)
{
    const TArquivosFDB& arquivos = c.GetArquivosFDB();
    if (i >= arquivos.size() || !arquivos[i])
        return q("<none>");
    return arquivos[i]->caminho;
}

}

TEST(DiscoveryDetector, NoSystemBesideTheProgram)
{
    Instalacao inst;
    inst.escrever("readme.txt", "x");
    TQuintaraConexaoInstalada c(inst.executavel(), ano2017);
    EXPECT_EQ(c.GetSistema(), qncNenhum);
    EXPECT_EQ(c.GetSiglaSistema(), q("Nenhum"));
    EXPECT_EQ(c.GetServidor(), q("localhost"));
    EXPECT_EQ(c.GetPorta(), QString());
    EXPECT_EQ(c.GetServidorPorta(), q("localhost"));
    EXPECT_EQ(c.GetCaminhoFDB(), QString());
    EXPECT_EQ(c.GetUsuario(), QString());
    EXPECT_EQ(c.GetSenha(), QString());
    EXPECT_TRUE(c.GetArquivosFDB().empty());
}

TEST(DiscoveryDetector, EachSystemReadsItsOwnIniFile)
{
    struct Row {
        const char* caso;
        const char* arquivo;
        const char* conteudo;
        TQuintaraSistema sistema;
        const char* sigla;
        const char* usuario;
        const char* servidor;
        const char* porta;
        const char* caminho;
        const char* entrada0;
    };
    const Row rows[] = {
        {"KORV with a year", "korv.ini", "[KORV]\nServidor=BANCO\nAno=2015\nCaminho_Base_Dados=C:\\KORV\\DADOS\\\nPorta=3999\n", qncKORV,
         "KORV", "QNCKORV8", "banco", "", "C:\\KORV\\DADOS\\", "C:\\KORV\\DADOS\\ARQ2015\\KORV2015.FDB"},
        {"KORV without a year uses the current one", "korv.ini", "[KORV]\nCaminho_Base_Dados=C:\\KORV\\DADOS\\\n", qncKORV, "KORV",
         "QNCKORV8", "localhost", "", "C:\\KORV\\DADOS\\", "C:\\KORV\\DADOS\\ARQ2017\\KORV2017.FDB"},
        {"KORV with a year that is no number", "korv.ini", "[KORV]\nAno=dois mil\nCaminho_Base_Dados=/k\n", qncKORV, "KORV", "QNCKORV8",
         "localhost", "", "/k/", "/k/ARQ2017/KORV2017.FDB"},
        {"KORV with the year -1 wraps", "korv.ini", "[KORV]\nAno=-1\nCaminho_Base_Dados=/k\n", qncKORV, "KORV", "QNCKORV8", "localhost",
         "", "/k/", "/k/ARQ4294967295/KORV4294967295.FDB"},
        {"TEL", "telcon.ini", "[TEL]\nCaminho=C:\\TEL\\TEL_DADOS\\TEL.FDB\n[SERVIDOR]\nNOME=Banco01\nPORTA=3051\n", qncTEL, "TEL", "QNCTEL",
         "banco01", "3051", "C:\\TEL\\TEL_DADOS\\", "C:\\TEL\\TEL_DADOS\\TEL.FDB"},
        {"TEL server only in its own section", "telcon.ini", "[TEL]\nCaminho=/srv/tel/TEL.FDB\nServidor=ignored\n", qncTEL, "TEL",
         "QNCTEL", "localhost", "", "/srv/tel/", "/srv/tel/TEL.FDB"},
        {"MUR", "mur.ini", "[MUR]\nCaminho_Base_Dados=D:\\MUR\\\nPORTACON=3052\n", qncMUR, "MUR", "QNCMUR", "localhost", "3052",
         "D:\\MUR\\MUG_DADOS\\", "D:\\MUR\\MUG_DADOS\\MURDADOS.FDB"},
        {"VAD", "QUINTARA_VAD_SERVER.ini", "[VAD]\nCaminho_Base_Dados=C:\\VAD\\\nServidor=Srv\n", qncVAD, "VAD", "QNCKORV8", "srv", "",
         "C:\\VAD\\DADOS\\", "C:\\VAD\\DADOS\\VEX.FDB"},
        {"VAD folder without its trailing separator", "QUINTARA_VAD_SERVER.ini", "[VAD]\nCaminho_Base_Dados=C:\\VAD\n", qncVAD, "VAD",
         "QNCKORV8", "localhost", "", "C:\\VAD\\DADOS\\", "C:\\VAD\\DADOS\\VEX.FDB"},
        {"VAD folder written with '/'", "QUINTARA_VAD_SERVER.ini", "[VAD]\nCaminho_Base_Dados=/srv/vad\n", qncVAD, "VAD", "QNCKORV8",
         "localhost", "", "/srv/vad/DADOS/", "/srv/vad/DADOS/VEX.FDB"},
        {"VAD with no folder at all", "QUINTARA_VAD_SERVER.ini", "[VAD]\n", qncVAD, "VAD", "QNCKORV8", "localhost", "", "DADOS\\",
         "DADOS\\VEX.FDB"},
        {"LOB does not read a port", "QUINTARA_LOB_SERVER.ini", "[LOB]\nCaminho_Base_Dados=C:\\LOB\\\nPorta=3099\n", qncLOB, "LOB",
         "QNCKORV8", "localhost", "", "C:\\LOB\\DADOS\\", "C:\\LOB\\DADOS\\LOB.FDB"},
        {"NIX reads section VAD, default port 3055", "VAD.ini", "[VAD]\nServidor=Nix01\nCaminho_Base_Dados=C:\\NIX\\\n", qncNIX, "NIX",
         "SYSDBA", "nix01", "3055", "C:\\NIX\\", "C:\\NIX\\NIXDADOS.FDB"},
        {"NIX port in the server wins", "VAD.ini", "[VAD]\nServidor=srv/3050\nPorta=3055\n", qncNIX, "NIX", "SYSDBA", "srv", "3050", "",
         "NIXDADOS.FDB"},
        {"NIX with an empty port key", "VAD.ini", "[VAD]\nPorta=\n", qncNIX, "NIX", "SYSDBA", "localhost", "", "", "NIXDADOS.FDB"},
        {"HUSK", "husk.ini", "[HUSK]\nServidor=H\nPorta=3060\nCaminho_Base_Dados=/h/\n", qncHUSK, "HUSK", "SYSDBA", "h", "3060", "/h/",
         "/h/HUSK.FDB"},
        {"JEB", "JEBIN.ini", "[JEBIN]\nCaminho_Base_Dados=C:\\JEB\\\n", qncJEB, "JEB 2017", "SYSDBA", "localhost", "", "C:\\JEB\\",
         "C:\\JEB\\DADOS2017\\JEBIN2017.FDB"},
        {"PYR", "QUINTARA_PYR_SERVER.ini", "[PYR]\nCaminho_Base_Dados=C:\\PYR\\\nPorta=1\n", qncPYR, "PYR", "SYSDBA", "localhost", "",
         "C:\\PYR\\DADOS\\", "C:\\PYR\\DADOS\\PYR.FDB"},
        {"RUV", "QUINTARA_RUVD_SERVER.ini", "[RUV]\nServidor=R\nCaminho_Base_Dados=C:\\RUV\\\n", qncRUV, "RUV", "QNCKORV8", "r", "",
         "C:\\RUV\\DADOS\\", "C:\\RUV\\DADOS\\RUV.FDB"},
        {"YOL", "yol.ini", "[YOL]\nPorta=3070\nCaminho_Base_Dados=C:\\YOL\n", qncYOL, "YOL", "SYSDBA", "localhost", "3070", "C:\\YOL\\",
         "C:\\YOL\\YOLQUINTARA.FDB"},
        {"ZIB", "quizib.ini", "[ZIB]\nCaminho_Base_Dados=E:\\ZIB\\\n", qncZIB, "QUIZIB", "SYSDBA", "localhost", "", "E:\\ZIB\\BD\\",
         "E:\\ZIB\\BD\\QUINTARA_GM.FDB"},
        {"sections and keys in another case", "quizib.ini", "[zib]\nCAMINHO_BASE_DADOS=E:\\Z\\\nservidor=ZZ\nPORTA=1\n", qncZIB, "QUIZIB",
         "SYSDBA", "zz", "1", "E:\\Z\\BD\\", "E:\\Z\\BD\\QUINTARA_GM.FDB"},
        // Server and port written together.
        {"SRV01/3050", "husk.ini", "[HUSK]\nServidor=SRV01/3050\nPorta=4000\n", qncHUSK, "HUSK", "SYSDBA", "srv01", "3050", "",
         "HUSK.FDB"},
        {"/3050", "husk.ini", "[HUSK]\nServidor=/3050\n", qncHUSK, "HUSK", "SYSDBA", "localhost", "3050", "", "HUSK.FDB"},
        {"port cut to five characters", "husk.ini", "[HUSK]\nServidor=srv/123456\n", qncHUSK, "HUSK", "SYSDBA", "srv", "12345", "",
         "HUSK.FDB"},
        {"server of blanks only", "husk.ini", "[HUSK]\nServidor=\"   \"\n", qncHUSK, "HUSK", "SYSDBA", "localhost", "", "", "HUSK.FDB"},
        {"empty server", "husk.ini", "[HUSK]\nServidor=\n", qncHUSK, "HUSK", "SYSDBA", "localhost", "", "", "HUSK.FDB"},
        {"no section at all", "husk.ini", "", qncHUSK, "HUSK", "SYSDBA", "localhost", "", "", "HUSK.FDB"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.caso);
        Instalacao inst;
        inst.escrever(q(r.arquivo), QByteArray(r.conteudo));
        TQuintaraConexaoInstalada c(inst.executavel(), ano2017);
        EXPECT_EQ(c.GetSistema(), r.sistema);
        EXPECT_EQ(c.GetSiglaSistema(), q(r.sigla));
        EXPECT_EQ(c.GetUsuario(), q(r.usuario));
        EXPECT_FALSE(c.GetSenha().isEmpty());
        EXPECT_EQ(c.GetServidor(), q(r.servidor));
        EXPECT_EQ(c.GetPorta(), q(r.porta));
        const QString servidorPorta = *r.porta ? q(r.servidor) + QLatin1Char('/') + q(r.porta) : q(r.servidor);
        EXPECT_EQ(c.GetServidorPorta(), servidorPorta);
        EXPECT_EQ(c.GetCaminhoFDB(), q(r.caminho));
        EXPECT_EQ(entrada(c, 0), q(r.entrada0));
    }
}

TEST(DiscoveryDetector, KorvInABackupFolderUsesTheCurrentYear)
{
    // "backup" anywhere in the executable's path, in any case.
    const char* pastas[] = {"Backup", "BACKUP", "old_backup_2016"};
    for (const char* nome : pastas) {
        SCOPED_TRACE(nome);
        Instalacao inst;
        const QString pasta = inst.criarPasta(q(nome));
        testsupport::writeFile(pasta + q("korv.ini"), "[KORV]\nAno=2015\nCaminho_Base_Dados=C:\\KORV\\DADOS\\\n");
        int ano = 2017;
        TQuintaraConexaoInstalada c(pasta + q("FTPCaldoria.exe"), [&ano] { return ano; });
        EXPECT_EQ(c.GetSistema(), qncKORV);
        EXPECT_EQ(entrada(c, 0), q("C:\\KORV\\DADOS\\ARQ2017\\KORV2017.FDB"));
        EXPECT_EQ(entrada(c, 2), q("C:\\KORV\\DADOS\\ARQ2018\\KORV2018.FDB"));
        // The current-year class asks the clock again whenever the folder is set.
        ano = 2020;
        c.SetCaminhoFDB(q("C:\\KORV\\DADOS\\"));
        EXPECT_EQ(entrada(c, 0), q("C:\\KORV\\DADOS\\ARQ2020\\KORV2020.FDB"));
    }
    // The same file outside a backup folder is read with its year.
    Instalacao inst;
    inst.escrever(q("korv.ini"), "[KORV]\nAno=2015\nCaminho_Base_Dados=C:\\KORV\\DADOS\\\n");
    TQuintaraConexaoInstalada c(inst.executavel(), ano2017);
    EXPECT_EQ(entrada(c, 0), q("C:\\KORV\\DADOS\\ARQ2015\\KORV2015.FDB"));
    EXPECT_EQ(entrada(c, 2), q("C:\\KORV\\DADOS\\ARQ2016\\KORV2016.FDB"));
    EXPECT_EQ(c.GetArquivosFDB().size(), 5u);
}

TEST(DiscoveryDetector, IniFilesInEveryEncodingGiveTheSameFolder)
{
    const QString texto = q("[JEBIN]\r\nCaminho_Base_Dados=C:\\Saúde\\Ação\r\nServidor=Srv\r\n");
    QByteArray utf16;
    utf16.append("\xFF\xFE", 2);
    for (QChar ch : texto) {
        utf16.append(static_cast<char>(ch.unicode() & 0xFF));
        utf16.append(static_cast<char>(ch.unicode() >> 8));
    }
    const std::pair<const char*, QByteArray> rows[] = {
        {"UTF-16LE", utf16},
        {"UTF-8 with BOM", QByteArray("\xEF\xBB\xBF") + texto.toUtf8()},
        {"UTF-8", texto.toUtf8()},
        {"Windows-1252", cp1252::encode(texto)},
    };
    for (const auto& [caso, bytes] : rows) {
        SCOPED_TRACE(caso);
        Instalacao inst;
        inst.escrever(q("JEBIN.INI"), bytes);
        TQuintaraConexaoInstalada c(inst.executavel(), ano2017);
        EXPECT_EQ(c.GetSistema(), qncJEB);
        EXPECT_EQ(c.GetCaminhoFDB(), q("C:\\Saúde\\Ação\\"));
        EXPECT_EQ(entrada(c, 0), q("C:\\Saúde\\Ação\\DADOS2017\\JEBIN2017.FDB"));
        EXPECT_EQ(c.GetServidorPorta(), q("srv"));
    }
}

TEST(DiscoveryDetector, OperationsReachTheIdentifiedConnection)
{
    Instalacao inst;
    inst.escrever(q("mur.ini"), "[MUR]\nCaminho_Base_Dados=D:\\MUR\\\n");
    IQuintaraConexaoPtr c = std::make_shared<TQuintaraConexaoInstalada>(inst.executavel(), ano2017);
    TArquivosFDB& lista = c->GetArquivosFDB();
    EXPECT_EQ(&lista, &c->GetArquivosFDB());

    c->SetServidor(q("OUTRO"));
    c->SetPorta(q("1234"));
    c->SetUsuario(q("u"));
    c->SetSenha(q("s"));
    c->SetCaminhoFDB(q("/m"));
    EXPECT_EQ(c->GetServidorPorta(), q("outro/1234"));
    EXPECT_EQ(c->GetUsuario(), q("u"));
    EXPECT_EQ(c->GetSenha(), q("s"));
    EXPECT_EQ(c->GetBarra(), q("/"));
    EXPECT_EQ(lista.size(), 3u);
    EXPECT_EQ(lista[0]->caminho, q("/m/MURDADOS.FDB"));
    c->SetBarra(q("\\"));
    EXPECT_EQ(c->GetBarra(), q("\\"));
    c->SetSistema(qncTEL);
    EXPECT_EQ(c->GetSistema(), qncTEL);
    EXPECT_EQ(c->GetSiglaSistema(), q("TEL"));
}

TEST(DiscoveryDetector, CopiedProgramLooksBesideItselfNotInTheWorkingFolder)
{
    const QString probe = QString::fromUtf8(DISCOVERY_PROBE);

    auto run = [&](const QString& program, const QString& workDir) {
        QProcess p;
        p.setWorkingDirectory(workDir);
        p.start(program, {});
        EXPECT_TRUE(p.waitForFinished(30000)) << program.toStdString();
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        std::map<QString, QString> values;
        for (const QByteArray& line : p.readAllStandardOutput().split('\n')) {
            const qsizetype eq = line.indexOf('=');
            if (eq > 0)
                values[QString::fromUtf8(line.left(eq))] = QString::fromUtf8(line.mid(eq + 1)).trimmed();
        }
        return values;
    };

    // The working folder holds KORV's file; the program's folder holds LOB's.
    Instalacao trabalho;
    trabalho.escrever(q("korv.ini"), "[KORV]\nCaminho_Base_Dados=/korv\n");
    Instalacao inst;
    inst.escrever(q("QUINTARA_LOB_SERVER.INI"), "[LOB]\r\nServidor=Banco02/3051\r\nCaminho_Base_Dados=/srv/lob/\r\n");
#ifdef _WIN32
    const QString copia = inst.pasta() + q("FTPCaldoria.exe");
#else
    const QString copia = inst.pasta() + q("FTPCaldoria");
#endif
    ASSERT_TRUE(QFile::copy(probe, copia));
    QFile::setPermissions(copia, QFile::permissions(probe));

    auto found = run(copia, trabalho.pasta());
    EXPECT_EQ(found[q("SISTEMA")], QString::number(qncLOB));
    EXPECT_EQ(found[q("SIGLA")], q("LOB"));
    EXPECT_EQ(found[q("SERVIDORPORTA")], q("banco02/3051"));
    EXPECT_EQ(found[q("ARQUIVO0")], q("/srv/lob/DADOS/LOB.FDB"));

    // Where it was built nothing is installed, whatever the working folder holds.
    found = run(probe, trabalho.pasta());
    EXPECT_EQ(found[q("SISTEMA")], QString::number(qncNenhum));
    EXPECT_EQ(found[q("SIGLA")], q("Nenhum"));
    EXPECT_EQ(found[q("SERVIDORPORTA")], q("localhost"));
    EXPECT_EQ(found[q("ARQUIVO0")], QString());
}

// A hostile INI file: 100,000 sections in under a megabyte, repeated names among
// them, and the system's own section after all of them. Start-up reads it whole and
// finds what a plain file would give.
TEST(DiscoveryDetector, AnIniFileOfManySectionsReadsAsAPlainOne)
{
    QByteArray ini;
    for (int i = 0; i < 100000; ++i)
        ini += "[" + QByteArray::number(i % 70000) + "]\n";
    ini += "[korv]\nServidor=SRV01/3050\nAno=2015\nCaminho_Base_Dados=C:\\KORV\\DADOS\\\n";
    ini += "[KORV]\nServidor=repeated section, never read\n";
    ASSERT_LT(ini.size(), 1 << 20);
    Instalacao inst;
    inst.escrever("korv.ini", ini);
    TQuintaraConexaoInstalada c(inst.executavel(), ano2017);
    EXPECT_EQ(c.GetSistema(), qncKORV);
    EXPECT_EQ(c.GetServidorPorta(), q("srv01/3050"));
    EXPECT_EQ(entrada(c, 0), q("C:\\KORV\\DADOS\\ARQ2015\\KORV2015.FDB"));
}

// The connection's settings and the database string, without a server.
#include "Exception.h"
#include "ExePath.h"
#include "FbClient.h"
#include "PastaCliente.h"
#include "SimpleDataSet.h"
#include "SqlConnection.h"
#include "TestSupport.h"
#include "uTQuintaraConexoes.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

// --- Parameters --------------------------------------------------------------

struct PassoParam {
    const char* nome;
    const char* valor;
};

struct CasoParams {
    const char* descricao;
    std::vector<PassoParam> passos;
    QStringList esperado;
};

class TSQLParamsTest : public ::testing::TestWithParam<CasoParams> {};

TEST_P(TSQLParamsTest, ReplacesAppendsOrRemoves)
{
    TSQLParams params;
    for (const PassoParam& p : GetParam().passos)
        params.SetValue(QString::fromUtf8(p.nome), QString::fromUtf8(p.valor));
    EXPECT_EQ(params.Lines(), GetParam().esperado);
}

INSTANTIATE_TEST_SUITE_P(
    Casos, TSQLParamsTest,
    ::testing::Values(
        CasoParams{"append", {{"A", "1"}, {"B", "2"}}, {"A=1", "B=2"}},
        CasoParams{"replace in place", {{"A", "1"}, {"B", "2"}, {"A", "3"}}, {"A=3", "B=2"}},
        CasoParams{"names ignore case", {{"User_Name", "x"}, {"USER_NAME", "y"}}, {"User_Name=y"}},
        CasoParams{"empty removes", {{"A", "1"}, {"B", "2"}, {"a", ""}}, {"B=2"}},
        CasoParams{"empty never added", {{"A", ""}}, {}},
        CasoParams{"removed then added at the end", {{"A", "1"}, {"B", "2"}, {"A", ""}, {"A", "4"}}, {"B=2", "A=4"}},
        CasoParams{"blank is a value", {{"A", " "}}, {"A= "}}),
    [](const auto& info) {
        QString nome = QString::fromUtf8(info.param.descricao);
        nome.replace(QLatin1Char(' '), QLatin1Char('_'));
        return nome.toStdString();
    });

TEST(TSQLConnection, ChoosingTheDriverLoadsItsDefaults)
{
    TSQLConnection conexao;
    conexao.Params().SetValue(QStringLiteral("Leftover"), QStringLiteral("x"));
    conexao.SetDriverName(QStringLiteral("Firebird"));
    EXPECT_FALSE(conexao.Params().Contains(QStringLiteral("Leftover")));
    EXPECT_EQ(conexao.Params().Value(QStringLiteral("SQLDialect")), QStringLiteral("3"));
    EXPECT_EQ(conexao.Params().Value(QStringLiteral("IsolationLevel")), QStringLiteral("ReadCommitted"));
    EXPECT_EQ(conexao.Params().Value(QStringLiteral("WaitOnLocks")), QStringLiteral("True"));
    EXPECT_EQ(conexao.Params().Value(QStringLiteral("TrimChar")), QStringLiteral("False"));
    EXPECT_FALSE(conexao.Params().Contains(QStringLiteral("User_Name")));
    EXPECT_FALSE(conexao.Params().Contains(QStringLiteral("Password")));
    EXPECT_FALSE(conexao.Connected());
}

// --- The connection built from the installed system ----------------------------

// Records which operations of the connection record are called, in order.
class SistemaGravado : public TQuintaraConexao {
public:
    QStringList chamadas;
    QString GetUsuario() override { chamadas << "GetUsuario"; return TQuintaraConexao::GetUsuario(); }
    QString GetSenha() override { chamadas << "GetSenha"; return TQuintaraConexao::GetSenha(); }
    QString GetServidorPorta() override { chamadas << "GetServidorPorta"; return TQuintaraConexao::GetServidorPorta(); }
    TArquivosFDB& GetArquivosFDB() override { chamadas << "GetArquivosFDB"; return TQuintaraConexao::GetArquivosFDB(); }
    void adicionar(const QString& caminho) { FArquivosFDB.push_back(std::make_unique<TArquivoFDB>(caminho, false)); }
};

struct CasoBanco {
    const char* descricao;
    const char* servidor;
    const char* porta;
    QStringList arquivos;
    const char* database; // empty: "Argument out of range"
};

class CriarConexaoBancoTest : public ::testing::TestWithParam<CasoBanco> {};

TEST_P(CriarConexaoBancoTest, FormsTheDatabaseString)
{
    const CasoBanco& caso = GetParam();
    SistemaGravado sistema;
    sistema.SetServidor(QString::fromUtf8(caso.servidor));
    sistema.SetPorta(QString::fromUtf8(caso.porta));
    for (const QString& a : caso.arquivos)
        sistema.adicionar(a);
    if (*caso.database == '\0') {
        try {
            CriarConexaoBanco(sistema);
            FAIL() << "no exception";
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), QStringLiteral("Argument out of range"));
        }
    } else {
        auto conexao = CriarConexaoBanco(sistema);
        EXPECT_EQ(conexao->Params().Value(QStringLiteral("Database")), QString::fromUtf8(caso.database));
        EXPECT_FALSE(conexao->Connected());
    }
    EXPECT_EQ(sistema.chamadas, (QStringList{"GetUsuario", "GetSenha", "GetServidorPorta", "GetArquivosFDB"}));
}

INSTANTIATE_TEST_SUITE_P(
    Casos, CriarConexaoBancoTest,
    ::testing::Values(
        CasoBanco{"no port", "SRV01", "", {"C:\\Base\\KORV.FDB"}, "srv01:C:\\Base\\KORV.FDB"},
        CasoBanco{"with port", "localhost", "3055", {"/dados/TEL.FDB"}, "localhost/3055:/dados/TEL.FDB"},
        CasoBanco{"first entry only", "127.0.0.1", "3050", {"/a/MURDADOS.FDB", "/a/SYSTEM.DAT"}, "127.0.0.1/3050:/a/MURDADOS.FDB"},
        CasoBanco{"no server", "", "", {"BANCO.FDB"}, "localhost:BANCO.FDB"},
        CasoBanco{"empty list", "localhost", "", {}, ""}),
    [](const auto& info) {
        QString nome = QString::fromUtf8(info.param.descricao);
        nome.replace(QLatin1Char(' '), QLatin1Char('_'));
        return nome.toStdString();
    });

TEST(CriarConexaoBanco, SetsTheSettingsOfTheInstalledSystem)
{
    SistemaGravado sistema;
    sistema.SetUsuario(QStringLiteral("QNCKORV8"));
    sistema.SetSenha(QStringLiteral("vokt"));
    sistema.adicionar(QStringLiteral("/x/KORV2017.FDB"));
    auto conexao = CriarConexaoBanco(sistema);
    EXPECT_EQ(conexao->DriverName(), QStringLiteral("Firebird"));
    EXPECT_EQ(conexao->VendorLib(), exepath::executableFolder() + fbclient::libraryFileName());
    EXPECT_TRUE(conexao->LibraryName().startsWith(exepath::executableFolder()));
    EXPECT_FALSE(conexao->LoginPrompt());
    const TSQLParams& p = conexao->Params();
    EXPECT_EQ(p.Value(QStringLiteral("ServerCharset")), QStringLiteral("WIN1252"));
    EXPECT_EQ(p.Value(QStringLiteral("UseUnicode")), QStringLiteral("False"));
    EXPECT_EQ(p.Value(QStringLiteral("CommitRetain")), QStringLiteral("False"));
    EXPECT_EQ(p.Value(QStringLiteral("User_Name")), QStringLiteral("QNCKORV8"));
    EXPECT_EQ(p.Value(QStringLiteral("Password")), QStringLiteral("vokt"));
    EXPECT_EQ(p.Value(QStringLiteral("SQLDialect")), QStringLiteral("3"));
    EXPECT_EQ(p.Value(QStringLiteral("TrimChar")), QStringLiteral("False"));
}

TEST(CriarConexaoBanco, LeavesAnEmptyLoginUnset)
{
    SistemaGravado sistema; // the base record: no user, no password
    sistema.adicionar(QStringLiteral("/x/BANCO.FDB"));
    auto conexao = CriarConexaoBanco(sistema);
    EXPECT_FALSE(conexao->Params().Contains(QStringLiteral("User_Name")));
    EXPECT_FALSE(conexao->Params().Contains(QStringLiteral("Password")));
}

// --- Failures before any server is contacted -------------------------------------

TEST(TSimpleDataSet, RefusesAnEmptyCommandBeforeConnecting)
{
    TSQLConnection conexao;
    conexao.SetDriverName(QStringLiteral("Firebird"));
    // Would fail differently if it were tried.
    conexao.Params().SetValue(QStringLiteral("Database"),
                              QStringLiteral("127.0.0.1/%1:/nada.fdb").arg(testsupport::closedPort()));
    TSimpleDataSet dados;
    dados.SetConnection(&conexao);
    for (const QString& sql : {QString(), QStringLiteral("  ")}) {
        dados.SetCommandText(sql);
        try {
            dados.Open();
            FAIL() << "no exception";
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), QStringLiteral("Missing query, table name or procedure name"));
        }
        EXPECT_FALSE(dados.Active());
        EXPECT_FALSE(conexao.Connected());
    }
}

TEST(TSimpleDataSet, WithoutARowOrWhenClosedFindsNoField)
{
    TSimpleDataSet dados;
    try {
        dados.FieldByName(QStringLiteral("cidade"));
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Field 'cidade' not found"));
    }
    dados.Close(); // closing what is not open does nothing
    EXPECT_FALSE(dados.Active());
}

// --- Which client library a connection uses ---------------------------------------

// Headers as a loader reads them: a PE file's machine, an ELF file's class.
QByteArray cabecalhoPE(quint16 maquina)
{
    QByteArray h(0x80, '\0');
    h[0] = 'M';
    h[1] = 'Z';
    h[0x3C] = 0x40;
    h.replace(0x40, 4, QByteArray("PE\0\0", 4));
    h[0x44] = static_cast<char>(maquina & 0xFF);
    h[0x45] = static_cast<char>(maquina >> 8);
    return h;
}

TEST(FbClient, TellsTheWordSizeOfALibraryFromItsHeader)
{
    QByteArray peLonge = cabecalhoPE(0x8664);
    peLonge[0x3C] = 0x7F; // the PE header would lie past the bytes read
    QByteArray elf32("\x7F" "ELF\x01\x01\x01", 7), elf64("\x7F" "ELF\x02\x01\x01", 7);
    const struct {
        const char* nome;
        QByteArray cabecalho;
        int bits;
    } casos[] = {
        {"PE i386", cabecalhoPE(0x014C), 32},
        {"PE AMD64", cabecalhoPE(0x8664), 64},
        {"PE ARM64", cabecalhoPE(0xAA64), 64},
        {"PE of another machine", cabecalhoPE(0x01C4), 0},
        {"PE header out of reach", peLonge, 0},
        {"ELF 32", elf32, 32},
        {"ELF 64", elf64, 64},
        {"text", QByteArray("MZ, but only a text file that begins so"), 0},
        {"empty", QByteArray(), 0},
    };
    for (const auto& c : casos)
        EXPECT_EQ(fbclient::bitsDoArquivo(c.cabecalho), c.bits) << c.nome;
}

// The system's library beside the executable comes first; when this process cannot
// use it, the package's own in its folder, and the log line says why.
TEST(FbClient, FallsBackToThePackagesOwnClientAndSaysWhy)
{
    const QString cliente = QStringLiteral(FTPC_FBCLIENT_PACOTE);
    const QString nome = fbclient::libraryFileName();
    struct Caso {
        const char* nome;
        std::function<void(const QString& pasta)> aoLado; // what lies beside the executable
        bool comPacote;
        const char* relato; // the log line contains it; empty: nothing loads
    };
    const std::vector<Caso> casos = {
        {"the system's own", [&](const QString& p) { QFile::copy(cliente, p + nome); }, true, "da pasta do sistema"},
        {"none beside", [](const QString&) {}, true, "não está na pasta do sistema; usando o cliente Firebird do pacote"},
        {"a broken file beside", [&](const QString& p) { testsupport::writeFile(p + nome, QByteArray(5000, 'x')); }, true,
         "da pasta do sistema não pôde ser carregado"},
        {"a 32-bit library beside",
         [&](const QString& p) {
             // A header of the other word size, as the systems' older fbClient.dll have.
             QByteArray outra = sizeof(void*) == 8 ? cabecalhoPE(0x014C) : cabecalhoPE(0x8664);
             outra.append(QByteArray(4096, '\0'));
             testsupport::writeFile(p + nome, outra);
         },
         true, sizeof(void*) == 8 ? "é de 32 bits; usando o cliente Firebird do pacote" : "é de 64 bits; usando"},
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.nome);
        QTemporaryDir dir;
        const QString pasta = dir.path() + QLatin1Char('/');
        c.aoLado(pasta);
        if (c.comPacote) {
            QDir().mkpath(pasta + QString::fromUtf16(fbclient::PastaClientePacote));
            ASSERT_TRUE(QFile::copy(cliente, pasta + QString::fromUtf16(fbclient::PastaClientePacote) + QLatin1Char('/') + nome));
        }
        const fbclient::Escolha& escolha = fbclient::carregar(pasta + nome);
        EXPECT_TRUE(escolha.relato.contains(QString::fromUtf8(c.relato))) << escolha.relato.toStdString();
        ASSERT_NE(escolha.api, nullptr);
        EXPECT_NE(escolha.api->attach_database, nullptr);
        EXPECT_TRUE(escolha.api->path.startsWith(pasta)) << escolha.api->path.toStdString();
        // Asked again, the same choice and the same line.
        EXPECT_EQ(&fbclient::carregar(pasta + nome), &escolha);
    }
}

TEST(FbClient, AMissingLibraryIsAnOrdinaryFailureThatNamesIt)
{
    const QString ausente = QStringLiteral("/nenhum/lugar/") + fbclient::libraryFileName();
    try {
        fbclient::load({ausente, QStringLiteral("libnaoexiste-fbclient.so.9")});
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_TRUE(e.Message().contains(fbclient::libraryFileName())) << e.what();
        EXPECT_TRUE(e.Message().contains(ausente)) << e.what();
        EXPECT_TRUE(e.Message().contains(QStringLiteral("libnaoexiste-fbclient.so.9"))) << e.what();
    }
}

// A library that is there but is not Firebird's client.
TEST(FbClient, ALibraryWithoutTheClientsFunctionsIsRefused)
{
#ifdef _WIN32
    const QString outra = QStringLiteral("kernel32.dll");
#else
    const QString outra = QStringLiteral("libm.so.6");
#endif
    try {
        fbclient::load({outra});
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("isc_attach_database"))) << e.what();
    }
}

#ifdef _WIN32
// What CriarConexaoBanco asks for first: the library in the executable's folder.
TEST(FbClient, OnWindowsTheLibraryBesideTheExecutableComesFirst)
{
    const QString aoLado = exepath::executableFolder() + fbclient::libraryFileName();
    const fbclient::Api& api = fbclient::load({aoLado, fbclient::libraryFileName()});
    EXPECT_EQ(api.path, aoLado);
}
#endif

namespace {
// Whether the process has the library at path loaded.
bool carregada(const QString& path)
{
#ifdef _WIN32
    return GetModuleHandleW(reinterpret_cast<const wchar_t*>(path.utf16())) != nullptr;
#else
    void* h = dlopen(path.toLocal8Bit().constData(), RTLD_NOW | RTLD_NOLOAD);
    if (h)
        dlclose(h);
    return h != nullptr;
#endif
}
}

// When the last user of the client library goes (a session's thread, its last
// job), the library stops its own threads and is unloaded, so that none of them
// holds it when the process ends; a later user loads it again. A user that never
// loaded it changes nothing.
TEST(FbClient, TheLastUserStopsTheClientAndUnloadsIt)
{
    const QString biblioteca = QStringLiteral(FTPC_FBCLIENT_PACOTE);
    {
        fbclient::Uso ninguem;
    }
    {
        fbclient::Uso uso;
        const fbclient::Api& api = fbclient::load({biblioteca});
        ASSERT_NE(api.shutdown, nullptr) << "a Firebird 3 client has fb_shutdown";
        EXPECT_TRUE(carregada(biblioteca));
        {
            fbclient::Uso outro;
        }
        EXPECT_TRUE(carregada(biblioteca)) << "another user is still there";
    }
    EXPECT_FALSE(carregada(biblioteca));
    fbclient::Uso depois;
    EXPECT_NE(fbclient::load({biblioteca}).attach_database, nullptr);
    EXPECT_TRUE(carregada(biblioteca));
}

// On Windows the library is looked for beside the executable (there the tests'
// stand-in fbclient.dll lies), then on the system; on Linux it is the system's.
TEST(FbClient, PrefersTheCandidateThatLoads)
{
    const fbclient::Api& api = fbclient::load({QStringLiteral("/nenhum/lugar/x.so"), fbclient::libraryFileName()});
    EXPECT_EQ(api.path, fbclient::libraryFileName());
    EXPECT_NE(api.attach_database, nullptr);
}

}

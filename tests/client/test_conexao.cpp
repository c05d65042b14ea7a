// The connection's settings and the database string, without a server.
#include "Exception.h"
#include "ExePath.h"
#include "FbClient.h"
#include "PastaCliente.h"
#include "SimpleDataSet.h"
#include "SqlConnection.h"
#include "TestSupport.h"
#include "uTQuintaraConexoes.h"

#include <gtest/gtest.h>

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

// On Windows the library is looked for beside the executable (there the tests'
// stand-in fbclient.dll lies), then on the system; on Linux it is the system's.
TEST(FbClient, PrefersTheCandidateThatLoads)
{
    const fbclient::Api& api = fbclient::load({QStringLiteral("/nenhum/lugar/x.so"), fbclient::libraryFileName()});
    EXPECT_EQ(api.path, fbclient::libraryFileName());
    EXPECT_NE(api.attach_database, nullptr);
}

}

// The SQL layer against a real server: what a query gives back, and how it fails.
#include "AmbienteFirebird.h"
#include "Exception.h"
#include "SimpleDataSet.h"
#include "SqlConnection.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

const char* const scriptCamada = R"(
create table valores (
  id integer not null primary key,
  fixo char(10),
  texto varchar(20),
  curto smallint,
  inteiro integer,
  grande bigint,
  dinheiro numeric(9,2),
  dia date
);
insert into valores values (1, 'ab', 'Olá’€ç', -7, 123456, 5000000000, 12.34, '2017-05-06');
insert into valores (id) values (2);
)";

class CamadaSQL : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        banco() = AmbienteFirebird::servidor().folder() + QStringLiteral("/camada/CAMADA.FDB");
        AmbienteFirebird::servidor().createDatabase(banco(), QString::fromUtf8(scriptCamada), QStringLiteral("QNCKORV8"),
                                                    QStringLiteral("vokt"));
    }
    static QString& banco()
    {
        static QString caminho;
        return caminho;
    }

    static std::unique_ptr<TSQLConnection> conexao(const QString& database, const QString& senha = QStringLiteral("vokt"))
    {
        auto c = std::make_unique<TSQLConnection>();
        c->SetDriverName(QStringLiteral("Firebird"));
        c->Params().SetValue(QStringLiteral("ServerCharset"), QStringLiteral("WIN1252"));
        c->Params().SetValue(QStringLiteral("User_Name"), QStringLiteral("QNCKORV8"));
        c->Params().SetValue(QStringLiteral("Password"), senha);
        c->Params().SetValue(QStringLiteral("Database"), database);
        return c;
    }
    static QString database() { return AmbienteFirebird::servidor().connectionString(banco()); }
};

struct CasoValor {
    const char* descricao;
    const char* sql;
    const char* coluna;
    const char16_t* comoTexto;
    std::optional<int> comoInteiro;
};

class ValorLido : public CamadaSQL, public ::testing::WithParamInterface<CasoValor> {};

TEST_P(ValorLido, ComesBackAsTheServerHasIt)
{
    const CasoValor& caso = GetParam();
    auto c = conexao(database());
    TSimpleDataSet dados;
    dados.SetConnection(c.get());
    dados.SetCommandText(QString::fromUtf8(caso.sql));
    dados.Open();
    const TField& campo = dados.FieldByName(QString::fromUtf8(caso.coluna));
    EXPECT_EQ(campo.AsString(), QString::fromUtf16(caso.comoTexto));
    if (caso.comoInteiro) {
        EXPECT_EQ(campo.AsInteger(), *caso.comoInteiro);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Casos, ValorLido,
    ::testing::Values(
        // CHAR(n) keeps its blanks: n characters.
        CasoValor{"char_padded", "select fixo from valores where id = 1", "FIXO", u"ab        ", std::nullopt},
        CasoValor{"alias_any_case", "select fixo as cidade from valores where id = 1", "cidade", u"ab        ", std::nullopt},
        CasoValor{"win1252_text", "select texto from valores where id = 1", "texto", u"Olá\u2019\u20ACç", std::nullopt},
        CasoValor{"smallint", "select curto as tipo from valores where id = 1", "Tipo", u"-7", -7},
        CasoValor{"integer", "select inteiro from valores where id = 1", "INTEIRO", u"123456", 123456},
        CasoValor{"bigint", "select grande from valores where id = 1", "grande", u"5000000000", std::nullopt},
        CasoValor{"numeric", "select dinheiro from valores where id = 1", "dinheiro", u"12.34", 12},
        CasoValor{"date_as_text", "select dia from valores where id = 1", "dia", u"2017-05-06", std::nullopt},
        CasoValor{"case_constant", "select cast(21 as integer) as tipo from valores where id = 1", "tipo", u"21", 21},
        CasoValor{"null_text", "select texto from valores where id = 2", "texto", u"", 0},
        CasoValor{"null_char", "select fixo from valores where id = 2", "fixo", u"", 0},
        CasoValor{"null_integer", "select inteiro from valores where id = 2", "inteiro", u"", 0},
        CasoValor{"no_row", "select texto, inteiro from valores where id = 99", "inteiro", u"", 0},
        CasoValor{"first_row_only", "select id from valores order by id desc", "id", u"2", 2}),
    [](const auto& info) { return std::string(info.param.descricao); });

TEST_F(CamadaSQL, AResultWithoutRowsOpensEmpty)
{
    auto c = conexao(database());
    TSimpleDataSet dados;
    dados.SetConnection(c.get());
    dados.SetCommandText(QStringLiteral("select texto from valores where id = 99"));
    dados.Open();
    EXPECT_TRUE(dados.Active());
    EXPECT_TRUE(dados.IsEmpty());
    EXPECT_TRUE(dados.FieldByName(QStringLiteral("texto")).IsNull());
    dados.Close();
    EXPECT_FALSE(dados.Active());
}

TEST_F(CamadaSQL, TrimCharTrimsFixedLengthText)
{
    auto c = conexao(database());
    c->Params().SetValue(QStringLiteral("TrimChar"), QStringLiteral("True"));
    TSimpleDataSet dados;
    dados.SetConnection(c.get());
    dados.SetCommandText(QStringLiteral("select fixo from valores where id = 1"));
    dados.Open();
    EXPECT_EQ(dados.FieldByName(QStringLiteral("fixo")).AsString(), QStringLiteral("ab"));
}

TEST_F(CamadaSQL, OpensTheConnectionOnDemandAndKeepsItUntilClosed)
{
    auto c = conexao(database());
    EXPECT_FALSE(c->Connected());
    TSimpleDataSet dados;
    dados.SetConnection(c.get());
    dados.SetCommandText(QStringLiteral("select id from valores"));
    dados.Open();
    EXPECT_TRUE(c->Connected());
    c->Close();
    EXPECT_FALSE(c->Connected());
    // The row was read before the detach.
    EXPECT_EQ(dados.FieldByName(QStringLiteral("id")).AsInteger(), 1);
}

TEST_F(CamadaSQL, AMissingColumnIsNamed)
{
    auto c = conexao(database());
    TSimpleDataSet dados;
    dados.SetConnection(c.get());
    dados.SetCommandText(QStringLiteral("select id as codigo from valores"));
    dados.Open();
    try {
        dados.FieldByName(QStringLiteral("cidade"));
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Field 'cidade' not found"));
    }
}

struct CasoFalha {
    const char* descricao;
    enum { SenhaErrada, TabelaAusente, ArquivoAusente, PortaFechada, NaoInteiro } tipo;
    const char* trecho; // part of the message
};

class FalhaDoBanco : public CamadaSQL, public ::testing::WithParamInterface<CasoFalha> {};

TEST_P(FalhaDoBanco, CarriesTheClientsMessage)
{
    const CasoFalha& caso = GetParam();
    QString db = database();
    QString senha = QStringLiteral("vokt");
    QString sql = QStringLiteral("select id from valores");
    switch (caso.tipo) {
    case CasoFalha::SenhaErrada:
        senha = QStringLiteral("errada");
        break;
    case CasoFalha::TabelaAusente:
        sql = QStringLiteral("select municipio from cliente");
        break;
    case CasoFalha::ArquivoAusente:
        db = AmbienteFirebird::servidor().connectionString(QStringLiteral("/nao/existe/BANCO.FDB"));
        break;
    case CasoFalha::PortaFechada:
        db = QStringLiteral("127.0.0.1/%1:/x/BANCO.FDB").arg(testsupport::closedPort());
        break;
    case CasoFalha::NaoInteiro:
        sql = QStringLiteral("select texto from valores where id = 1");
        break;
    }
    auto c = conexao(db, senha);
    TSimpleDataSet dados;
    dados.SetConnection(c.get());
    dados.SetCommandText(sql);
    try {
        dados.Open();
        dados.FieldByName(QStringLiteral("texto")).AsInteger();
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_TRUE(e.Message().contains(QString::fromUtf8(caso.trecho))) << e.what();
        EXPECT_FALSE(e.Message().contains(QLatin1Char('\n'))) << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Casos, FalhaDoBanco,
    ::testing::Values(
        CasoFalha{"wrong_password", CasoFalha::SenhaErrada, "user name and password are not defined"},
        CasoFalha{"missing_table", CasoFalha::TabelaAusente, "Table unknown; CLIENTE"},
        CasoFalha{"missing_file", CasoFalha::ArquivoAusente, "/nao/existe/BANCO.FDB"},
        CasoFalha{"server_not_running", CasoFalha::PortaFechada, "Unable to complete network request to host \"127.0.0.1\""},
        CasoFalha{"not_an_integer", CasoFalha::NaoInteiro, "is not a valid integer value"}),
    [](const auto& info) { return std::string(info.param.descricao); });

}

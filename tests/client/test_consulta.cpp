#include "ConsultaCliente.h"
#include "uTFtpQuintaraUtil.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

#include <limits>

namespace {

struct CasoConsulta {
    TQuintaraSistema sistema;
    const char* sql;
};

class MontarSQLClienteTest : public ::testing::TestWithParam<CasoConsulta> {};

TEST_P(MontarSQLClienteTest, GivesTheSystemsStatement)
{
    EXPECT_EQ(MontarSQLCliente(GetParam().sistema), QString::fromUtf8(GetParam().sql));
}

// Written out whole, as the installed systems send them.
INSTANTIATE_TEST_SUITE_P(
    Sistemas, MontarSQLClienteTest,
    ::testing::Values(
        CasoConsulta{qncNenhum, ""},
        CasoConsulta{qncKORV, "select c.cid as cidade, c.est as uf, case e.TIPO   when 1 then 1  when 2 then 2  when 3 then 1  when 4 then 17  when 5 then 18  when 6 then 7  when 7 then 13  when 8 then 3  when 9 then 19  when 11 then 20  else 0 end as tipo from cadcli c left join TABEMPRESA e on e.EMPRESA = c.EMPRESA"},
        CasoConsulta{qncTEL, "select first 1 e.cidade, e.uf, case e.tipo   when 1 then 1  when 2 then 2  when 3 then 3  when 4 then 4  when 5 then 5  when 6 then 6  when 7 then 7  when 8 then 8  when 9 then 9  when 10 then 10  when 11 then 11  when 14 then 12  when 19 then 13  when 23 then 14  when 24 then 15  when 25 then 16  else 0 end as tipo from chave c left join empresa e on e.identificador = c.cnpj order by e.codigo"},
        CasoConsulta{qncMUR, "select e.CIDADE_EMP as cidade, e.UF_EMP as uf, case when e.TPAGUA_EMP = '3' then 4 else 1 end as tipo from GR_CAD_EMPRESA e"},
        CasoConsulta{qncVAD, "select municipio as cidade, estado as uf, cast(5 as integer) as tipo from dadosmunicipios"},
        CasoConsulta{qncLOB, "select municipio as cidade, estado as uf, cast(21 as integer) as tipo from cadcli"},
        CasoConsulta{qncNIX, ""}, CasoConsulta{qncDOR, ""}, CasoConsulta{qncFEL, ""}, CasoConsulta{qncGAW, ""},
        CasoConsulta{qncHUSK, ""}, CasoConsulta{qncJEB, ""}, CasoConsulta{qncPYR, ""}, CasoConsulta{qncQAM, ""},
        CasoConsulta{qncRUV, "select municipio as cidade, estado as uf, cast(6 as integer) as tipo from cliente"},
        CasoConsulta{qncWEK, ""}, CasoConsulta{qncZET, ""}, CasoConsulta{qncMurWeb_DunWeb, ""}, CasoConsulta{qncYOL, ""},
        CasoConsulta{qncZIB, ""}, CasoConsulta{static_cast<TQuintaraSistema>(20), ""},
        CasoConsulta{static_cast<TQuintaraSistema>(-1), ""}));

TEST(TiposEntidade, HoldsTheTwentyTwoNames)
{
    const QStringList esperados{"OUTROS", "PM", "CM", "RPPS", "SAAE", "SAUDE", "EDUCACAO", "FUNDACAO",
                                "HOSPITAL", "ESCRITORIO", "CONSELHO", "FARMACIA", "CCOMUNITARIO", "EMPUB",
                                "SANEAMENTO", "PRIVADO", "ESTADUAL", "FUNDO", "AUTARQUIA", "SECMISTA",
                                "CONSORCIO", "LOB"};
    ASSERT_EQ(TiposEntidade.size(), std::size_t(22));
    for (int i = 0; i < 22; ++i) {
        EXPECT_EQ(TiposEntidade[static_cast<std::size_t>(i)].toString(), esperados[i]);
        EXPECT_EQ(NomeTipoEntidade(i), esperados[i]);
    }
}

TEST(NomeTipoEntidade, NamesAValueOutsideTheTableOutros)
{
    for (int tipo : {-1, 22, 25, 1000, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()})
        EXPECT_EQ(NomeTipoEntidade(tipo), QStringLiteral("OUTROS")) << tipo;
}

// Every constant a statement can yield indexes the table.
TEST(MontarSQLCliente, YieldsOnlyIndicesOfTheTable)
{
    const QRegularExpression numero(QStringLiteral("(?:then|else|cast\\()\\s*(\\d+)"));
    for (int s = 0; s < kQuintaraSistemaCount; ++s) {
        const QString sql = MontarSQLCliente(static_cast<TQuintaraSistema>(s));
        for (const auto& m : numero.globalMatch(sql)) {
            const int tipo = m.captured(1).toInt();
            EXPECT_TRUE(tipo >= 0 && tipo <= 21) << s << ": " << tipo;
        }
    }
}

}

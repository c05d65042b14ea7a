#include "VersionTestSupport.h"

namespace {
QString q(const char* s) { return QString::fromUtf8(s); }
}

TEST_F(VersaoTest, OperatingSystemTable)
{
    struct Row {
        OsVersionRecord consulta;
        TVersaoSO tipo;
        const char* descricao;
    };
    const Row rows[] = {
        {{0, 3, 10, 0}, vsoWin95, "Windows 95 versão 3.10.0"},
        {{1, 4, 10, 2222}, vsoWin98, "Windows 98/95 Osr2 versão 4.10.2222"},
        {{2, 6, 0, 6002}, vsoWinVista, "Windows Vista versão 6.0.6002"},
        {{2, 6, 1, 7601}, vsoWin7, "Windows 7 versão 6.1.7601"},
        {{2, 6, 2, 9200}, vsoWin8, "Windows 8 versão 6.2.9200"},
        {{2, 6, 3, 9600}, vsoWinVista, "Windows Vista versão 6.3.9600"},
        {{2, 6, 4, 1}, vsoWinVista, "Windows Vista versão 6.4.1"},
        {{2, 10, 0, 19045}, vsoWinXP, "Windows XP versão 10.0.19045"},
        {{2, 5, 1, 2600}, vsoWinXP, "Windows XP versão 5.1.2600"},
        {{2, 5, 2, 3790}, vsoWinXP, "Windows XP versão 5.2.3790"},
        {{3, 6, 0, 0}, vsoWinCE, "Windows CE versão 6.0.0"},
        {{4, 1, 2, 3}, vsoNenhum, "N/C versão 1.2.3"},
        {{kPlataformaNaoWindows, 4294967295u, 0, 7}, vsoNenhum, "N/C versão 4294967295.0.7"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.descricao);
        TVersao::ResetForTests();
        TVersao::SetConsultaSO([&r] { return r.consulta; });
        EXPECT_EQ(TVersao::VersaoSO(), r.tipo);
        EXPECT_EQ(TVersao::VersaoSODescricao(), q(r.descricao));
    }
}

TEST_F(VersaoTest, AnUnknownPlatformIsAskedAgainAKnownOneIsKept)
{
    int perguntas = 0;
    OsVersionRecord resposta{7, 1, 0, 0};
    TVersao::SetConsultaSO([&] {
        ++perguntas;
        return resposta;
    });

    EXPECT_EQ(TVersao::VersaoSO(), vsoNenhum);
    EXPECT_EQ(perguntas, 1);
    EXPECT_TRUE(TVersao::VersaoSODescricao().startsWith(q("N/C")));
    EXPECT_EQ(perguntas, 2);

    resposta = {2, 6, 1, 7601};
    EXPECT_EQ(TVersao::VersaoSODescricao(), q("Windows 7 versão 6.1.7601"));
    EXPECT_EQ(perguntas, 3);
    resposta = {2, 6, 2, 9200};
    EXPECT_EQ(TVersao::VersaoSO(), vsoWin7);
    EXPECT_EQ(TVersao::VersaoSODescricao(), q("Windows 7 versão 6.1.7601"));
    EXPECT_EQ(perguntas, 3);
}

#ifndef _WIN32
TEST_F(VersaoTest, OffWindowsTheKernelIsDescribed)
{
    const OsVersionRecord r = TVersao::ConsultaSOPadrao();
    EXPECT_EQ(r.platformId, kPlataformaNaoWindows);
    EXPECT_GE(r.major, 2u); // every Linux kernel that runs Qt 6
    EXPECT_EQ(TVersao::VersaoSO(), vsoNenhum);
    EXPECT_EQ(TVersao::VersaoSODescricao(),
              QStringLiteral("N/C vers\u00e3o %1.%2.%3").arg(r.major).arg(r.minor).arg(r.build));
}
#endif

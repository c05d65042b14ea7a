// The client folder's path from the client's values, and the pieces the folder walk
// cuts it into: neither may lead out of the client tree.
#include "Exception.h"
#include "PastaCliente.h"

#include <gtest/gtest.h>

namespace {

struct CasoCaminho {
    const char16_t* cidade;
    const char16_t* uf;
    const char16_t* pasta; // nullptr: refused
};

class CaminhoDaPasta : public ::testing::TestWithParam<CasoCaminho> {};

TEST_P(CaminhoDaPasta, StaysInsideTheClientTree)
{
    const CasoCaminho& c = GetParam();
    const auto caminho = [&] {
        return clientFolderPath(QString::fromUtf16(c.cidade), QString::fromUtf16(c.uf), QStringLiteral("PM"), QStringLiteral("KORV"));
    };
    if (!c.pasta) {
        try {
            const QString aceito = caminho();
            ADD_FAILURE() << "accepted as " << aceito.toStdString();
        } catch (const Exception& e) {
            EXPECT_TRUE(e.Message().startsWith(QStringLiteral("Pasta do cliente recusada: "))) << e.what();
        }
        return;
    }
    EXPECT_EQ(caminho(), QString::fromUtf16(c.pasta));
}

INSTANTIATE_TEST_SUITE_P(
    Casos, CaminhoDaPasta,
    ::testing::Values(
        CasoCaminho{u"São José do Rio Preto", u"SP", u"/gCALDORIA/Cidades/SAO_JOSE_DO_RIO_PRETO-SP/PM/KORV"},
        // Kept as the folders on the server have them.
        CasoCaminho{u"Bom Jesus/PI", u"PI", u"/gCALDORIA/Cidades/BOM_JESUS/PI-PI/PM/KORV"},
        CasoCaminho{u"ñ", u"SP", u"/gCALDORIA/Cidades/-SP/PM/KORV"},
        CasoCaminho{u"   ", u"SP", u"/gCALDORIA/Cidades/___-SP/PM/KORV"},
        CasoCaminho{u"..", u"SP", u"/gCALDORIA/Cidades/..-SP/PM/KORV"},
        CasoCaminho{u"Campinas", u"S P", u"/gCALDORIA/Cidades/CAMPINAS-S P/PM/KORV"},
        // Climbing out, or hiding a level.
        CasoCaminho{u"../../../x", u"SP", nullptr},
        CasoCaminho{u"./x", u"SP", nullptr},
        CasoCaminho{u"a/../b", u"SP", nullptr},
        CasoCaminho{u"../", u"SP", nullptr},
        CasoCaminho{u"/x", u"SP", nullptr},
        CasoCaminho{u"a//b", u"SP", nullptr},
        CasoCaminho{u"Campinas", u"S ..", nullptr},
        CasoCaminho{u"Campinas", u"SP/..", nullptr},
        CasoCaminho{u"Campinas", u"SP/", nullptr},
        CasoCaminho{u"Campinas", u"S/\t/P", nullptr},
        // Blanks (a tab too) and "/" inside the UF split its level, as the walk splits
        // any level: the client keeps its own folder.
        CasoCaminho{u"Campinas", u"S\tP", u"/gCALDORIA/Cidades/CAMPINAS-S\tP/PM/KORV"},
        CasoCaminho{u"Campinas", u"SP/PM", u"/gCALDORIA/Cidades/CAMPINAS-SP/PM/PM/KORV"},
        // What the normaliser drops from a city (tabs, backslashes, control
        // characters) is gone before the check: the folder is the normalised one.
        CasoCaminho{u"Ilha\tComprida", u"SP", u"/gCALDORIA/Cidades/ILHACOMPRIDA-SP/PM/KORV"},
        CasoCaminho{u"Campinas\u0085", u"SP", u"/gCALDORIA/Cidades/CAMPINAS-SP/PM/KORV"},
        CasoCaminho{u"Cam\x1b[2Jpinas", u"SP", u"/gCALDORIA/Cidades/CAM[2JPINAS-SP/PM/KORV"},
        CasoCaminho{u"a\\..\\b", u"SP", u"/gCALDORIA/Cidades/A..B-SP/PM/KORV"},
        // A backslash that survives would be a separator on some servers.
        CasoCaminho{u"..\\/x", u"SP", nullptr},
        // The UF is sent as it is: what the walk cannot split is refused.
        CasoCaminho{u"Campinas", u"S\\P", nullptr},
        CasoCaminho{u"Campinas", u"S\u0085P", nullptr},
        CasoCaminho{u"Campinas", u"S\u007fP", nullptr}));

TEST(CaminhoDaPasta, SaysWhyItRefuses)
{
    const auto motivo = [](const QString& cidade, const QString& uf) {
        try {
            clientFolderPath(cidade, uf, QStringLiteral("PM"), QStringLiteral("KORV"));
        } catch (const Exception& e) {
            return e.Message();
        }
        return QString();
    };
    EXPECT_EQ(motivo(QStringLiteral("../../../x"), QStringLiteral("SP")),
              QStringLiteral("Pasta do cliente recusada: a cidade \"../../../x\" e a UF \"SP\" levariam a uma pasta vazia, \".\" ou \"..\""));
    EXPECT_EQ(motivo(QStringView(u"Cam\0pinas", 9).toString(), QStringLiteral("SP")),
              QStringLiteral("Pasta do cliente recusada: a cidade \"Cam\\x00pinas\" contém \"\\\" ou caracteres de controle"));
    EXPECT_EQ(motivo(QStringLiteral("Campinas"), QStringLiteral("SP/..")),
              QStringLiteral("Pasta do cliente recusada: a cidade \"Campinas\" e a UF \"SP/..\" levariam a uma pasta vazia, \".\" ou \"..\""));
    EXPECT_EQ(motivo(QStringLiteral("Campinas"), QStringView(u"S\0P", 3).toString()),
              QStringLiteral("Pasta do cliente recusada: a UF \"S\\x00P\" contém \"\\\" ou caracteres de controle"));
}

struct CasoPedacos {
    const char16_t* caminho;
    QStringList pedacos; // empty: refused
};

class PedacosDaPasta : public ::testing::TestWithParam<CasoPedacos> {};

TEST_P(PedacosDaPasta, CutsTheWayAndNeverClimbs)
{
    const CasoPedacos& c = GetParam();
    const QString caminho = QString::fromUtf16(c.caminho);
    if (c.pedacos.isEmpty()) {
        EXPECT_THROW(clientFolderPieces(caminho), Exception);
        return;
    }
    EXPECT_EQ(clientFolderPieces(caminho), c.pedacos);
}

INSTANTIATE_TEST_SUITE_P(
    Casos, PedacosDaPasta,
    ::testing::Values(
        CasoPedacos{u"/gCALDORIA/Cidades/SAO_JOSE_DO_RIO_PRETO-SP/PM/KORV",
                    {"gCALDORIA", "Cidades", "SAO_JOSE_DO_RIO_PRETO-SP", "PM", "KORV"}},
        CasoPedacos{u"/gCALDORIA/Cidades/_corrompida", {"gCALDORIA", "Cidades", "_corrompida"}},
        CasoPedacos{u"/gCALDORIA/Cidades/BOM_JESUS/PI-PI/PM/KORV", {"gCALDORIA", "Cidades", "BOM_JESUS", "PI-PI", "PM", "KORV"}},
        // Blanks separate as "/" does; runs of separators make no empty folder.
        CasoPedacos{u"/a b\tc//d/", {"a", "b", "c", "d"}},
        CasoPedacos{u"/x/..-SP/..a/.b", {"x", "..-SP", "..a", ".b"}},
        CasoPedacos{u"/gCALDORIA/Cidades/../../../X-SP/PM/KORV", {}},
        CasoPedacos{u"/gCALDORIA/./Cidades", {}},
        CasoPedacos{u"/gCALDORIA/Cidades/X-S ../PM", {}},
        CasoPedacos{u"..", {}}));

}

#include "uTFtpQuintaraUtil.h"

#include <gtest/gtest.h>

namespace {

struct CasoCidade {
    const char16_t* entrada;
    const char16_t* esperado;
};

class FormataNomeCidade : public ::testing::TestWithParam<CasoCidade> {};

TEST_P(FormataNomeCidade, NormalisesTheName)
{
    const CasoCidade& caso = GetParam();
    EXPECT_EQ(TFtpQuintaraUtil::FormataNomeCidade(QString::fromUtf16(caso.entrada)), QString::fromUtf16(caso.esperado));
}

INSTANTIATE_TEST_SUITE_P(
    Casos, FormataNomeCidade,
    ::testing::Values(
        CasoCidade{u"São Paulo", u"SAO_PAULO"},
        CasoCidade{u"São José do Rio Preto", u"SAO_JOSE_DO_RIO_PRETO"},
        CasoCidade{u"Santa Bárbara d'Oeste", u"SANTA_BARBARA_DOESTE"},
        CasoCidade{u"Pau-d'Arco", u"PAU-DARCO"},
        CasoCidade{u"Embu-Guaçu", u"EMBU-GUACU"},
        CasoCidade{u"Olho d\u00B4Água", u"OLHO_D\u00B4AGUA"},
        CasoCidade{u"Santa Rita d\u2019Oeste", u"SANTA_RITA_DOESTE"},
        CasoCidade{u"Mogi Mirim (SP)", u"MOGI_MIRIM_(SP)"},
        CasoCidade{u"Cañitas", u"CAITAS"},
        CasoCidade{u" Bauru ", u"_BAURU_"},
        CasoCidade{u"", u""},
        CasoCidade{u"   ", u"___"},
        CasoCidade{u"Ilha\tComprida", u"ILHACOMPRIDA"},
        CasoCidade{u"Bom Jesus/PI", u"BOM_JESUS/PI"},
        CasoCidade{u"MOJI-GUAÇU", u"MOJI-GUACU"},
        CasoCidade{u"ñ", u""},
        // Every pair of the accent table, lower and upper case.
        CasoCidade{u"ãõáéíóúàèìòùäëïöüâêîôûç", u"AOAEIOUAEIOUAEIOUAEIOUC"},
        CasoCidade{u"ÃÕÁÉÍÓÚÀÈÌÒÙÄËÏÖÜÂÊÎÔÛÇ", u"AOAEIOUAEIOUAEIOUAEIOUC"},
        // Quotes go before the filter sees them; the other kept marks stay.
        CasoCidade{u"\"Aspas\" e 'apóstrofos'", u"ASPAS_E_APOSTROFOS"},
        CasoCidade{u"a,b-c.d/e:f[g]h_i{j|k}l*m(n)", u"A,B-C.D/E:F[G]H_I{J|K}L*M(N)"},
        CasoCidade{u"0123456789", u"0123456789"},
        // Outside the set: dropped, not replaced.
        CasoCidade{u"a+b;c=d?e!f#g$h%i&j<k>l@m\\n^o`p~q", u"ABCDEFGHIJKLMNOPQ"},
        CasoCidade{u"x\u00A0y\u00E5z\u00FD\u20AC", u"XYZ"},
        // No trimming, no collapsing, no maximum length.
        CasoCidade{u"A  B", u"A__B"},
        CasoCidade{u"São Paulo                               ", u"SAO_PAULO_______________________________"}));

TEST(FormataNomeCidadeNul, KeepsANulCharacter)
{
    const QString entrada = QStringLiteral("a") + QChar(u'\0') + QStringLiteral("b");
    const QString esperado = QStringLiteral("A") + QChar(u'\0') + QStringLiteral("B");
    EXPECT_EQ(TFtpQuintaraUtil::FormataNomeCidade(entrada), esperado);
}

TEST(LetrasAcentuadas, PairEveryAccentedLetterWithItsPlainForm)
{
    ASSERT_EQ(TFtpQuintaraUtil::LetrasAcentuadas.size(), 46);
    ASSERT_EQ(TFtpQuintaraUtil::LetrasSemAcento.size(), 46);
    for (qsizetype i = 0; i < 46; ++i) {
        const QString letra(TFtpQuintaraUtil::LetrasAcentuadas.at(i));
        // The decomposed form starts with the plain letter.
        EXPECT_EQ(letra.normalized(QString::NormalizationForm_D).at(0), TFtpQuintaraUtil::LetrasSemAcento.at(i)) << i;
        EXPECT_EQ(TFtpQuintaraUtil::LetrasAcentuadas.indexOf(letra.at(0)), i) << "repeated letter at " << i;
    }
}

}

#include "DiscoveryTestSupport.h"
#include "IniFile.h"

#include "Cp1252.h"

#include <optional>

namespace {

QByteArray utf16le(const QString& text, bool bom = true)
{
    QByteArray out;
    if (bom)
        out.append("\xFF\xFE", 2);
    for (QChar c : text) {
        out.append(static_cast<char>(c.unicode() & 0xFF));
        out.append(static_cast<char>(c.unicode() >> 8));
    }
    return out;
}

QByteArray utf16be(const QString& text)
{
    QByteArray out("\xFE\xFF", 2);
    for (QChar c : text) {
        out.append(static_cast<char>(c.unicode() >> 8));
        out.append(static_cast<char>(c.unicode() & 0xFF));
    }
    return out;
}

QString q(const char* s) { return QString::fromUtf8(s); }

const QString kSaude = q("[KORV]\r\nCaminho_Base_Dados=C:\\Saúde\\\r\n");

}

TEST(DiscoveryIni, DecodeFollowsHowWindowsProgramsWriteTheFile)
{
    struct Row {
        const char* caso;
        QByteArray bytes;
        QString texto;
    };
    const Row rows[] = {
        {"UTF-16LE with BOM", utf16le(kSaude), kSaude},
        {"UTF-16BE with BOM", utf16be(kSaude), kSaude},
        {"UTF-16LE with an odd last byte", utf16le(q("ab")) + 'x', q("ab")},
        {"UTF-8 with BOM", QByteArray("\xEF\xBB\xBF") + kSaude.toUtf8(), kSaude},
        {"UTF-8 without BOM", kSaude.toUtf8(), kSaude},
        {"Windows-1252", cp1252::encode(kSaude), kSaude},
        {"Windows-1252 typographic quotes", QByteArray("\x93x\x94 \x80"), q("“x” €")},
        {"UTF-8 cut in the middle of a character", QByteArray("abc\xC3"), q("abcÃ")},
        {"plain ASCII", QByteArray("[A]\nk=v\n"), q("[A]\nk=v\n")},
        {"empty", QByteArray(), QString()},
        {"a BOM alone", QByteArray("\xFF\xFE"), QString()},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.caso);
        EXPECT_EQ(ini::decode(r.bytes), r.texto);
    }
}

TEST(DiscoveryIni, LookUpRules)
{
    const QString texto = q(
        "Antes=fora de secao\r\n"
        "; comentario=nao e chave\r\n"
        "[KORV]\r\n"
        "Servidor = SRV01 \r\n"
        "  Ano=2015\r\n"
        "Aspas=\"  C:\\Com Espaco\\  \"\r\n"
        "AspasDuplas=\"\"x\"\"\r\n"
        "AspaSo=\"x\r\n"
        "Igual=a=b=c\r\n"
        "Vazia=\r\n"
        "Tab=\tvalor\t\r\n"
        "linha sem igual\r\n"
        "=sem chave\r\n"
        "Servidor=segundo\r\n"
        ";Caminho=comentado\r\n"
        "[ Espacos ]\r\n"
        "k=1\r\n"
        "[korv]\r\n"
        "Novo=secao repetida\r\n"
        "[CR]\rk=cr\r[LF]\nk=lf\n"
        "[Fim]\n"
        "ultima=sem fim de linha");
    const ini::Sections secoes = ini::parse(texto);
    struct Row {
        const char* secao;
        const char* chave;
        std::optional<QString> valor;
    };
    const Row rows[] = {
        {"KORV", "Servidor", q("SRV01")},
        {"korv", "SERVIDOR", q("SRV01")},
        {"KORV", "ano", q("2015")},
        {"KORV", "Aspas", q("  C:\\Com Espaco\\  ")},
        {"KORV", "AspasDuplas", q("\"x\"")},
        {"KORV", "AspaSo", q("\"x")},
        {"KORV", "Igual", q("a=b=c")},
        {"KORV", "Vazia", QString()},
        {"KORV", "Tab", q("valor")},
        {"KORV", "Caminho", std::nullopt},
        {"KORV", "Novo", std::nullopt},
        {"KORV", "Antes", std::nullopt},
        {"KORV", "; comentario", std::nullopt},
        {"KORV", "linha sem igual", std::nullopt},
        {"Espacos", "k", q("1")},
        {"CR", "k", q("cr")},
        {"LF", "k", q("lf")},
        {"Fim", "ultima", q("sem fim de linha")},
        {"TEL", "Servidor", std::nullopt},
        {"", "Antes", std::nullopt},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.secao) + "/" + r.chave);
        const QString* found = ini::find(secoes, q(r.secao), q(r.chave));
        ASSERT_EQ(found != nullptr, r.valor.has_value());
        if (found) {
            EXPECT_EQ(*found, *r.valor);
        }
    }
}

TEST(DiscoveryIni, ValuesAreCutTo2047Characters)
{
    const QString longo(3000, QLatin1Char('x'));
    const ini::Sections secoes = ini::parse(q("[S]\nk=") + longo + q("\nq=\"") + longo + q("\""));
    ASSERT_NE(ini::find(secoes, q("S"), q("k")), nullptr);
    EXPECT_EQ(*ini::find(secoes, q("S"), q("k")), QString(2047, QLatin1Char('x')));
    EXPECT_EQ(*ini::find(secoes, q("S"), q("q")), QString(2047, QLatin1Char('x')));

    // A character outside the BMP is kept whole or not at all.
    const QString emoji = QString::fromUcs4(U"\U0001F600");
    const QString quase = QString(2046, QLatin1Char('y')) + emoji;
    const ini::Sections comPar = ini::parse(q("[S]\nk=") + quase);
    EXPECT_EQ(*ini::find(comPar, q("S"), q("k")), QString(2046, QLatin1Char('y')));
}

TEST(DiscoveryIni, ReadInteger)
{
    const IniFile ini(ini::parse(q("[S]\na=2015\nb= 2017 \nc=abc\nd=2015abc\ne=\nf=-1\ng=99999999999\nh=+12\n")));
    const std::pair<const char*, int> rows[] = {
        {"a", 2015}, {"b", 2017}, {"c", 7}, {"d", 7}, {"e", 7}, {"f", -1}, {"g", 7}, {"h", 12}, {"missing", 7},
    };
    for (const auto& [chave, esperado] : rows) {
        SCOPED_TRACE(chave);
        EXPECT_EQ(ini.ReadInteger(q("S"), q(chave), 7), esperado);
    }
    EXPECT_EQ(ini.ReadInteger(q("Outra"), q("a"), 7), 7);
}

TEST(DiscoveryIni, FilesInEveryEncodingReadBackTheSameText)
{
    discoverytest::Instalacao pasta;
    const std::pair<const char*, QByteArray> rows[] = {
        {"utf16le.ini", utf16le(kSaude)},
        {"utf8bom.ini", QByteArray("\xEF\xBB\xBF") + kSaude.toUtf8()},
        {"utf8.ini", kSaude.toUtf8()},
        {"ansi.ini", cp1252::encode(kSaude)},
    };
    for (const auto& [nome, bytes] : rows) {
        SCOPED_TRACE(nome);
        const IniFile ini(pasta.escrever(q(nome), bytes));
        EXPECT_EQ(ini.ReadString(q("KORV"), q("Caminho_Base_Dados"), q("default")), q("C:\\Saúde\\"));
    }
}

TEST(DiscoveryIni, MissingOrUnreadableFilesGiveTheDefault)
{
    discoverytest::Instalacao pasta;
    const QString rows[] = {pasta.pasta() + q("missing.ini"), pasta.criarPasta(q("folder.ini")), QString()};
    for (const QString& path : rows) {
        SCOPED_TRACE(path.toStdString());
        const IniFile ini(path);
        EXPECT_EQ(ini.ReadString(q("KORV"), q("Servidor"), q("localhost")), q("localhost"));
        EXPECT_EQ(ini.ReadInteger(q("KORV"), q("Ano"), 2017), 2017);
    }
}

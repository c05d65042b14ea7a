#include "DiscoveryTestSupport.h"
#include "uTQuintaraInterno.h"
#include "uValida_Chave.h"

#include <QFile>

#include <functional>

using discoverytest::Instalacao;

TEST(DiscoveryCatalogo, ShortNamesAndIniNamesInCatalogueOrder)
{
    struct Row {
        TQuintaraSistema sistema;
        int ordinal;
        const char* sigla;
        const char* ini;
    };
    const Row rows[] = {
        {qncNenhum, 0, "Nenhum", ""},
        {qncKORV, 1, "KORV", "korv"},
        {qncTEL, 2, "TEL", "telcon"},
        {qncMUR, 3, "MUR", "mur"},
        {qncVAD, 4, "VAD", "QUINTARA_VAD_SERVER"},
        {qncLOB, 5, "LOB", "QUINTARA_LOB_SERVER"},
        {qncNIX, 6, "NIX", "VAD"},
        {qncDOR, 7, "DOR", ""},
        {qncFEL, 8, "FEL", ""},
        {qncGAW, 9, "GAW", ""},
        {qncHUSK, 10, "HUSK", "husk"},
        {qncJEB, 11, "JEB", "JEBIN"},
        {qncPYR, 12, "PYR", "QUINTARA_PYR_SERVER"},
        {qncQAM, 13, "QAM", ""},
        {qncRUV, 14, "RUV", "QUINTARA_RUVD_SERVER"},
        {qncWEK, 15, "WEK", ""},
        {qncZET, 16, "ZET", ""},
        {qncMurWeb_DunWeb, 17, "MurWeb e DunWeb", ""},
        {qncYOL, 18, "YOL", "yol"},
        {qncZIB, 19, "QUIZIB", "quizib"},
    };
    ASSERT_EQ(std::size(rows), static_cast<std::size_t>(kQuintaraSistemaCount));
    for (const Row& r : rows) {
        SCOPED_TRACE(r.sigla);
        EXPECT_EQ(static_cast<int>(r.sistema), r.ordinal);
        EXPECT_EQ(SiglasSistema(r.sistema), QString::fromLatin1(r.sigla));
        EXPECT_EQ(CatalogoSistemas[static_cast<std::size_t>(r.ordinal)].ArquivoIni.toString(), QString::fromLatin1(r.ini));
    }
    EXPECT_EQ(SiglasSistema(static_cast<TQuintaraSistema>(20)), QString());
    EXPECT_EQ(SiglasSistema(static_cast<TQuintaraSistema>(-1)), QString());
}

TEST(DiscoveryCatalogo, EveryRecognisableSystemIsFoundByItsOwnIniFile)
{
    int recognised = 0;
    for (int row = 0; row < kQuintaraSistemaCount; ++row) {
        const TLinhaCatalogo& linha = CatalogoSistemas[static_cast<std::size_t>(row)];
        if (linha.ArquivoIni.isEmpty())
            continue;
        ++recognised;
        SCOPED_TRACE(linha.SiglasSistema.toString().toStdString());
        Instalacao inst;
        const QString ini = inst.escrever(linha.ArquivoIni.toString() + QStringLiteral(".ini"), "[x]\r\n");
        const TQuintaraInterno interno(inst.executavel());
        EXPECT_EQ(interno.Sistema(), static_cast<TQuintaraSistema>(row));
        EXPECT_EQ(interno.ArquivoIni(), ini);
    }
    EXPECT_EQ(recognised, 12);
}

TEST(DiscoveryCatalogo, FolderContentsDecideTheSystem)
{
    // Each row lays out a folder and names the system and INI file expected.
    struct Row {
        const char* caso;
        std::function<void(const Instalacao&)> preparar;
        TQuintaraSistema sistema;
        const char* arquivoIni; // name found in the folder; empty for none
    };
    const Row rows[] = {
        {"nothing catalogued", [](const Instalacao& i) { i.escrever("korv.txt", "x"); i.escrever("korv", "x"); i.escrever("dor.ini", "x"); },
         qncNenhum, ""},
        {"KORV comes before TEL", [](const Instalacao& i) { i.escrever("telcon.ini", "x"); i.escrever("korv.ini", "x"); },
         qncKORV, "korv.ini"},
        {"VAD comes before NIX", [](const Instalacao& i) { i.escrever("VAD.ini", "x"); i.escrever("QUINTARA_VAD_SERVER.ini", "x"); },
         qncVAD, "QUINTARA_VAD_SERVER.ini"},
        {"VAD.ini alone is NIX", [](const Instalacao& i) { i.escrever("VAD.ini", "x"); }, qncNIX, "VAD.ini"},
        {"a folder named like an INI file is skipped",
         [](const Instalacao& i) { i.criarPasta("korv.ini"); i.escrever("telcon.ini", "x"); }, qncTEL, "telcon.ini"},
        {"names are matched without regard to case", [](const Instalacao& i) { i.escrever("KORV.INI", "x"); }, qncKORV, "KORV.INI"},
        {"mixed case", [](const Instalacao& i) { i.escrever("Quintara_Lob_Server.Ini", "x"); }, qncLOB, "Quintara_Lob_Server.Ini"},
#ifndef _WIN32 // a folder on Windows holds one of the two spellings only
        {"the exact spelling wins over another case",
         [](const Instalacao& i) { i.escrever("KORV.INI", "x"); i.escrever("korv.ini", "x"); }, qncKORV, "korv.ini"},
#endif
        {"an empty file counts", [](const Instalacao& i) { i.escrever("yol.ini", ""); }, qncYOL, "yol.ini"},
#ifndef _WIN32
        {"a link to a file counts",
         [](const Instalacao& i) {
             const QString alvo = i.criarPasta("elsewhere") + QStringLiteral("settings.cfg");
             testsupport::writeFile(alvo, "x");
             QFile::link(alvo, i.pasta() + QStringLiteral("husk.ini"));
         },
         qncHUSK, "husk.ini"},
        {"a link to a folder does not",
         [](const Instalacao& i) {
             QFile::link(i.criarPasta("elsewhere"), i.pasta() + QStringLiteral("korv.ini"));
             i.escrever("quizib.ini", "x");
         },
         qncZIB, "quizib.ini"},
        {"a dangling link does not",
         [](const Instalacao& i) { QFile::link(i.pasta() + QStringLiteral("gone.cfg"), i.pasta() + QStringLiteral("korv.ini")); },
         qncNenhum, ""},
#endif
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.caso);
        Instalacao inst;
        r.preparar(inst);
        const TQuintaraInterno interno(inst.executavel());
        EXPECT_EQ(interno.Sistema(), r.sistema);
        const QString esperado = *r.arquivoIni ? inst.pasta() + QString::fromLatin1(r.arquivoIni) : QString();
        EXPECT_EQ(interno.ArquivoIni(), esperado);
    }
}

TEST(DiscoveryCatalogo, NothingFoundLeavesEveryValueEmpty)
{
    Instalacao inst;
    const TQuintaraInterno interno(inst.executavel());
    EXPECT_EQ(interno.Sistema(), qncNenhum);
    for (const QString& value : {interno.ArquivoIni(), interno.TabelaTabdef(), interno.CampoTabdef(), interno.InstaladorTabdef(),
                                 interno.ArquivoXml(), interno.ServidorExe(), interno.SiglaSite(), interno.PrefixoVersaoTabdef(),
                                 interno.ConexaoTABDEFOnLine(), interno.ConexaoTABDEFOffLine(), interno.NomeInstalador()})
        EXPECT_TRUE(value.isEmpty()) << value.toStdString();
}

TEST(DiscoveryCatalogo, AnExecutablePathWithoutFolderFindsNothing)
{
    EXPECT_EQ(TQuintaraInterno(QStringLiteral("FTPCaldoria.exe")).Sistema(), qncNenhum);
    EXPECT_EQ(TQuintaraInterno(QString()).Sistema(), qncNenhum);
}

TEST(DiscoveryCatalogo, FurtherColumnsOfTheIdentifiedRow)
{
    {
        Instalacao inst;
        inst.escrever("telcon.ini", "x");
        const TQuintaraInterno tel(inst.executavel());
        EXPECT_EQ(tel.Sistema(), qncTEL);
        EXPECT_EQ(tel.ArquivoIni(), inst.pasta() + QStringLiteral("telcon.ini"));
        EXPECT_EQ(tel.TabelaTabdef(), QStringLiteral("SCRIPTS"));
        EXPECT_EQ(tel.CampoTabdef(), QStringLiteral("CODIGO"));
        EXPECT_EQ(tel.InstaladorTabdef(), QStringLiteral("TELDEF7.exe"));
        EXPECT_EQ(tel.NomeInstalador(), QStringLiteral("TELDEF7"));
        EXPECT_EQ(tel.ArquivoXml(), QStringLiteral("TELDOW.xml"));
        EXPECT_TRUE(tel.ServidorExe().startsWith(QStringLiteral("\\\\")));
        EXPECT_EQ(tel.SiglaSite(), QStringLiteral("TEL"));
        EXPECT_EQ(tel.PrefixoVersaoTabdef(), QStringLiteral("7.0.3."));
        EXPECT_TRUE(tel.ConexaoTABDEFOnLine().endsWith(QStringLiteral("TELDEF.FDB")));
        EXPECT_TRUE(tel.ConexaoTABDEFOnLine().contains(QStringLiteral("/3050:")));
        EXPECT_EQ(tel.ConexaoTABDEFOffLine(), QStringLiteral("localhost/3055:C:\\Quintara\\TEL_7\\TEL_DADOS\\TELDEF.FDB"));
    }
    {
        Instalacao inst;
        inst.escrever("JEBIN.ini", "x");
        const TQuintaraInterno jeb(inst.executavel());
        EXPECT_EQ(jeb.Sistema(), qncJEB);
        EXPECT_EQ(jeb.SiglaSite(), QStringLiteral("JEB"));
        for (const QString& value : {jeb.TabelaTabdef(), jeb.CampoTabdef(), jeb.InstaladorTabdef(), jeb.ArquivoXml(), jeb.ServidorExe(),
                                     jeb.PrefixoVersaoTabdef(), jeb.ConexaoTABDEFOnLine(), jeb.ConexaoTABDEFOffLine(), jeb.NomeInstalador()})
            EXPECT_TRUE(value.isEmpty()) << value.toStdString();
    }
    {
        Instalacao inst;
        inst.escrever("QUINTARA_PYR_SERVER.ini", "x");
        const TQuintaraInterno pyr(inst.executavel());
        EXPECT_EQ(pyr.Sistema(), qncPYR);
        EXPECT_EQ(pyr.ArquivoXml(), QStringLiteral("PYRDOW.xml"));
        EXPECT_EQ(pyr.SiglaSite(), QStringLiteral("PYR"));
        EXPECT_TRUE(pyr.ServidorExe().startsWith(QStringLiteral("\\\\")));
        EXPECT_TRUE(pyr.InstaladorTabdef().isEmpty());
        EXPECT_TRUE(pyr.NomeInstalador().isEmpty());
    }
}

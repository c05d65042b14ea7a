#include "DiscoveryTestSupport.h"
#include "uTQuintaraConexoes.h"

#include <functional>
#include <memory>
#include <vector>

namespace {

struct Entrada {
    QString caminho;
    bool opcional;
    bool operator==(const Entrada&) const = default;
};

void PrintTo(const Entrada& e, std::ostream* os) { *os << e.caminho.toStdString() << (e.opcional ? " (optional)" : " (required)"); }

std::vector<Entrada> entradas(IQuintaraConexao& c)
{
    std::vector<Entrada> out;
    for (const auto& a : c.GetArquivosFDB()) {
        if (a)
            out.push_back({a->caminho, a->opcional});
        else
            out.push_back({QStringLiteral("<empty slot>"), false});
    }
    return out;
}

QString q(const char* s) { return QString::fromUtf8(s); }

}

TEST(DiscoveryConexao, FreshBaseConnection)
{
    TQuintaraConexao c;
    EXPECT_EQ(c.GetSistema(), qncNenhum);
    EXPECT_EQ(c.GetSiglaSistema(), q("Nenhum"));
    EXPECT_EQ(c.GetServidor(), q("localhost"));
    EXPECT_EQ(c.GetPorta(), QString());
    EXPECT_EQ(c.GetServidorPorta(), q("localhost"));
    EXPECT_EQ(c.GetCaminhoFDB(), QString());
    EXPECT_EQ(c.GetUsuario(), QString());
    EXPECT_EQ(c.GetSenha(), QString());
    EXPECT_TRUE(c.GetArquivosFDB().empty());
    EXPECT_EQ(c.GetBarra(), q("\\"));
}

TEST(DiscoveryConexao, SingleFileConstructorUsesTheAdministratorLogin)
{
    TQuintaraConexao c(q("/srv/db/BANCO.FDB"));
    EXPECT_EQ(c.GetUsuario(), q("SYSDBA"));
    EXPECT_EQ(c.GetSenha(), q("plunderow"));
    EXPECT_EQ(entradas(c), (std::vector<Entrada>{{q("/srv/db/BANCO.FDB"), false}}));
    EXPECT_EQ(c.GetCaminhoFDB(), QString());
    EXPECT_EQ(c.GetBarra(), q("\\"));
}

TEST(DiscoveryConexao, ServerIsStoredInLowerCaseOnReading)
{
    TQuintaraConexao c;
    c.SetServidor(q("SRV01"));
    EXPECT_EQ(c.GetServidor(), q("srv01"));
    c.SetPorta(q("3050"));
    EXPECT_EQ(c.GetServidorPorta(), q("srv01/3050"));

    // Only A to Z are lowered.
    c.SetServidor(q("SÃO-PAULO"));
    EXPECT_EQ(c.GetServidor(), q("sÃo-paulo"));
    c.SetServidor(QString());
    EXPECT_EQ(c.GetServidor(), q("localhost"));
}

TEST(DiscoveryConexao, SetCaminhoFDBSeparatorAndExtensionRules)
{
    struct Row {
        const char* entrada;
        const char* caminho;
        const char* barra;
    };
    const Row rows[] = {
        {"C:\\Base\\Dados", "C:\\Base\\Dados\\", "\\"},
        {"C:\\Base\\Dados\\", "C:\\Base\\Dados\\", "\\"},
        {"/opt/base", "/opt/base/", "/"},
        {"/opt/base/", "/opt/base/", "/"},
        {"C:\\Base/dir", "C:\\Base/dir/", "/"},
        {"C:\\Base\\BANCO.FDB", "C:\\Base\\BANCO.FDB", "\\"},
        {"/srv/db/BANCO.FDB", "/srv/db/BANCO.FDB", "/"},
        {"C:BANCO.FDB", "C:BANCO.FDB", "\\"},
        {"", "", "\\"},
        // A dot in a folder's name is no extension, whichever separator follows it.
        {"C:\\x.d\\base", "C:\\x.d\\base\\", "\\"},
        {"/srv/x.d/base", "/srv/x.d/base/", "/"},
        {"C:", "C:\\", "\\"},
        {"Dados", "Dados\\", "\\"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.entrada);
        TQuintaraConexao c;
        c.SetCaminhoFDB(q(r.entrada));
        EXPECT_EQ(c.GetCaminhoFDB(), q(r.caminho));
        EXPECT_EQ(c.GetBarra(), q(r.barra));
    }
}

TEST(DiscoveryConexao, SetCaminhoFDBOverwritesAChosenSeparator)
{
    TQuintaraConexao c;
    c.SetBarra(q("/"));
    EXPECT_EQ(c.GetBarra(), q("/"));
    c.SetCaminhoFDB(q("C:\\Base"));
    EXPECT_EQ(c.GetBarra(), q("\\"));
    EXPECT_EQ(c.GetCaminhoFDB(), q("C:\\Base\\"));
}

TEST(DiscoveryConexao, ShortNameIsReadOnceAndKept)
{
    TQuintaraConexao c;
    c.SetSistema(qncZIB);
    EXPECT_EQ(c.GetSiglaSistema(), q("QUIZIB"));
    c.SetSistema(qncTEL);
    EXPECT_EQ(c.GetSiglaSistema(), q("QUIZIB"));
}

TEST(DiscoveryConexao, ExtrairPastaPai)
{
    const std::pair<const char*, const char*> rows[] = {
        {"C:\\A\\B\\BANCO.FDB", "C:\\A\\B\\"},
        {"C:\\A\\B\\", "C:\\A\\"},
        {"C:\\A\\B\\\\", "C:\\A\\B\\"}, // only one trailing separator is skipped
        {"/srv/db/BANCO.FDB", "/srv/db/"},
        {"/srv/db/", "/srv/"},
        {"/BANCO.FDB", "/"},
        {"BANCO.FDB", "BANCO.FDB"},
        {"\\", "\\"},
        {"/", "/"},
        {"C:\\A/B\\X.FDB", "C:\\A/"}, // a '/' anywhere makes '/' the separator
        {"", ""},
    };
    for (const auto& [entrada, esperado] : rows) {
        SCOPED_TRACE(entrada);
        EXPECT_EQ(ExtrairPastaPai(q(entrada)), q(esperado));
    }
}

TEST(DiscoveryConexao, EveryClassListsItsFilesWithItsLogin)
{
    struct Row {
        const char* classe;
        std::function<std::unique_ptr<TQuintaraConexao>()> criar;
        TQuintaraSistema sistema;
        const char* sigla;
        const char* usuario;
        const char* senha;
        const char* pasta;
        std::vector<Entrada> arquivos;
    };
    const auto o = true;  // optional
    const auto r = false; // required
    const std::vector<Row> rows = {
        {"KORV (current year)", [] { return std::make_unique<TQuintaraConexaoKORV>([] { return 2017; }); }, qncKORV, "KORV", "QNCKORV8",
         "vokt", "C:\\Sistemas\\KORV\\DADOS",
         {{q("C:\\Sistemas\\KORV\\DADOS\\ARQ2017\\KORV2017.FDB"), r},
          {q("C:\\Sistemas\\KORV\\DADOS\\ARQ2017\\SYSTEM.DAT"), o},
          {q("C:\\Sistemas\\KORV\\DADOS\\ARQ2018\\KORV2018.FDB"), o},
          {q("C:\\Sistemas\\KORV\\DADOS\\ARQ2018\\SYSTEM.DAT"), o},
          {q("C:\\Sistemas\\KORV\\DADOS\\FOTOS\\KORVFOTOS.FDB"), o}}},
        {"KORV 2015", [] { return std::make_unique<TQuintaraConexaoKORVExercicio>(2015u); }, qncKORV, "KORV", "QNCKORV8", "vokt", "/dados",
         {{q("/dados/ARQ2015/KORV2015.FDB"), r},
          {q("/dados/ARQ2015/SYSTEM.DAT"), o},
          {q("/dados/ARQ2016/KORV2016.FDB"), o},
          {q("/dados/ARQ2016/SYSTEM.DAT"), o},
          {q("/dados/FOTOS/KORVFOTOS.FDB"), o}}},
        {"KORV at the end of 32 bits", [] { return std::make_unique<TQuintaraConexaoKORVExercicio>(4294967295u); }, qncKORV, "KORV",
         "QNCKORV8", "vokt", "D:\\K\\",
         {{q("D:\\K\\ARQ4294967295\\KORV4294967295.FDB"), r},
          {q("D:\\K\\ARQ4294967295\\SYSTEM.DAT"), o},
          {q("D:\\K\\ARQ0\\KORV0.FDB"), o},
          {q("D:\\K\\ARQ0\\SYSTEM.DAT"), o},
          {q("D:\\K\\FOTOS\\KORVFOTOS.FDB"), o}}},
        {"MUR", [] { return std::make_unique<TQuintaraConexaoMUR>(); }, qncMUR, "MUR", "QNCMUR", "brelox", "",
         {{q("MURDADOS.FDB"), r}, {q("SYSTEM.DAT"), o}, {q("MURARQUIVOS.FDB"), o}}},
        {"VAD", [] { return std::make_unique<TQuintaraConexaoVAD>(); }, qncVAD, "VAD", "QNCKORV8", "vokt", "C:\\VAD\\DADOS\\",
         {{q("C:\\VAD\\DADOS\\VEX.FDB"), r}, {q("C:\\VAD\\DADOS\\SYSTEM.DAT"), r}}},
        {"LOB", [] { return std::make_unique<TQuintaraConexaoLOB>(); }, qncLOB, "LOB", "QNCKORV8", "vokt", "C:\\LOB",
         {{q("C:\\LOB\\LOB.FDB"), r}, {q("C:\\LOB\\SYSTEM.DAT"), r}, {q("C:\\LOB\\LOB_FOTOS.FDB"), r}}},
        {"PYR", [] { return std::make_unique<TQuintaraConexaoPYR>(); }, qncPYR, "PYR", "SYSDBA", "plunderow", "/srv/pyr",
         {{q("/srv/pyr/PYR.FDB"), r}, {q("/srv/pyr/SYSTEM.DAT"), r}, {q("/srv/pyr/PYR_FOTOS.FDB"), r}}},
        {"RUV", [] { return std::make_unique<TQuintaraConexaoRUV>(); }, qncRUV, "RUV", "QNCKORV8", "vokt", "E:\\RUV\\",
         {{q("E:\\RUV\\RUV.FDB"), r}, {q("E:\\RUV\\SYSTEM.DAT"), r}, {q("E:\\RUV\\RUV_FOTOS.FDB"), r}}},
        {"TEL", [] { return std::make_unique<TQuintaraConexaoTEL>(); }, qncTEL, "TEL", "QNCTEL", "zub", "C:\\TEL\\DADOS\\",
         {{q("C:\\TEL\\DADOS\\TEL.FDB"), r}}},
        {"NIX", [] { return std::make_unique<TQuintaraConexaoNIX>(); }, qncNIX, "NIX", "SYSDBA", "plunderow", "",
         {{q("NIXDADOS.FDB"), r}}},
        {"JEB", [] { return std::make_unique<TQuintaraConexaoJEB>(2017u); }, qncJEB, "JEB 2017", "SYSDBA", "plunderow", "C:\\JEB\\",
         {{q("C:\\JEB\\DADOS2017\\JEBIN2017.FDB"), r}}},
        {"JEB with '/'", [] { return std::make_unique<TQuintaraConexaoJEB>(2017u); }, qncJEB, "JEB 2017", "SYSDBA", "plunderow", "/srv/jeb",
         {{q("/srv/jeb/DADOS2017/JEBIN2017.FDB"), r}}},
        {"HUSK", [] { return std::make_unique<TQuintaraConexaoHUSK>(); }, qncHUSK, "HUSK", "SYSDBA", "plunderow", "C:\\HUSK",
         {{q("C:\\HUSK\\HUSK.FDB"), r}}},
        {"YOL", [] { return std::make_unique<TQuintaraConexaoYOL>(); }, qncYOL, "YOL", "SYSDBA", "plunderow", "C:\\YOL",
         {{q("C:\\YOL\\YOLQUINTARA.FDB"), r}}},
        {"ZIB", [] { return std::make_unique<TQuintaraConexaoZIB>(); }, qncZIB, "QUIZIB", "SYSDBA", "plunderow", "E:\\ZIB\\BD\\",
         {{q("E:\\ZIB\\BD\\QUINTARA_GM.FDB"), r}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.classe);
        auto c = row.criar();
        EXPECT_EQ(c->GetSistema(), row.sistema);
        EXPECT_EQ(c->GetUsuario(), q(row.usuario));
        EXPECT_EQ(c->GetSenha(), q(row.senha));

        // Until the folder is known every slot is reserved and empty.
        ASSERT_EQ(c->GetArquivosFDB().size(), row.arquivos.size());
        for (const auto& slot : c->GetArquivosFDB())
            EXPECT_EQ(slot, nullptr);

        c->SetCaminhoFDB(q(row.pasta));
        EXPECT_EQ(entradas(*c), row.arquivos);
        EXPECT_EQ(c->GetSiglaSistema(), q(row.sigla));

        // A second folder replaces every entry and keeps the number of slots.
        c->SetCaminhoFDB(q("/outra"));
        ASSERT_EQ(c->GetArquivosFDB().size(), row.arquivos.size());
        for (const auto& slot : c->GetArquivosFDB()) {
            ASSERT_NE(slot, nullptr);
            EXPECT_TRUE(slot->caminho.startsWith(q("/outra/"))) << slot->caminho.toStdString();
        }
        EXPECT_FALSE(c->GetArquivosFDB().front()->opcional);
    }
}

TEST(DiscoveryConexao, CurrentYearIsTakenEachTimeTheFolderIsSet)
{
    int ano = 2017;
    TQuintaraConexaoKORV korv([&ano] { return ano; });
    korv.SetCaminhoFDB(q("C:\\K"));
    EXPECT_EQ(korv.GetArquivosFDB()[0]->caminho, q("C:\\K\\ARQ2017\\KORV2017.FDB"));
    ano = 2018;
    korv.SetCaminhoFDB(q("C:\\K"));
    EXPECT_EQ(korv.GetArquivosFDB()[0]->caminho, q("C:\\K\\ARQ2018\\KORV2018.FDB"));
    EXPECT_EQ(korv.GetArquivosFDB()[2]->caminho, q("C:\\K\\ARQ2019\\KORV2019.FDB"));
}

TEST(DiscoveryConexao, YearBoundClassesKeepTheirYear)
{
    TQuintaraConexaoKORVExercicio korv(2015u);
    EXPECT_EQ(korv.GetExercicio(), 2015u);
    EXPECT_EQ(korv.GetSiglaSistema(), q("KORV"));
    TQuintaraConexaoJEB jeb(2017u);
    EXPECT_EQ(jeb.GetExercicio(), 2017u);
    // Formed anew on each call, never "JEB 2017 2017".
    EXPECT_EQ(jeb.GetSiglaSistema(), q("JEB 2017"));
    EXPECT_EQ(jeb.GetSiglaSistema(), q("JEB 2017"));
}

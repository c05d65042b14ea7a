// From an installed system's INI file to the client folder and caption, against
// the system's database on a real server.
#include "AmbienteFirebird.h"
#include "PastaCliente.h"
#include "uTQuintaraConexoes.h"


#include <gtest/gtest.h>

#include <thread>

namespace {

// The resolution's log lines, in order, then what it returned.
QStringList resolver(IQuintaraConexao& sistema)
{
    QStringList eventos;
    const PastaResolvida r = DefinirPastaCliente(sistema, [&eventos](const QString& linha) { eventos << QStringLiteral("log:") + linha; });
    if (r.baseCorrompida())
        eventos << QStringLiteral("corrompida:") + textoMotivo(r.motivo);
    return eventos << QStringLiteral("caption:") + r.legenda << QStringLiteral("dir:") + r.pasta;
}

const QString falhaCliente = QStringLiteral("Não foi possível determinar a pasta do cliente");

// The line that says which client library was used: the system's own beside the
// executable on Windows, the computer's on Linux.
const QString linhaBiblioteca = QStringLiteral("log~Firebird");

QStringList identificado(const QString& caption, const QString& directory)
{
    return {linhaBiblioteca, QStringLiteral("caption:") + caption, QStringLiteral("dir:") + directory};
}

// "log~text": the log line contains text (the server's own messages).
QStringList corrompida(MotivoBaseCorrompida motivo, const QString& log)
{
    QStringList e;
    // Without a system there is no database to open, and without a query nothing to
    // ask it: no library to open it with either.
    if (motivo != MotivoBaseCorrompida::SemSistema && motivo != MotivoBaseCorrompida::SemConsulta)
        e << linhaBiblioteca;
    e << log << QStringLiteral("corrompida:") + textoMotivo(motivo) << QStringLiteral("caption:Base Corrompida")
      << QStringLiteral("dir:/gCALDORIA/Cidades/_corrompida");
    return e;
}

void compararEventos(const QStringList& reais, const QStringList& esperados)
{
    ASSERT_EQ(reais.size(), esperados.size()) << reais.join(QLatin1Char('\n')).toStdString();
    for (qsizetype i = 0; i < esperados.size(); ++i) {
        if (esperados[i].startsWith(QStringLiteral("log~"))) {
            EXPECT_TRUE(reais[i].startsWith(QStringLiteral("log:")) && reais[i].contains(esperados[i].mid(4)))
                << reais[i].toStdString() << " does not contain " << esperados[i].mid(4).toStdString();
        } else {
            EXPECT_EQ(reais[i], esperados[i]);
        }
    }
}

QString korv(const char* tipo, const char* cid, const char* est)
{
    return QStringLiteral("delete from cadcli; delete from TABEMPRESA;\n"
                          "insert into TABEMPRESA (EMPRESA, TIPO) values (1, %1);\n"
                          "insert into cadcli (CODIGO, EMPRESA, cid, est) values (1, 1, %2, %3);")
        .arg(QString::fromUtf8(tipo), QString::fromUtf8(cid), QString::fromUtf8(est));
}

QString tel(const char* cidade, const char* uf, const char* tipo)
{
    return QStringLiteral("delete from empresa; delete from chave;\n"
                          "insert into chave (cnpj) values ('1');\n"
                          "insert into empresa (codigo, identificador, cidade, uf, tipo) values (1, '1', %1, %2, %3);")
        .arg(QString::fromUtf8(cidade), QString::fromUtf8(uf), QString::fromUtf8(tipo));
}

QString mur(const char* tpagua)
{
    return QStringLiteral("update GR_CAD_EMPRESA set TPAGUA_EMP = %1;").arg(QString::fromUtf8(tpagua));
}

struct CasoPasta {
    const char* nome;
    const char* instalacao;
    QString preparo;  // run in the installation's database first
    QString desfazer; // and afterwards
    QStringList esperado;
};

class DefinirPastaClienteTest : public ::testing::TestWithParam<CasoPasta> {};

TEST_P(DefinirPastaClienteTest, ReportsTheFolderOrTheSharedOne)
{
    const CasoPasta& caso = GetParam();
    const Instalacao& inst = AmbienteFirebird::instalacao(QString::fromUtf8(caso.instalacao));
    if (!caso.preparo.isEmpty())
        AmbienteFirebird::servidor().execute(inst.banco, caso.preparo);

    TQuintaraConexaoInstalada sistema(inst.executavel, [] { return AmbienteFirebird::ano(); });
    const QStringList eventos = resolver(sistema);

    if (!caso.desfazer.isEmpty())
        AmbienteFirebird::servidor().execute(inst.banco, caso.desfazer);
    compararEventos(eventos, caso.esperado);
}

const QString pad31(31, QLatin1Char(' '));
const QString under31(31, QLatin1Char('_'));

INSTANTIATE_TEST_SUITE_P(
    Casos, DefinirPastaClienteTest,
    ::testing::Values(
        // --- KORV: city and state from cadcli, kind from TABEMPRESA.
        CasoPasta{"korv_pm", "korv", korv("1", "'São José do Rio Preto'", "'SP'"), {},
                  identificado("  KORV: PM de São José do Rio Preto/SP", "/gCALDORIA/Cidades/SAO_JOSE_DO_RIO_PRETO-SP/PM/KORV")},
        CasoPasta{"korv_tipo2_cm", "korv", korv("2", "'Campinas'", "'SP'"), {},
                  identificado("  KORV: CM de Campinas/SP", "/gCALDORIA/Cidades/CAMPINAS-SP/CM/KORV")},
        CasoPasta{"korv_tipo3_pm", "korv", korv("3", "'Campinas'", "'SP'"), {},
                  identificado("  KORV: PM de Campinas/SP", "/gCALDORIA/Cidades/CAMPINAS-SP/PM/KORV")},
        CasoPasta{"korv_tipo4_fundo", "korv", korv("4", "'Campinas'", "'SP'"), {},
                  identificado("  KORV: FUNDO de Campinas/SP", "/gCALDORIA/Cidades/CAMPINAS-SP/FUNDO/KORV")},
        CasoPasta{"korv_tipo8_rpps", "korv", korv("8", "'Campinas'", "'SP'"), {},
                  identificado("  KORV: RPPS de Campinas/SP", "/gCALDORIA/Cidades/CAMPINAS-SP/RPPS/KORV")},
        CasoPasta{"korv_tipo11_consorcio", "korv", korv("11", "'Campinas'", "'SP'"), {},
                  identificado("  KORV: CONSORCIO de Campinas/SP", "/gCALDORIA/Cidades/CAMPINAS-SP/CONSORCIO/KORV")},
        CasoPasta{"korv_tipo10_outros", "korv", korv("10", "'Campinas'", "'SP'"), {},
                  identificado("  KORV: OUTROS de Campinas/SP", "/gCALDORIA/Cidades/CAMPINAS-SP/OUTROS/KORV")},
        CasoPasta{"korv_tipo_null_outros", "korv", korv("null", "'Campinas'", "'SP'"), {},
                  identificado("  KORV: OUTROS de Campinas/SP", "/gCALDORIA/Cidades/CAMPINAS-SP/OUTROS/KORV")},
        CasoPasta{"korv_sem_tabempresa_outros", "korv",
                  korv("1", "'Campinas'", "'SP'") + QStringLiteral("\ndelete from TABEMPRESA;"), {},
                  identificado("  KORV: OUTROS de Campinas/SP", "/gCALDORIA/Cidades/CAMPINAS-SP/OUTROS/KORV")},
        CasoPasta{"korv_uf_com_brancos", "korv", korv("1", "'Campinas'", "' sp '"), {},
                  identificado("  KORV: PM de Campinas/SP", "/gCALDORIA/Cidades/CAMPINAS-SP/PM/KORV")},
        CasoPasta{"korv_cidade_so_brancos", "korv", korv("1", "'   '", "'SP'"), {},
                  identificado("  KORV: PM de    /SP", "/gCALDORIA/Cidades/___-SP/PM/KORV")},
        CasoPasta{"korv_cidade_sem_letra_valida", "korv", korv("1", "'ñ'", "'SP'"), {},
                  identificado("  KORV: PM de ñ/SP", "/gCALDORIA/Cidades/-SP/PM/KORV")},
        CasoPasta{"korv_barra_na_cidade", "korv", korv("1", "'Bom Jesus/PI'", "'PI'"), {},
                  identificado("  KORV: PM de Bom Jesus/PI/PI", "/gCALDORIA/Cidades/BOM_JESUS/PI-PI/PM/KORV")},
        // Values that would lead the folder out of the client tree, or hide a level in it.
        CasoPasta{"korv_cidade_que_sobe", "korv", korv("1", "'../../../x'", "'SP'"), {},
                  corrompida(MotivoBaseCorrompida::CadastroInvalido, "log:Pasta do cliente recusada: a cidade \"../../../x\" e a UF \"SP\" levariam a uma pasta "
                             "vazia, \".\" ou \"..\"")},
        // A tab inside the state splits its level, as any blank does in the walk: the
        // client keeps its own folder.
        CasoPasta{"korv_uf_com_tab", "korv", korv("1", "'Campinas'", "'S' || ascii_char(9) || 'P'"), {},
                  identificado("  KORV: PM de Campinas/S\tP", "/gCALDORIA/Cidades/CAMPINAS-S\tP/PM/KORV")},
        CasoPasta{"korv_uf_com_controle", "korv", korv("1", "'Campinas'", "'S' || ascii_char(127) || 'P'"), {},
                  corrompida(MotivoBaseCorrompida::CadastroInvalido, "log:Pasta do cliente recusada: a UF \"S\\x7FP\" contém \"\\\" ou caracteres de controle")},
        // The normaliser drops backslashes (and tabs) from a city before the check.
        CasoPasta{"korv_cidade_com_barra_invertida", "korv", korv("1", "'a\\..\\b'", "'SP'"), {},
                  identificado("  KORV: PM de a\\..\\b/SP", "/gCALDORIA/Cidades/A..B-SP/PM/KORV")},
        CasoPasta{"korv_sem_linha", "korv", QStringLiteral("delete from cadcli;"), {},
                  corrompida(MotivoBaseCorrompida::CadastroInvalido, "log:" + falhaCliente)},
        CasoPasta{"korv_uf_null", "korv", korv("1", "'Campinas'", "null"), {},
                  corrompida(MotivoBaseCorrompida::CadastroInvalido, "log:" + falhaCliente)},
        CasoPasta{"korv_uf_so_brancos", "korv", korv("1", "'Campinas'", "'  '"), {},
                  corrompida(MotivoBaseCorrompida::CadastroInvalido, "log:" + falhaCliente)},
        CasoPasta{"korv_senha_errada", "korv", QStringLiteral("alter user QNCKORV8 password 'outra';"),
                  QStringLiteral("alter user QNCKORV8 password 'vokt';"),
                  corrompida(MotivoBaseCorrompida::BancoInacessivel, "log~user name and password are not defined")},
        CasoPasta{"korv_servidor_parado", "korv-parado", {}, {},
                  corrompida(MotivoBaseCorrompida::BancoInacessivel, "log~Unable to complete network request to host \"127.0.0.1\"")},
        CasoPasta{"korv_servidor_mudo", "korv-mudo", {}, {}, corrompida(MotivoBaseCorrompida::BancoInacessivel, "log~connection rejected by remote interface")},

        // --- TEL: everything from the company that the licence key names.
        CasoPasta{"tel_25_estadual", "tel", tel("'Santa Rita d’Oeste'", "'SP'", "25"), {},
                  identificado("  TEL: ESTADUAL de Santa Rita d\u2019Oeste/SP", "/gCALDORIA/Cidades/SANTA_RITA_DOESTE-SP/ESTADUAL/TEL")},
        CasoPasta{"tel_12_outros", "tel", tel("'Marília'", "'SP'", "12"), {},
                  identificado("  TEL: OUTROS de Marília/SP", "/gCALDORIA/Cidades/MARILIA-SP/OUTROS/TEL")},
        CasoPasta{"tel_14_ccomunitario", "tel", tel("'Marília'", "'SP'", "14"), {},
                  identificado("  TEL: CCOMUNITARIO de Marília/SP", "/gCALDORIA/Cidades/MARILIA-SP/CCOMUNITARIO/TEL")},
        CasoPasta{"tel_7_fundacao", "tel", tel("'Marília'", "'SP'", "7"), {},
                  identificado("  TEL: FUNDACAO de Marília/SP", "/gCALDORIA/Cidades/MARILIA-SP/FUNDACAO/TEL")},
        CasoPasta{"tel_cedilha_til_apostrofo", "tel", tel("'Conceição d’Alagoas'", "'MG'", "1"), {},
                  identificado("  TEL: PM de Conceição d\u2019Alagoas/MG", "/gCALDORIA/Cidades/CONCEICAO_DALAGOAS-MG/PM/TEL")},
        CasoPasta{"tel_primeira_empresa", "tel",
                  tel("'Bauru'", "'SP'", "2") + QStringLiteral("\ninsert into empresa values (0, '1', 'Avaré', 'SP', 3);"), {},
                  identificado("  TEL: RPPS de Avaré/SP", "/gCALDORIA/Cidades/AVARE-SP/RPPS/TEL")},
        CasoPasta{"tel_chave_sem_empresa", "tel", tel("'Bauru'", "'SP'", "1") + QStringLiteral("\ndelete from empresa;"), {},
                  corrompida(MotivoBaseCorrompida::CadastroInvalido, "log:" + falhaCliente)},

        // --- MUR: '3' marks the water authority.
        CasoPasta{"mur_3_saae", "mur", mur("'3'"), {},
                  identificado("  MUR: SAAE de Embu-Guaçu/SP", "/gCALDORIA/Cidades/EMBU-GUACU-SP/SAAE/MUR")},
        CasoPasta{"mur_null_pm", "mur", mur("null"), {},
                  identificado("  MUR: PM de Embu-Guaçu/SP", "/gCALDORIA/Cidades/EMBU-GUACU-SP/PM/MUR")},
        CasoPasta{"mur_outro_pm", "mur", mur("'1'"), {},
                  identificado("  MUR: PM de Embu-Guaçu/SP", "/gCALDORIA/Cidades/EMBU-GUACU-SP/PM/MUR")},

        // --- VAD: CHAR(40) city, its blanks become underscores; the state is trimmed.
        CasoPasta{"vad_char40", "vad", {}, {},
                  identificado("  VAD: SAUDE de São Paulo" + pad31 + "/SP", "/gCALDORIA/Cidades/SAO_PAULO" + under31 + "-SP/SAUDE/VAD")},
        CasoPasta{"vad_cidade_null", "vad", QStringLiteral("update dadosmunicipios set municipio = null;"),
                  QStringLiteral("update dadosmunicipios set municipio = 'São Paulo';"),
                  corrompida(MotivoBaseCorrompida::CadastroInvalido, "log:" + falhaCliente)},

        // --- LOB: its own kind, LOB.
        CasoPasta{"lob", "lob", {}, {}, identificado("  LOB: LOB de Mogi Mirim/SP", "/gCALDORIA/Cidades/MOGI_MIRIM-SP/LOB/LOB")},
        CasoPasta{"lob_uf_null", "lob", QStringLiteral("update cadcli set estado = null;"),
                  QStringLiteral("update cadcli set estado = 'SP';"), corrompida(MotivoBaseCorrompida::CadastroInvalido, "log:" + falhaCliente)},

        // --- RUV
        CasoPasta{"ruv", "ruv", {}, {}, identificado("  RUV: EDUCACAO de Pau-d'Arco/PA", "/gCALDORIA/Cidades/PAU-DARCO-PA/EDUCACAO/RUV")},
        CasoPasta{"ruv_tabela_ausente", "ruv-sem-tabela", {}, {}, corrompida(MotivoBaseCorrompida::BancoInacessivel, "log~Table unknown; CLIENTE")},

        // --- Nothing to ask, or nobody to ask.
        CasoPasta{"nenhum_sistema", "nenhum", {}, {}, corrompida(MotivoBaseCorrompida::SemSistema, "log:Argument out of range")},
        CasoPasta{"jeb_sem_consulta", "jeb", {}, {}, corrompida(MotivoBaseCorrompida::SemConsulta, "log:Missing query, table name or procedure name")},
        CasoPasta{"nix_sem_consulta", "nix", {}, {}, corrompida(MotivoBaseCorrompida::SemConsulta, "log:Missing query, table name or procedure name")}),
    [](const auto& info) { return std::string(info.param.nome); });

// The session's worker thread runs the resolution, one database after another on
// the same thread, the failing one in the middle: each attach and detach happens
// inside its own call.
TEST(DefinirPastaClienteThread, RunsOnAWorkerThreadOneAfterAnother)
{
    QStringList lob;
    QStringList parado;
    QStringList ruv;
    std::thread t([&] {
        for (auto [nome, eventos] : {std::pair{"lob", &lob}, std::pair{"korv-parado", &parado}, std::pair{"ruv", &ruv}}) {
            const Instalacao& inst = AmbienteFirebird::instalacao(QString::fromUtf8(nome));
            TQuintaraConexaoInstalada sistema(inst.executavel, [] { return AmbienteFirebird::ano(); });
            *eventos = resolver(sistema);
        }
    });
    t.join();
    compararEventos(lob, identificado("  LOB: LOB de Mogi Mirim/SP", "/gCALDORIA/Cidades/MOGI_MIRIM-SP/LOB/LOB"));
    compararEventos(parado, corrompida(MotivoBaseCorrompida::BancoInacessivel, "log~Unable to complete network request"));
    compararEventos(ruv, identificado("  RUV: EDUCACAO de Pau-d'Arco/PA", "/gCALDORIA/Cidades/PAU-DARCO-PA/EDUCACAO/RUV"));
}

}

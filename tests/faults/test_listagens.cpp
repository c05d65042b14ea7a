// Listings a careless or hostile server may send: names with blanks, non-ASCII,
// control characters, path separators and parent references, garbage between the
// good lines, 100,000 entries, and a listing that never ends.
#include "Formatos.h"
#include "FalhasJanela.h"

#include <algorithm>

namespace {

using namespace falhas;

// The names of scripted_ftp.py's WEIRD_NAMES, in its order.
QStringList nomesEstranhos()
{
    return {QStringLiteral("nome com espaços.txt"),
            QStringLiteral(" espaço na frente.txt"),
            QStringLiteral("espaço atrás.txt "),
            QStringLiteral("../../etc/passwd"),
            QStringLiteral("a/b.txt"),
            QStringLiteral("/etc/cron.d/tarefa"),
            QStringLiteral("..\\..\\Windows\\win.ini"),
            QStringLiteral("C:\\Users\\Public\\x.bat"),
            QStringLiteral("são josé.txt"),
            QString::fromUtf16(u"sa\u0303o-jose\u0301.txt"),
            QStringLiteral("日本語.txt"),
            QString::fromUtf16(u"\U0001F389.txt"),
            QStringLiteral("tab\there.txt"),
            QStringLiteral("bell\x07.txt"),
            QStringLiteral("esc\x1b[31mred.txt"),
            QStringLiteral("del\x7f.txt"),
            QStringLiteral("cr\rDELE ok.txt"),
            QString(1000, QLatin1Char('n')),
            QStringLiteral("ok.txt")};
}

// Every good line shows, with its name exactly as the server gave it; the garbage
// between them does not.
TEST_F(Falhas, HostileNamesAreShownAsTheyAre)
{
    for (const char* cenario : {"list-weird", "list-weird-unix"}) {
        SCOPED_TRACE(cenario);
        ScriptedFtp servidor(QString::fromLatin1(cenario));
        auto w = janela(servidor.port());
        clicar(*w, w->ui->btnViewFiles);
        ASSERT_EQ(w->ui->PageControl1->currentWidget(), w->ui->TabSheet1) << linhasDoLog(*w).join('\n').toStdString();
        EXPECT_EQ(nomesNaLista(*w), nomesEstranhos());
        // The 5000-character name is shown by its start, and used whole.
        EXPECT_EQ(celula(*w, 17, 0), QString(FileListModel::kShownNameLength, QLatin1Char('n')) + QChar(0x2026));
        EXPECT_EQ(celula(*w, 0, 1), QStringLiteral("0,010 KiB"));
        EXPECT_TRUE(servidor.commands().contains(QLatin1String(QByteArray(cenario) == "list-weird" ? "MLSD" : "LIST")));
        EXPECT_TRUE(dialogos->caixas.empty());
        prontaDeNovo(*w);
    }
}

// A remote name is never a local path: the file goes where the user chose, and
// only there, whatever separators or parent references its name holds. Nothing is
// written when the user cancels.
TEST_F(Falhas, RemoteNamesAreNoLocalPaths)
{
    const QString dentro = kPastaCliente.mid(1);
    ScriptedFtp servidor(QStringLiteral("list-weird"),
                         {{dentro + QStringLiteral("/a/b.txt"), 1000},
                          {QStringLiteral("gCALDORIA/Cidades/SAO_JOSE_DO_RIO_PRETO-SP/etc/passwd"), 2000},
                          {QStringLiteral("etc/cron.d/tarefa"), 3000}});
    auto w = janela(servidor.port());
    // Should a name be taken as a path relative to the working folder, it lands in
    // this sandbox, not in the system's /etc.
    const QString anterior = QDir::currentPath();
    ASSERT_TRUE(QDir().mkpath(local.filePath(QStringLiteral("x/y/z/w"))));
    ASSERT_TRUE(QDir::setCurrent(local.filePath(QStringLiteral("x/y/z/w"))));

    struct Caso {
        QString remoto;
        qint64 tamanho;
    };
    const Caso casos[] = {{QStringLiteral("a/b.txt"), 1000}, {QStringLiteral("../../etc/passwd"), 2000}, {QStringLiteral("/etc/cron.d/tarefa"), 3000}};
    QTemporaryDir escolhida;
    int n = 0;
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.remoto.toStdString());
        listarESelecionar(*w, c.remoto);

        const qsizetype antes = servidor.commands().size();
        dialogos->arquivosSalvar = {QString()};
        clicar(*w, w->ui->btnDownloadSelected);
        EXPECT_EQ(servidor.commands().size(), antes) << "cancelled: nothing asked of the server";
        EXPECT_EQ(dialogos->dialogosSalvar.back().argumento, NomeSugeridoParaSalvar(c.remoto)) << "only the bare name is offered";

        const QString destino = escolhida.filePath(QStringLiteral("escolhido-%1.bin").arg(++n));
        dialogos->arquivosSalvar = {destino};
        clicar(*w, w->ui->btnDownloadSelected);
        EXPECT_EQ(readFile(destino), ScriptedFtp::patternBytes(c.tamanho));
        EXPECT_EQ(servidor.commands().filter(QStringLiteral("RETR")).last(), QStringLiteral("RETR ") + c.remoto);
    }
    EXPECT_EQ(conteudo(escolhida.path()).size(), 3);
    EXPECT_EQ(conteudo(local.path()), QStringList{QStringLiteral("x")});
    EXPECT_EQ(conteudo(local.filePath(QStringLiteral("x/y/z/w"))), QStringList());
    EXPECT_EQ(conteudo(local.filePath(QStringLiteral("x/y/z"))), QStringList{QStringLiteral("w")});
    EXPECT_EQ(conteudo(local.filePath(QStringLiteral("x/y"))), QStringList{QStringLiteral("z")});
    QDir::setCurrent(anterior);
}

// A name with a line break in it cannot smuggle a second command to the server:
// neither a download nor a deletion of it sends anything of it.
TEST_F(Falhas, ANameWithALineBreakSendsNoCommand)
{
    ScriptedFtp servidor(QStringLiteral("list-weird"), {{kPastaCliente.mid(1) + QStringLiteral("/ok.txt"), 10}});
    auto w = janela(servidor.port());
    const QString nome = QStringLiteral("cr\rDELE ok.txt");
    listarESelecionar(*w, nome);

    const QString destino = local.filePath(QStringLiteral("cr.bin"));
    dialogos->arquivosSalvar = {destino};
    clicar(*w, w->ui->btnDownloadSelected);
    EXPECT_FALSE(QFile::exists(destino));
    semCaixaDeSucesso();

    listarESelecionar(*w, nome);
    dialogos->respostas = {mb::IdYes};
    clicar(*w, w->ui->btnDelete);
    ultimaLinhaDiz(*w, QStringLiteral("Nome inválido (contém quebra de linha)"));
    EXPECT_TRUE(nomesNaLista(*w).contains(nome)) << "the row stays: the file was not deleted";

    for (const QString& comando : servidor.commands())
        EXPECT_FALSE(comando.startsWith(QStringLiteral("DELE")) || comando.startsWith(QStringLiteral("RETR"))) << comando.toStdString();
    prontaDeNovo(*w);
}

// The platform's dialog takes its preset as a path, so a listed name such as
// "/etc/cron.d/tarefa" would open it in that folder ready to save there: the
// window suggests only the name's last part, made harmless.
TEST_F(Falhas, TheSaveDialogIsOfferedOnlyABareName)
{
    ScriptedFtp servidor(QStringLiteral("list-weird"));
    auto w = janela(servidor.port());
    clicar(*w, w->ui->btnViewFiles);
    for (const QString& nome : nomesEstranhos()) {
        SCOPED_TRACE(nome.toStdString());
        listarESelecionar(*w, nome);
        dialogos->arquivosSalvar = {QString()};
        clicar(*w, w->ui->btnDownloadSelected);
        ASSERT_FALSE(dialogos->dialogosSalvar.empty());
        const QString sugestao = dialogos->dialogosSalvar.back().argumento;
        EXPECT_FALSE(sugestao.isEmpty());
        EXPECT_NE(sugestao, QStringLiteral("."));
        EXPECT_NE(sugestao, QStringLiteral(".."));
        const bool inofensiva = std::none_of(sugestao.begin(), sugestao.end(), [](QChar c) {
            return c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QLatin1Char(':') || c.unicode() < 0x20 || c.unicode() == 0x7F;
        });
        EXPECT_TRUE(inofensiva) << "suggested: " << sugestao.toStdString();
    }
}

TEST_F(Falhas, HugeListing)
{
    ScriptedFtp servidor(QStringLiteral("huge-listing"));
    auto w = janela(servidor.port());
    clicar(*w, w->ui->btnViewFiles);
    ASSERT_EQ(linhasNaLista(*w), 100000);
    EXPECT_EQ(celula(*w, 0, 0), QStringLiteral("arquivo-000000.bin"));
    EXPECT_EQ(celula(*w, 99999, 0), QStringLiteral("arquivo-099999.bin"));
    EXPECT_EQ(celula(*w, 99999, 1), QStringLiteral("97,655 KiB"));
    EXPECT_EQ(w->ui->PageControl1->currentWidget(), w->ui->TabSheet1);
    prontaDeNovo(*w);
}

// A server that never stops sending a listing is cut off at a bound, with a line
// that says so; the window does not wait for the end or fill the memory.
TEST_F(Falhas, EndlessListing)
{
    ScriptedFtp servidor(QStringLiteral("endless-listing"));
    auto w = janela(servidor.port());
    clicar(*w, w->ui->btnViewFiles);
    ultimaLinhaDiz(*w, QStringLiteral("Listagem grande demais (mais de 500.000 entradas)"));
    EXPECT_EQ(linhasNaLista(*w), 0);
    EXPECT_NE(w->ui->PageControl1->currentWidget(), w->ui->TabSheet1);
    EXPECT_TRUE(dialogos->caixas.empty());
    prontaDeNovo(*w);
}

} // namespace

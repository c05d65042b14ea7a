// The window as a clerk uses it all day from the keyboard: Tab, Enter and F5; what
// it says of a transfer, of a "Não", of a connection that failed; what it remembers
// from one day to the next; a deletion after the server dropped the connection.
#include "AmbienteJanela.h"
#include "LocalFileLock.h"
#include "QuandoSegurar.h"
#include "TextoElidido.h"
#include "uTFtpQuintaraUtil.h"

#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QSplitter>
#include <QTabWidget>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <QTreeView>

#include <set>

namespace {

using testsupport::readFile;

class Escritorio : public ::testing::Test {
protected:
    QTemporaryDir raiz;
    QTemporaryDir local;
    std::shared_ptr<DialogosRoteirizados> dialogos = std::make_shared<DialogosRoteirizados>();

    std::unique_ptr<TfPrincipal> aberta(const QString& instalacao)
    {
        auto w = novaJanela(instalacao, dialogos);
        w->show();
        QApplication::setActiveWindow(w.get());
        EXPECT_TRUE(QTest::qWaitForWindowActive(w.get()));
        return w;
    }
};

// What Tab may stop at: shown, with room, and enabled.
bool mostrado(const QWidget* c, const QWidget& janela)
{
    return c && c->isVisibleTo(&janela) && c->isEnabled() && c->width() > 0 && c->height() > 0 && c->window() == &janela;
}

std::vector<QWidget*> paradasDeTab(TfPrincipal& w)
{
    std::vector<QWidget*> paradas;
    for (QWidget* c : w.findChildren<QWidget*>())
        if ((c->focusPolicy() & Qt::TabFocus) && mostrado(c, w))
            paradas.push_back(c);
    return paradas;
}

// From every control of every page, with the log closed and open, Tab goes to a
// control that shows, and the walk reaches them all: it never enters a hidden one
// (the closed log, the hidden "Cancelar", another page's fields).
TEST_F(Escritorio, TabFromEveryControlStopsOnlyWhereSomethingShows)
{
    apontarFtp(testsupport::closedPort());
    auto w = aberta(instalacaoVazia());
    mostrarListagem(*w, {QStringLiteral("a.fbk"), QStringLiteral("b.fbk")});
    for (bool logAberto : {false, true}) {
        if (logAberto)
            AcessoTeste::MostrarLog(*w);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        for (QWidget* pagina : {w->ui->TabSheet1, w->ui->TabSheet2, w->ui->TabSheet3}) {
            w->ui->PageControl1->setCurrentWidget(pagina);
            QCoreApplication::processEvents();
            const std::vector<QWidget*> paradas = paradasDeTab(*w);
            SCOPED_TRACE(pagina->objectName().toStdString() + (logAberto ? " log open" : " log closed"));
            ASSERT_GE(paradas.size(), 3u);
            EXPECT_EQ(std::count(paradas.begin(), paradas.end(), w->ui->memoLog), logAberto ? 1 : 0);
            for (QWidget* de : paradas) {
                de->setFocus(Qt::TabFocusReason);
                ASSERT_EQ(QApplication::focusWidget(), de) << de->objectName().toStdString();
                QTest::keyClick(de, Qt::Key_Tab);
                QWidget* para = QApplication::focusWidget();
                EXPECT_TRUE(mostrado(para, *w)) << de->objectName().toStdString() << " -> "
                                                << (para ? para->objectName().toStdString() : "nothing");
                EXPECT_NE(para, de) << de->objectName().toStdString() << " keeps the focus";
            }
            // Tab after Tab from the first goes round them all.
            std::set<QWidget*> vistos;
            paradas.front()->setFocus(Qt::TabFocusReason);
            for (std::size_t i = 0; i < 2 * paradas.size(); ++i) {
                vistos.insert(QApplication::focusWidget());
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            }
            for (QWidget* c : paradas)
                EXPECT_TRUE(vistos.count(c)) << c->objectName().toStdString() << " is never reached";
        }
    }
}

// Enter on a focused button does what a click does, for every button that shows
// ("Proxy" never does); F5 lists
// again (or opens the client folder's view where no list shows).
TEST_F(Escritorio, EnterOnEveryButtonAndF5)
{
    apontarFtp(testsupport::closedPort());
    auto w = aberta(instalacaoVazia());
    w->ui->edtNomeArquivo->setText(QStringLiteral("x.fbk"));
    const struct {
        QWidget* pagina;
        QPushButton* botao;
    } casos[] = {
        {w->ui->TabSheet1, w->ui->btnViewFiles},        {w->ui->TabSheet1, w->ui->btnUpload}, {w->ui->TabSheet1, w->ui->btnRefresh},
        {w->ui->TabSheet1, w->ui->btnDownloadSelected}, {w->ui->TabSheet1, w->ui->btnDelete}, {w->ui->TabSheet2, w->ui->btnDownloadFinal},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.botao->objectName().toStdString());
        w->ui->PageControl1->setCurrentWidget(c.pagina);
        mostrarListagem(*w, {QStringLiteral("a.fbk")});
        selecionarLinha(*w, 0);
        QCoreApplication::processEvents();
        ASSERT_TRUE(mostrado(c.botao, *w));
        QSignalSpy clicado(c.botao, &QAbstractButton::clicked);
        c.botao->setFocus(Qt::TabFocusReason);
        QTest::keyClick(c.botao, Qt::Key_Return);
        EXPECT_EQ(clicado.count(), 1);
        AcessoTeste::esperar(*w);
        // The question of "Excluir Selecionado" was asked: Enter reached its handler.
        if (c.botao == w->ui->btnDelete) {
            EXPECT_EQ(dialogos->caixas.back().texto, QStringLiteral("Confirma a Exclusão do Arquivo Selecionado?"));
        }
    }

    for (const auto& [pagina, botao] : {std::pair{w->ui->TabSheet1, w->ui->btnRefresh}, std::pair{w->ui->TabSheet2, w->ui->btnViewFiles}}) {
        SCOPED_TRACE(botao->objectName().toStdString());
        w->ui->PageControl1->setCurrentWidget(pagina);
        QSignalSpy clicado(botao, &QAbstractButton::clicked);
        QTest::keyClick(w.get(), Qt::Key_F5);
        EXPECT_EQ(clicado.count(), 1);
        AcessoTeste::esperar(*w);
    }
}

// A connection that could not be made takes the old list away: it no longer says
// what the server holds. A "Não" to any question leaves its line in the log.
TEST_F(Escritorio, AFailedConnectionClearsTheListAndANaoIsLogged)
{
    apontarFtp(testsupport::closedPort());
    auto w = aberta(instalacaoVazia());
    w->ui->PageControl1->setCurrentWidget(w->ui->TabSheet1);
    mostrarListagem(*w, {QStringLiteral("a.fbk"), QStringLiteral("b.fbk")});
    ASSERT_EQ(linhasNaLista(*w), 2);
    clicarEEsperar(*w, w->ui->btnRefresh);
    EXPECT_EQ(linhasNaLista(*w), 0);
    EXPECT_FALSE(w->ui->btnDelete->isEnabled());

    mostrarListagem(*w, {QStringLiteral("a.fbk")});
    selecionarLinha(*w, 0);
    dialogos->respostas = {mb::IdNo};
    clicarEEsperar(*w, w->ui->btnDelete);
    EXPECT_EQ(linhasDoLog(*w).last(),
              QStringLiteral("Resposta \"Não\" (Excluir): Confirma a Exclusão do Arquivo Selecionado?"));
    EXPECT_EQ(linhasNaLista(*w), 1);
}

// The server dropped the idle connection (it restarted): "Excluir Selecionado"
// connects again and deletes, as every other button does.
TEST_F(Escritorio, ADeletionAfterTheServerDroppedTheConnection)
{
    testsupport::PyFtpd servidor(raiz.path());
    apontarFtp(servidor.port());
    criarArquivo(raiz.path(), kPastaCliente + QStringLiteral("/velho.fbk"), "x");
    auto w = aberta(instalacaoKorv());
    clicarEEsperar(*w, w->ui->btnViewFiles);
    ASSERT_EQ(nomesDaLista(*w), QStringList{QStringLiteral("velho.fbk")});
    servidor.restart();
    for (int vez = 0; vez < 2; ++vez) {
        // The second time the list is there again after a refresh.
        if (vez == 1) {
            criarArquivo(raiz.path(), kPastaCliente + QStringLiteral("/velho.fbk"), "x");
            clicarEEsperar(*w, w->ui->btnRefresh);
            servidor.restart();
        }
        const std::size_t caixasAntes = dialogos->caixas.size();
        selecionarLinha(*w, 0);
        dialogos->respostas = {mb::IdYes};
        clicarEEsperar(*w, w->ui->btnDelete);
        EXPECT_FALSE(QFile::exists(raiz.path() + kPastaCliente + QStringLiteral("/velho.fbk"))) << linhasDoLog(*w).join('\n').toStdString();
        ASSERT_EQ(dialogos->caixas.size(), caixasAntes + 1) << "the question only, no failure";
        EXPECT_EQ(linhasDoLog(*w).last(), QStringLiteral("Arquivo excluído: velho.fbk"));
        EXPECT_EQ(linhasNaLista(*w), 0);
    }
}

// While the upload is held on the server: the bar names the file and gives the
// percentage; closing asks with the file's name, "Não" the default, and a "Não"
// keeps the transfer going and leaves its line.
TEST_F(Escritorio, ThePanelAndTheCloseQuestionNameTheFile)
{
    testsupport::ScriptedFtp servidor(QStringLiteral("normal"),
                                      {.faults = {testsupport::ScriptedFtp::Fault::holdAt(QStringLiteral("STOR#1"), 1 << 20)}});
    apontarFtp(servidor.port());
    const QString arquivo = local.filePath(QStringLiteral("backup da prefeitura.fbk"));
    testsupport::writeFile(arquivo, testsupport::ScriptedFtp::patternBytes(3 << 20));
    auto w = aberta(instalacaoVazia());
    dialogos->arquivosAbrir = {arquivo};
    QString barra;
    QuandoSegurar fechar(servidor, [&] {
        testsupport::waitUntil([&] { QCoreApplication::processEvents(); return w->ui->pgbr->value() > 0; }, std::chrono::seconds(10));
        barra = static_cast<BarraProgresso*>(w->ui->pgbr)->textoCompleto();
        dialogos->respostas = {mb::IdNo};
        w->close();
        EXPECT_TRUE(w->isVisible());
        servidor.release();
    });
    clicarEEsperar(*w, w->ui->btnUpload);
    ASSERT_TRUE(fechar.agiu());
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^backup da prefeitura\\.fbk: \\d+ % · [\\d,]+ [KM]iB de 3,0 MiB"))
                    .match(barra)
                    .hasMatch())
        << barra.toStdString();
    const auto& pergunta = dialogos->caixas.front();
    EXPECT_EQ(pergunta.texto, QStringLiteral("Há uma transferência em andamento (backup da prefeitura.fbk). Deseja cancelá-la e sair?"));
    EXPECT_EQ(pergunta.titulo, QStringLiteral("Sair"));
    EXPECT_EQ(pergunta.flags, mb::Question | mb::DefaultButton2);
    EXPECT_TRUE(linhasDoLog(*w).contains(
        QStringLiteral("Resposta \"Não\" (Sair): Há uma transferência em andamento (backup da prefeitura.fbk). Deseja cancelá-la e sair?")));
    // The send went on to its end: the server holds the whole file.
    const auto arquivos = servidor.files();
    EXPECT_EQ(arquivos.size(), 1);
    EXPECT_EQ(arquivos.first(), testsupport::ScriptedFtp::storedOf(testsupport::ScriptedFtp::patternBytes(3 << 20)));
}

// "Cancelar", which shows only while a transfer runs, takes Enter too.
TEST_F(Escritorio, EnterOnCancelarStopsTheTransfer)
{
    testsupport::ScriptedFtp servidor(QStringLiteral("normal"),
                                      {.faults = {testsupport::ScriptedFtp::Fault::holdAt(QStringLiteral("STOR#1"), 1 << 20)}});
    apontarFtp(servidor.port());
    const QString arquivo = local.filePath(QStringLiteral("backup.fbk"));
    testsupport::writeFile(arquivo, testsupport::ScriptedFtp::patternBytes(3 << 20));
    auto w = aberta(instalacaoVazia());
    dialogos->arquivosAbrir = {arquivo};
    bool visivel = false;
    QuandoSegurar cancelar(servidor, [&] {
        // The transfer's start is on its way to the window (the server holds it
        // after 1 MiB): the button shows once the window has taken it.
        visivel = testsupport::waitUntil(
            [&] {
                QCoreApplication::processEvents();
                return mostrado(w->ui->btnCancelar, *w);
            },
            std::chrono::seconds(10));
        w->ui->btnCancelar->setFocus(Qt::TabFocusReason);
        QTest::keyClick(w->ui->btnCancelar, Qt::Key_Return);
        servidor.release();
    });
    clicarEEsperar(*w, w->ui->btnUpload);
    ASSERT_TRUE(cancelar.agiu());
    EXPECT_TRUE(visivel);
    EXPECT_TRUE(linhasDoLog(*w).contains(QStringLiteral("Transferência cancelada pelo usuário"))) << linhasDoLog(*w).join('\n').toStdString();
    for (const QString& nome : servidor.files().keys())
        EXPECT_TRUE(nome.endsWith(QStringLiteral(".parcial"))) << nome.toStdString() << ": nothing under a final name";
}

// A file another run on this computer is sending (the nightly job): the window says
// so in a box and sends nothing.
TEST_F(Escritorio, AFileAnotherRunSendsIsSaidInABox)
{
    testsupport::ScriptedFtp servidor(QStringLiteral("normal"));
    apontarFtp(servidor.port());
    const QString arquivo = local.filePath(QStringLiteral("backup.fbk"));
    testsupport::writeFile(arquivo, "dados");
    LocalFileLock outra(arquivo);
    ASSERT_TRUE(outra.tryLock());
    auto w = aberta(instalacaoVazia());
    dialogos->arquivosAbrir = {arquivo};
    clicarEEsperar(*w, w->ui->btnUpload);
    ASSERT_EQ(dialogos->caixas.size(), 1u);
    EXPECT_EQ(dialogos->caixas[0].texto,
              QStringLiteral("O arquivo %1 já está sendo enviado por outra execução deste programa neste computador (o processo %2). "
                             "Aguarde o fim desse envio e tente de novo.")
                  .arg(QDir::toNativeSeparators(arquivo))
                  .arg(QCoreApplication::applicationPid()));
    EXPECT_EQ(dialogos->caixas[0].titulo, QStringLiteral("Atenção"));
    EXPECT_TRUE(servidor.commands().filter(QStringLiteral("STOR")).isEmpty());
    // Once the other run is done, the same file goes.
    outra.unlock();
    dialogos->arquivosAbrir = {arquivo};
    clicarEEsperar(*w, w->ui->btnUpload);
    EXPECT_FALSE(servidor.commands().filter(QStringLiteral("STOR")).isEmpty());
}

// The log pane wraps: the advice at the end of a long line is on screen at the
// window's narrowest.
TEST_F(Escritorio, TheLogWraps)
{
    apontarFtp(testsupport::closedPort());
    auto w = aberta(instalacaoVazia());
    w->resize(w->minimumSizeHint());
    AcessoTeste::MostrarLog(*w);
    const QString longa = QStringLiteral("Não foi possível conectar ao servidor FTP: verifique a conexão com a internet, o firewall e o "
                                         "proxy, e tente de novo; se persistir, informe o suporte.");
    AcessoTeste::Log(*w, longa);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QCoreApplication::processEvents();
    QPlainTextEdit* log = w->ui->memoLog;
    EXPECT_EQ(log->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    const QTextBlock bloco = log->document()->lastBlock();
    ASSERT_EQ(bloco.text(), longa);
    EXPECT_GT(bloco.layout()->lineCount(), 1);
    EXPECT_EQ(log->horizontalScrollBar()->maximum(), 0) << "nothing beyond the right edge";
}

// The window's size and the log's state and height come back the next day.
TEST_F(Escritorio, GeometryAndTheLogAreRemembered)
{
    apontarFtp(testsupport::closedPort());
    const QString ini = local.filePath(QStringLiteral("preferencias.ini"));
    const auto janela = [&] {
        TfPrincipal::Dependencias deps;
        deps.dialogos = dialogos;
        const QString pasta = instalacaoVazia();
        deps.criarSistema = [pasta] { return std::make_shared<TQuintaraConexaoInstalada>(pasta + QStringLiteral("/FTPCaldoria"), [] { return 2017; }); };
        deps.preferencias = [ini] { return std::make_unique<QSettings>(ini, QSettings::IniFormat); };
        auto w = std::make_unique<TfPrincipal>(std::move(deps));
        AcessoTeste::esperar(*w);
        w->show();
        QCoreApplication::processEvents();
        return w;
    };
    QSize tamanho;
    int alturaDoLog = 0;
    {
        auto w = janela();
        EXPECT_EQ(w->ui->memoLog->height(), 0) << "closed on the first day";
        w->resize(w->width() + 57, w->height() + 83);
        AcessoTeste::MostrarLog(*w);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        QCoreApplication::processEvents();
        tamanho = w->size();
        alturaDoLog = w->ui->memoLog->height();
        ASSERT_GT(alturaDoLog, 0);
        w->close();
    }
    auto w = janela();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QCoreApplication::processEvents();
    EXPECT_EQ(w->size(), tamanho);
    EXPECT_EQ(w->ui->memoLog->height(), alturaDoLog);
    EXPECT_EQ(w->ui->memoLog->focusPolicy(), Qt::StrongFocus) << "an open log takes the focus again";
}

}

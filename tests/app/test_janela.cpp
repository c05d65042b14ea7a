// The window at start, its log, its busy and ready states, and how failures
// are reported.
#include "AcessoTeste.h"
#include "TestSupport.h"
#include "Formatos.h"
#include "TextoElidido.h"
#include "Translations.h"
#include "uTFtpQuintaraUtil.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QApplication>
#include <QFile>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLibraryInfo>
#include <QMouseEvent>
#include <QTest>
#include <QTranslator>
#include <QTreeView>

#include <gtest/gtest.h>

namespace {

class Janela : public ::testing::Test {
protected:
    QTemporaryDir pasta;
    std::shared_ptr<DialogosRoteirizados> dialogos = std::make_shared<DialogosRoteirizados>();

    std::unique_ptr<TfPrincipal> abrir() { return novaJanela(pasta.path(), dialogos); }
    void ini(const QString& nome, const QByteArray& conteudo) { testsupport::writeFile(pasta.filePath(nome), conteudo); }
};

TEST_F(Janela, CaptionCarriesTheExecutablesVersionWithThePhase)
{
    auto w = abrir();
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Utilitário FTP Caldoria 1.0.10.1/RC"));
}

TEST_F(Janela, StartUpLogWithoutAnInstalledSystem)
{
    auto w = abrir();
    EXPECT_EQ(linhasDoLog(*w), (QStringList{QStringLiteral("Identificando Sistema Quintara"),
                                            QStringLiteral("Nenhum sistema Quintara identificado")}));
    EXPECT_EQ(w->sistema(), qncNenhum);
}

TEST_F(Janela, StartUpLogNamesTheIdentifiedSystem)
{
    struct Caso {
        const char* arquivo;
        const char* linha;
    };
    const Caso casos[] = {
        {"korv.ini", "Sistema KORV identificado"},
        {"JEBIN.ini", "Sistema JEB 2017 identificado"},
        {"quizib.ini", "Sistema QUIZIB identificado"},
    };
    for (const Caso& c : casos) {
        QTemporaryDir outra;
        testsupport::writeFile(outra.filePath(QLatin1String(c.arquivo)), "[X]\n");
        auto w = novaJanela(outra.path(), dialogos);
        EXPECT_EQ(linhasDoLog(*w),
                  (QStringList{QStringLiteral("Identificando Sistema Quintara"), QString::fromUtf8(c.linha)}))
            << c.arquivo;
    }
}

TEST_F(Janela, StartState)
{
    auto w = abrir();
    w->show();
    EXPECT_EQ(w->ui->PageControl1->currentWidget(), w->ui->tsNenhum);
    EXPECT_FALSE(w->ui->PageControl1->tabBar()->isVisible());
    EXPECT_FALSE(w->ui->pnlAguarde->isVisible());
    EXPECT_FALSE(w->ui->btnDownloadSelected->isEnabled());
    EXPECT_FALSE(w->ui->btnDelete->isEnabled());
    EXPECT_TRUE(w->ui->btnViewFiles->isEnabled());
    EXPECT_TRUE(w->ui->btnUpload->isEnabled());
    EXPECT_TRUE(w->ui->btnRefresh->isEnabled());
    EXPECT_FALSE(w->ui->btnProxy->isVisible());
    EXPECT_EQ(w->ui->pnlCliente->text(), QStringLiteral(" Selecione uma opção"));
    EXPECT_EQ(w->ui->memoLog->height(), 0);
    EXPECT_TRUE(w->directory().isEmpty());
    EXPECT_FALSE(w->baseCorrompida());
    // Every control is found by the name support staff know.
    for (const char* nome : {"Panel1", "imgAguarde", "pnlAguarde", "lbVerbose", "pgbr", "btnViewFiles", "btnUpload", "btnProxy",
                             "pnlCliente", "Splitter1", "PageControl1", "TabSheet1", "TabSheet2", "TabSheet3", "TabSheet4",
                             "tsNenhum", "Panel2", "btnRefresh", "btnDownloadSelected", "btnDelete", "ListView1", "Label3",
                             "Label1", "edtNomeArquivo", "btnDownloadFinal", "edtUploadUniqueName", "edtProxyHost",
                             "edtProxyPort", "edtProxyUsername", "edtProxyPassword", "Label2", "cbProxyType", "Panel3",
                             "memoLog"})
        EXPECT_NE(w->findChild<QWidget*>(QLatin1String(nome)), nullptr) << nome;
    // Hints are stored, never shown.
    EXPECT_TRUE(w->ui->btnUpload->toolTip().isEmpty());
    EXPECT_EQ(w->ui->btnUpload->property("hint").toString(), QStringLiteral("Envia um Arquivo do Seu Computador para o FTP da Quintara"));
}

TEST_F(Janela, BusyAndReadyStates)
{
    for (bool comSelecao : {false, true}) {
        auto w = abrir();
        w->show();
        mostrarListagem(*w, {QStringLiteral("a.txt"), QStringLiteral("b.txt")});
        if (comSelecao)
            selecionarLinha(*w, 1);

        AcessoTeste::Aguardar(*w, 1000, QStringLiteral("Aguarde"));
        EXPECT_TRUE(w->ui->pnlAguarde->isVisible());
        EXPECT_EQ(w->ui->lbVerbose->text(), QStringLiteral("Aguarde"));
        EXPECT_EQ(w->ui->pgbr->maximum(), 1000);
        EXPECT_EQ(w->ui->pgbr->value(), 0);
        for (QWidget* c : std::initializer_list<QWidget*>{w->ui->btnViewFiles, w->ui->btnUpload, w->ui->btnRefresh, w->ui->btnDownloadSelected,
                                                          w->ui->btnDelete, w->ui->ListView1})
            EXPECT_FALSE(c->isEnabled()) << c->objectName().toStdString();
        EXPECT_TRUE(w->ui->btnDownloadFinal->isEnabled());

        // An empty text leaves the label as it was.
        AcessoTeste::Aguardar(*w, 10, QString());
        EXPECT_EQ(w->ui->lbVerbose->text(), QStringLiteral("Aguarde"));

        AcessoTeste::Liberar(*w);
        EXPECT_TRUE(w->ui->btnViewFiles->isEnabled());
        EXPECT_TRUE(w->ui->btnUpload->isEnabled());
        EXPECT_TRUE(w->ui->btnRefresh->isEnabled());
        EXPECT_TRUE(w->ui->ListView1->isEnabled());
        EXPECT_EQ(w->ui->btnDownloadSelected->isEnabled(), comSelecao);
        EXPECT_EQ(w->ui->btnDelete->isEnabled(), comSelecao);
        EXPECT_EQ(w->ui->lbVerbose->text(), QStringLiteral("Concluído"));
        EXPECT_TRUE(w->ui->pnlAguarde->isVisible()) << "the panel stays once shown";
    }
}

TEST_F(Janela, SelectionEnablesTheRowButtons)
{
    auto w = abrir();
    w->show();
    mostrarListagem(*w, {QStringLiteral("a.txt")});
    selecionarLinha(*w, 0);
    EXPECT_TRUE(w->ui->btnDelete->isEnabled());
    EXPECT_TRUE(w->ui->btnDownloadSelected->isEnabled());
    selecionarLinha(*w, -1);
    EXPECT_FALSE(w->ui->btnDelete->isEnabled());
    EXPECT_FALSE(w->ui->btnDownloadSelected->isEnabled());

    // A new listing, or the row deleted, takes the selection with it.
    selecionarLinha(*w, 0);
    mostrarListagem(*w, {QStringLiteral("b.txt")});
    EXPECT_EQ(linhasSelecionadas(*w), 0);
    EXPECT_FALSE(w->ui->btnDelete->isEnabled());
    selecionarLinha(*w, 0);
    w->arquivos().removeFileRow(0);
    EXPECT_FALSE(w->ui->btnDelete->isEnabled());
    EXPECT_FALSE(w->ui->btnDownloadSelected->isEnabled());
}

// Mouse events as a real press, drag and release on a widget make them.
void mouse(QWidget* w, QEvent::Type tipo, QPoint onde, Qt::MouseButtons botoes)
{
    QMouseEvent e(tipo, onde, w->mapToGlobal(onde), Qt::LeftButton, botoes, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

void clicarCabecalho(QTreeView& lista, int coluna)
{
    QHeaderView* h = lista.header();
    const QPoint meio(h->sectionViewportPosition(coluna) + h->sectionSize(coluna) / 2, h->height() / 2);
    QTest::mouseClick(h->viewport(), Qt::LeftButton, Qt::NoModifier, meio);
}

QStringList nomesVistos(TfPrincipal& w)
{
    QStringList nomes;
    for (int i = 0; i < linhasNaLista(w); ++i)
        nomes << celula(w, i, 0);
    return nomes;
}

// The chosen row must stand out: the whole row in the platform's highlight, not
// the list's background.
TEST_F(Janela, TheSelectedRowIsHighlighted)
{
    auto w = abrir();
    w->show();
    w->ui->PageControl1->setCurrentWidget(w->ui->TabSheet1);
    mostrarListagem(*w, {QStringLiteral("a.txt"), QStringLiteral("b.txt"), QStringLiteral("c.txt")});
    QTreeView& lista = *w->ui->ListView1;
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    const QRect linha1 = lista.visualRect(lista.model()->index(1, 0));
    QTest::mouseClick(lista.viewport(), Qt::LeftButton, Qt::NoModifier, linha1.center());
    ASSERT_TRUE(lista.selectionModel()->isRowSelected(1, {}));
    EXPECT_TRUE(w->ui->btnDownloadSelected->isEnabled());

    const QImage imagem = lista.viewport()->grab().toImage();
    // Away from the text: near the right end of the row, in the Tamanho column's left part.
    const int x = lista.header()->sectionViewportPosition(1) + 4;
    const QColor selecionada = imagem.pixelColor(x, linha1.center().y());
    const QColor outra = imagem.pixelColor(x, lista.visualRect(lista.model()->index(2, 0)).center().y());
    const QPalette& p = lista.palette();
    const QColor destaque = p.color(lista.isActiveWindow() ? QPalette::Active : QPalette::Inactive, QPalette::Highlight);
    // The style may shade its highlight a little.
    auto distancia = [](const QColor& a, const QColor& b) {
        return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()), std::abs(a.blue() - b.blue())});
    };
    EXPECT_LE(distancia(selecionada, destaque), 16) << selecionada.name().toStdString() << " vs " << destaque.name().toStdString();
    EXPECT_GE(distancia(selecionada, outra), 64) << selecionada.name().toStdString() << " vs " << outra.name().toStdString();
    EXPECT_NE(p.color(QPalette::Highlight).rgb(), p.color(QPalette::Base).rgb());
    EXPECT_NE(p.color(QPalette::HighlightedText).rgb(), p.color(QPalette::Highlight).rgb());
}

TEST_F(Janela, ColumnsStartAtTheirWidthsAndTheUserResizesThem)
{
    auto w = abrir();
    w->show();
    w->ui->PageControl1->setCurrentWidget(w->ui->TabSheet1);
    mostrarListagem(*w, {QStringLiteral("a.txt")});
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    QHeaderView* h = w->ui->ListView1->header();
    // At least their widths on Windows, and wide enough for their texts in this font.
    const int tamanho = h->sectionSize(1);
    const int data = h->sectionSize(2);
    EXPECT_GE(tamanho, 100);
    EXPECT_GE(data, 120);
    const QFontMetrics fm(w->ui->ListView1->font());
    EXPECT_GT(tamanho, fm.horizontalAdvance(TextoTamanho(9999999999LL, QLocale())));
    EXPECT_GT(data, fm.horizontalAdvance(celula(*w, 0, 2)));
    EXPECT_EQ(h->sectionSize(0) + tamanho + data, h->viewport()->width()) << "the name takes the rest";
    EXPECT_EQ(celula(*w, 0, 0), QStringLiteral("a.txt"));
    EXPECT_EQ(w->ui->ListView1->model()->headerData(2, Qt::Horizontal).toString(), QStringLiteral("Data/Hora"));
    EXPECT_EQ(w->ui->ListView1->model()->index(0, 1).data(Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignHorizontal_Mask,
              Qt::AlignRight);
    EXPECT_EQ(w->ui->ListView1->model()->index(0, 2).data(Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignHorizontal_Mask,
              Qt::AlignHCenter);

    // The user drags the right edge of "Data/Hora" 60 pixels to the left, then
    // the one between "Tamanho" and "Data/Hora" 30 to the right.
    auto arrastar = [&](int borda, int dx) {
        const QPoint de(borda - 1, h->height() / 2);
        mouse(h->viewport(), QEvent::MouseButtonPress, de, Qt::LeftButton);
        mouse(h->viewport(), QEvent::MouseMove, de + QPoint(dx / 2, 0), Qt::LeftButton);
        mouse(h->viewport(), QEvent::MouseMove, de + QPoint(dx, 0), Qt::LeftButton);
        mouse(h->viewport(), QEvent::MouseButtonRelease, de + QPoint(dx, 0), Qt::NoButton);
    };
    arrastar(h->sectionViewportPosition(2) + h->sectionSize(2), -60);
    EXPECT_EQ(h->sectionSize(2), data - 60);
    arrastar(h->sectionViewportPosition(1) + h->sectionSize(1), 30);
    EXPECT_EQ(h->sectionSize(1), tamanho + 30);
    EXPECT_EQ(h->sectionSize(0) + tamanho + data - 30, h->viewport()->width());
}

// As received until the user clicks a header; a click sorts, the next reverses,
// the third goes back to the order as received. A refresh keeps the user's order.
TEST_F(Janela, SortingByAClickOnAHeader)
{
    auto w = abrir();
    w->show();
    w->ui->PageControl1->setCurrentWidget(w->ui->TabSheet1);
    const QStringList recebidos{QStringLiteral("b.txt"), QStringLiteral("C.txt"), QStringLiteral("a.txt")}; // sizes 0, 1000, 2000
    mostrarListagem(*w, recebidos);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    QTreeView& lista = *w->ui->ListView1;
    EXPECT_EQ(nomesVistos(*w), recebidos);

    clicarCabecalho(lista, 0);
    EXPECT_EQ(nomesVistos(*w), (QStringList{QStringLiteral("a.txt"), QStringLiteral("b.txt"), QStringLiteral("C.txt")}));
    clicarCabecalho(lista, 0);
    EXPECT_EQ(nomesVistos(*w), (QStringList{QStringLiteral("C.txt"), QStringLiteral("b.txt"), QStringLiteral("a.txt")}));
    clicarCabecalho(lista, 0);
    EXPECT_EQ(nomesVistos(*w), recebidos);

    // The selection follows its row through a sort.
    selecionarLinha(*w, 0);
    clicarCabecalho(lista, 1);
    clicarCabecalho(lista, 1);
    EXPECT_EQ(nomesVistos(*w), (QStringList{QStringLiteral("a.txt"), QStringLiteral("C.txt"), QStringLiteral("b.txt")}));
    EXPECT_EQ(celula(*w, 0, 1), QStringLiteral("1,953 KiB"));
    ASSERT_EQ(linhasSelecionadas(*w), 1);
    EXPECT_EQ(lista.selectionModel()->selectedRows().first().data().toString(), QStringLiteral("b.txt"));

    mostrarListagem(*w, {QStringLiteral("x"), QStringLiteral("y"), QStringLiteral("z")});
    EXPECT_EQ(nomesVistos(*w), (QStringList{QStringLiteral("z"), QStringLiteral("y"), QStringLiteral("x")}));
}

// A double click downloads the row, the Delete key asks to delete it.
TEST_F(Janela, DoubleClickAndDeleteKey)
{
    auto w = abrir();
    w->show();
    w->ui->PageControl1->setCurrentWidget(w->ui->TabSheet1);
    mostrarListagem(*w, {QStringLiteral("a.txt"), QStringLiteral("b.txt")});
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    QTreeView& lista = *w->ui->ListView1;
    const QPoint b = lista.visualRect(lista.model()->index(1, 0)).center();
    QTest::mouseClick(lista.viewport(), Qt::LeftButton, Qt::NoModifier, b);
    QTest::mouseDClick(lista.viewport(), Qt::LeftButton, Qt::NoModifier, b);
    ASSERT_EQ(dialogos->dialogosSalvar.size(), 1u);
    EXPECT_EQ(dialogos->dialogosSalvar[0].titulo, QStringLiteral("Salvar Arquivo"));
    EXPECT_EQ(dialogos->dialogosSalvar[0].argumento, QStringLiteral("b.txt"));

    lista.setFocus();
    dialogos->respostas = {mb::IdNo};
    QTest::keyClick(&lista, Qt::Key_Delete);
    ASSERT_EQ(dialogos->caixas.size(), 1u);
    EXPECT_EQ(dialogos->caixas[0].texto, QStringLiteral("Confirma a Exclusão do Arquivo Selecionado?"));
    EXPECT_EQ(dialogos->caixas[0].flags, 36);
    EXPECT_EQ(linhasNaLista(*w), 2) << "answered No: nothing deleted";
}

// A name longer than a row can show (the listing refuses only names no file system
// allows): the list shows its start, the operations use it whole.
TEST_F(Janela, AVeryLongNameIsShownCut)
{
    auto w = abrir();
    const QString longo(1000, QLatin1Char('n'));
    mostrarListagem(*w, {longo, QStringLiteral("curto.txt")});
    const QString visto = celula(*w, 0, 0);
    EXPECT_EQ(visto.size(), FileListModel::kShownNameLength + 1);
    EXPECT_TRUE(visto.endsWith(QChar(0x2026)));
    EXPECT_EQ(nomesDaLista(*w), (QStringList{longo, QStringLiteral("curto.txt")}));
    EXPECT_EQ(celula(*w, 1, 0), QStringLiteral("curto.txt"));
}

// Control characters and reordering marks in a name are painted as escapes; the
// operations still get the name as the server sent it.
TEST_F(Janela, ControlCharactersInANameArePaintedAsEscapes)
{
    auto w = abrir();
    const QString nome = QStringLiteral("fatura\u202Etxt.exe\a");
    mostrarListagem(*w, {nome});
    EXPECT_EQ(celula(*w, 0, 0), QStringLiteral("fatura\\u202Etxt.exe\\x07"));
    EXPECT_EQ(nomesDaLista(*w), QStringList{nome});
}

TEST(Traducoes, QtsOwnTextsInPortuguese)
{
    const QLocale br(QLocale::Portuguese, QLocale::Brazil);
    QTranslator tradutor;
    ASSERT_TRUE(loadQtTranslation(tradutor, br, qtTranslationFolders())) << "qt6-translations-l10n installed?";
    EXPECT_EQ(tradutor.translate("QPlatformTheme", "Cancel"), QStringLiteral("Cancelar"));
    EXPECT_EQ(tradutor.translate("QFileDialog", "Look in:"), QStringLiteral("Procurar em:"));

    // In a folder of their own, as beside the packaged executable.
    QString origem;
    for (const QString& p : qtTranslationFolders())
        if (origem.isEmpty() && QFile::exists(p + QStringLiteral("/qtbase_pt_BR.qm")))
            origem = p + QStringLiteral("/qtbase_pt_BR.qm");
    QTemporaryDir pasta;
    ASSERT_TRUE(QFile::copy(origem, pasta.filePath(QStringLiteral("qtbase_pt_BR.qm"))));
    QTranslator aoLado;
    EXPECT_TRUE(loadQtTranslation(aoLado, QLocale(QLocale::Portuguese, QLocale::Portugal),
                                  {pasta.filePath(QStringLiteral("nao-existe")), pasta.path()}));
    EXPECT_EQ(aoLado.translate("QPlatformTheme", "Cancel"), QStringLiteral("Cancelar"));

    QTranslator ingles;
    EXPECT_FALSE(loadQtTranslation(ingles, QLocale(QLocale::English, QLocale::UnitedStates), qtTranslationFolders()));
}

TEST_F(Janela, UploadProgressEventsDriveTheBar)
{
    auto w = abrir();
    w->show();
    AcessoTeste::WorkBegin(*w, wmWrite, 5000);
    EXPECT_EQ(w->ui->lbVerbose->text(), QStringLiteral("Aguarde, enviando arquivo..."));
    EXPECT_FALSE(w->ui->btnUpload->isEnabled());
    EXPECT_EQ(w->ui->pgbr->maximum(), 5000);
    AcessoTeste::Work(*w, wmWrite, 2500);
    EXPECT_EQ(w->ui->pgbr->value(), 2500);
    AcessoTeste::Work(*w, wmWrite, 5000);
    AcessoTeste::WorkEnd(*w, wmWrite);
    EXPECT_EQ(w->ui->pgbr->value(), w->ui->pgbr->maximum());
    EXPECT_TRUE(w->ui->btnUpload->isEnabled());
    EXPECT_EQ(w->ui->lbVerbose->text(), QStringLiteral("Concluído"));

    // A download is busy from the start too, with the size the session asked for.
    AcessoTeste::WorkBegin(*w, wmRead, 800);
    EXPECT_EQ(w->ui->lbVerbose->text(), QStringLiteral("Aguarde, baixando arquivo..."));
    EXPECT_FALSE(w->ui->btnUpload->isEnabled());
    EXPECT_EQ(w->ui->pgbr->maximum(), 800);
    EXPECT_EQ(w->ui->pgbr->value(), 0);
}

// What the bar shows as painted: its text once the window has laid it out.
QString naBarra(TfPrincipal& w)
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    return w.ui->pgbr->text();
}

// What the user reads while a transfer runs and after it: done of total, speed
// and time left in the bar, and a label that tells how it ended.
TEST_F(Janela, ProgressAsTheUserReadsIt)
{
    auto w = abrir();
    w->resize(900, w->height());
    w->show();
    std::int64_t agora = 0;
    AcessoTeste::Relogio(*w, [&agora] { return agora; });
    const std::int64_t GiB = 1LL << 30;
    const std::int64_t total = 3 * GiB + GiB / 5; // 3,2 GiB

    AcessoTeste::WorkBegin(*w, wmWrite, total);
    EXPECT_EQ(naBarra(*w), QStringLiteral("0 % · 0 B de 3,2 GiB"));
    AcessoTeste::Work(*w, wmWrite, 0);
    agora = 100000; // 1.1 GiB in 100 s
    AcessoTeste::Work(*w, wmWrite, GiB + GiB / 10);
    EXPECT_EQ(naBarra(*w), QStringLiteral("34 % · 1,1 GiB de 3,2 GiB · 11,3 MiB/s · 3 min restantes"));
    agora = 290000; // 12 MiB left: 1 s to go at the same speed
    AcessoTeste::Work(*w, wmWrite, total - 12 * (1 << 20));
    EXPECT_EQ(naBarra(*w), QStringLiteral("99 % · 3,2 GiB de 3,2 GiB · 11,3 MiB/s · 2 s restantes"));
    EXPECT_EQ(w->ui->lbVerbose->text(), QStringLiteral("Aguarde, enviando arquivo..."));
    AcessoTeste::Work(*w, wmWrite, total);
    // The check and the success box take their time: the speed is what the data took.
    agora = 900000;
    AcessoTeste::WorkEnd(*w, wmWrite, TransferOutcome::Completed);
    EXPECT_EQ(w->ui->lbVerbose->text(), QStringLiteral("Concluído"));
    EXPECT_EQ(naBarra(*w), QStringLiteral("100 % · 3,2 GiB de 3,2 GiB · 11,3 MiB/s"));
    EXPECT_EQ(w->ui->pgbr->value(), w->ui->pgbr->maximum());

    // A transfer that breaks off does not read "Concluído", nor one that was stopped.
    const std::pair<TransferOutcome, const char*> fins[] = {{TransferOutcome::Failed, "Transferência interrompida"},
                                                            {TransferOutcome::Cancelled, "Transferência cancelada"}};
    for (const auto& [fim, texto] : fins) {
        agora = 0;
        AcessoTeste::WorkBegin(*w, wmRead, 2 << 20);
        agora = 1000;
        AcessoTeste::Work(*w, wmRead, 512 << 10);
        AcessoTeste::WorkEnd(*w, wmRead, fim);
        EXPECT_EQ(w->ui->lbVerbose->text(), QString::fromUtf8(texto));
        EXPECT_EQ(naBarra(*w), QStringLiteral("25 % · 512,0 KiB de 2,0 MiB")) << "stopped where it broke off";
        EXPECT_TRUE(w->ui->btnUpload->isEnabled());
    }

    // An empty file: a finished bar, not a busy indicator that runs on.
    AcessoTeste::WorkBegin(*w, wmWrite, 0);
    AcessoTeste::WorkEnd(*w, wmWrite, TransferOutcome::Completed);
    EXPECT_GT(w->ui->pgbr->maximum(), w->ui->pgbr->minimum());
    EXPECT_EQ(w->ui->pgbr->value(), w->ui->pgbr->maximum());
    EXPECT_EQ(naBarra(*w), QStringLiteral("100 % · 0 B de 0 B"));
    EXPECT_EQ(w->ui->lbVerbose->text(), QStringLiteral("Concluído"));
}

// The speed counts what moved in this attempt over the time it took: not the part
// an earlier run left on the server (announced as the first progress), not what
// stood there when a new attempt resumed, not a pause with nothing moving.
TEST_F(Janela, SpeedCountsOnlyWhatThisAttemptMoved)
{
    const std::int64_t MiB = 1 << 20;
    struct Caso {
        const char* nome;
        std::function<void(TfPrincipal&)> inicio; // at 0 ms
        const char* texto;                        // after 96 MiB at 2 s
    };
    const Caso casos[] = {
        {"an earlier run's 90 MiB announced at the start",
         [&](TfPrincipal& w) {
             AcessoTeste::WorkBegin(w, wmWrite, 100 * MiB);
             AcessoTeste::Work(w, wmWrite, 90 * MiB);
         },
         "96 % · 96,0 MiB de 100,0 MiB · 3,0 MiB/s · 2 s restantes"},
        {"a new attempt from 90 MiB after 40 MiB moved",
         [&](TfPrincipal& w) {
             AcessoTeste::WorkBegin(w, wmWrite, 100 * MiB);
             AcessoTeste::Work(w, wmWrite, 50 * MiB);
             AcessoTeste::Work(w, wmWrite, 90 * MiB);
             AcessoTeste::Reportar(w, [&](FtpSessionEvents& e) { e.transferResumed(wmWrite, 90 * MiB); });
         },
         "96 % · 96,0 MiB de 100,0 MiB · 3,0 MiB/s · 2 s restantes"},
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.nome);
        auto w = abrir();
        w->resize(900, w->height());
        w->show();
        std::int64_t agora = 0;
        AcessoTeste::Relogio(*w, [&agora] { return agora; });
        c.inicio(*w);
        agora = 2000;
        AcessoTeste::Work(*w, wmWrite, 96 * MiB);
        EXPECT_EQ(naBarra(*w), QString::fromUtf8(c.texto));
    }
}

TEST_F(Janela, ProgressOfFilesBeyond32BitsIsScaled)
{
    auto w = abrir();
    w->show();
    const std::int64_t cinco = 5LL << 30;
    AcessoTeste::WorkBegin(*w, wmWrite, cinco);
    EXPECT_GT(w->ui->pgbr->maximum(), 0);
    AcessoTeste::Work(*w, wmWrite, cinco / 2);
    EXPECT_NEAR(double(w->ui->pgbr->value()) / w->ui->pgbr->maximum(), 0.5, 0.001);
    AcessoTeste::Work(*w, wmWrite, cinco);
    EXPECT_EQ(w->ui->pgbr->value(), w->ui->pgbr->maximum());
}

TEST_F(Janela, SplitterRevealsTheLogOnce)
{
    auto w = abrir();
    w->show();
    const int altura = w->height();
    const QList<int> antes = w->ui->Splitter1->sizes();
    w->ui->Splitter1->setSizes({antes[0] - 80, 80});
    emit w->ui->Splitter1->splitterMoved(antes[0] - 80, 1);
    EXPECT_EQ(w->height(), altura + w->ui->memoLog->height());
    EXPECT_GT(w->ui->memoLog->height(), 0);
    const int depois = w->height();
    const QList<int> agora = w->ui->Splitter1->sizes();
    w->ui->Splitter1->setSizes({agora[0] - 20, agora[1] + 20});
    emit w->ui->Splitter1->splitterMoved(agora[0] - 20, 1);
    EXPECT_EQ(w->height(), depois);
}

TEST_F(Janela, EachExceptionClassIsReportedItsOwnWay)
{
    auto w = abrir();
    const int linhasAntes = static_cast<int>(linhasDoLog(*w).size());

    AcessoTeste::Excecao(*w, EUserWarning(QStringLiteral("Selecione um arquivo")));
    AcessoTeste::Excecao(*w, EUserException(QStringLiteral("Arquivo Não Encontrado no FTP")));
    ASSERT_EQ(dialogos->caixas.size(), 2u);
    EXPECT_EQ(dialogos->caixas[0].texto, QStringLiteral("Selecione um arquivo"));
    EXPECT_EQ(dialogos->caixas[0].titulo, QStringLiteral("Atenção"));
    EXPECT_EQ(dialogos->caixas[0].flags, 48);
    EXPECT_EQ(dialogos->caixas[1].texto, QStringLiteral("Arquivo Não Encontrado no FTP"));
    EXPECT_EQ(dialogos->caixas[1].titulo, QStringLiteral("Erro"));
    EXPECT_EQ(dialogos->caixas[1].flags, 16);
    // A warning is about what the user just did; an error box's text stays in the log once it is closed.
    ASSERT_EQ(linhasDoLog(*w).size(), linhasAntes + 1);
    EXPECT_EQ(linhasDoLog(*w).last(), QStringLiteral("Arquivo Não Encontrado no FTP"));

    AcessoTeste::Excecao(*w, ECadCliVazio(QStringLiteral("Não foi possível determinar a pasta do cliente")));
    AcessoTeste::Excecao(*w, Exception(QStringLiteral("550 Permission denied.")));
    AcessoTeste::Excecao(*w, Exception(QString()));
    EXPECT_EQ(dialogos->caixas.size(), 2u);
    const QStringList linhas = linhasDoLog(*w);
    ASSERT_EQ(linhas.size(), linhasAntes + 4);
    EXPECT_EQ(linhas[linhasAntes + 1], QStringLiteral("Não foi possível determinar a pasta do cliente"));
    EXPECT_EQ(linhas[linhasAntes + 2], QStringLiteral("550 Permission denied."));
    EXPECT_EQ(linhas[linhasAntes + 3], QString()) << "an empty message is an empty line";
}

TEST_F(Janela, NothingEscapesAHandler)
{
    auto w = abrir();
    w->show();
    // A click whose handler raises: the guard hands it to the application handler.
    w->ui->PageControl1->setCurrentWidget(w->ui->TabSheet2);
    w->ui->edtNomeArquivo->setText(QStringLiteral("   "));
    clicarEEsperar(*w, w->ui->btnDownloadFinal);
    ASSERT_EQ(dialogos->caixas.size(), 1u);
    EXPECT_EQ(dialogos->caixas[0].texto, QStringLiteral("Informe o nome completo do arquivo"));
    EXPECT_EQ(dialogos->caixas[0].flags, 48);

    // Foreign exceptions are logged with their text, anything else with a text of ours.
    AcessoTeste::Protegido(*w, [] { throw std::runtime_error("disk on fire"); });
    AcessoTeste::Protegido(*w, [] { throw 42; });
    const QStringList linhas = linhasDoLog(*w);
    EXPECT_EQ(linhas[linhas.size() - 2], QStringLiteral("disk on fire"));
    EXPECT_FALSE(linhas.last().isEmpty());
}

} // namespace

namespace {

TEST(Formatos, SizeInKiBInTheUsersLocale)
{
    const QLocale br(QLocale::Portuguese, QLocale::Brazil);
    const std::pair<std::int64_t, const char*> casos[] = {
        {0, "0,000 KiB"},
        {1, "0,001 KiB"},
        {1536, "1,500 KiB"},
        {1048576, "1.024,000 KiB"},
        {5368709120LL, "5.242.880,000 KiB"},
    };
    for (const auto& [bytes, texto] : casos)
        EXPECT_EQ(TextoTamanho(bytes, br), QString::fromUtf8(texto)) << bytes;
    EXPECT_EQ(TextoTamanho(1536, QLocale(QLocale::English, QLocale::UnitedStates)), QStringLiteral("1.500 KiB"));
}

TEST(Formatos, DateAndTimeWithTwoDigitsEach)
{
    const QDateTime quando(QDate(2017, 3, 5), QTime(7, 8, 9));
    EXPECT_EQ(TextoDataHora(quando, QLocale(QLocale::Portuguese, QLocale::Brazil)), QStringLiteral("05/03/2017 07:08:09"));
    EXPECT_EQ(TextoDataHora(quando, QLocale(QLocale::German, QLocale::Germany)), QStringLiteral("05.03.2017 07:08:09"));
    EXPECT_EQ(TextoDataHora(QDateTime(), QLocale()), QString());
}

// Binary units, as the file list's "204.800,000 KiB": the same file reads alike everywhere.
TEST(Formatos, AmountsOfDataInBinaryUnits)
{
    const QLocale br(QLocale::Portuguese, QLocale::Brazil);
    const std::pair<std::int64_t, const char*> casos[] = {
        {0, "0 B"},
        {1023, "1.023 B"},
        {1024, "1,0 KiB"},
        {1048524, "1.023,9 KiB"},
        {1048525, "1,0 MiB"}, // 1.023,95 KiB rounds up to the next unit, not to "1.024,0 KiB"
        {204800LL * 1024, "200,0 MiB"},
        {3LL << 30, "3,0 GiB"},
        {1234567890123LL, "1,1 TiB"},
        {INT64_MAX, "8,0 EiB"},
    };
    for (const auto& [bytes, texto] : casos)
        EXPECT_EQ(TextoBytes(bytes, br), QString::fromUtf8(texto)) << bytes;
}

TEST(Formatos, ProgressTextShowsDoneOfTotalSpeedAndTimeLeft)
{
    const QLocale br(QLocale::Portuguese, QLocale::Brazil);
    struct Caso {
        std::int64_t feito, total;
        double segundos;
        const char* texto;
    };
    const Caso casos[] = {
        {0, 1024, 0.0, "0 B de 1,0 KiB"},
        {512, 1024, 0.1, "512 B de 1,0 KiB"}, // too early for a speed
        {420LL << 20, 1LL << 30, 35.0, "420,0 MiB de 1,0 GiB · 12,0 MiB/s · 51 s restantes"},
        {1023, 1024, 0.999, "1.023 B de 1,0 KiB · 1,0 KiB/s · 1 s restante"},
        {1LL << 20, 71LL << 20, 1.0, "1,0 MiB de 71,0 MiB · 1,0 MiB/s · 1 min restante"},
        {100LL << 20, 1LL << 30, 100.0, "100,0 MiB de 1,0 GiB · 1,0 MiB/s · 15 min restantes"},
        {1LL << 20, 3601LL << 20, 1.0, "1,0 MiB de 3,5 GiB · 1,0 MiB/s · 1 h restante"},
        {10LL << 20, 10000LL << 20, 10.0, "10,0 MiB de 9,8 GiB · 1,0 MiB/s · 2 h 47 min restantes"},
        {5LL << 40, 10LL << 40, 2048.0, "5,0 TiB de 10,0 TiB · 2,5 GiB/s · 34 min restantes"},
        {1024, 1024, 2.0, "1,0 KiB de 1,0 KiB · 512 B/s"},
        {0, 0, 1.0, "0 B de 0 B"},
    };
    for (const Caso& c : casos) {
        const QString texto = TextoProgresso(c.feito, c.total, c.segundos, br);
        EXPECT_EQ(texto, QString::fromUtf8(c.texto)) << c.texto;
        // QProgressBar gives "%" a meaning of its own: our texts carry none.
        EXPECT_FALSE(texto.contains(QLatin1Char('%')));
    }
}

// The bar's text at every width: the least useful part goes first (the amounts,
// then the speed, then the name, cut in the middle before it goes), the percentage
// and the time left stay to the last.
TEST(Formatos, TheBarDropsTheLeastUsefulPartFirst)
{
    const QFont fonte;
    const QFontMetrics m(fonte);
    const PartesProgresso p{QStringLiteral("32 %"), QStringLiteral("1,2 GiB de 3,4 GiB"), QStringLiteral("11,8 MiB/s"),
                            QStringLiteral("3 min restantes")};
    const QString nome = QStringLiteral("backup da prefeitura de 2017.fbk");
    const QStringList passos{
        QStringLiteral("backup da prefeitura de 2017.fbk: 32 % · 1,2 GiB de 3,4 GiB · 11,8 MiB/s · 3 min restantes"),
        QStringLiteral("backup da prefeitura de 2017.fbk: 32 % · 11,8 MiB/s · 3 min restantes"),
        QStringLiteral("backup da prefeitura de 2017.fbk: 32 % · 3 min restantes"),
    };
    EXPECT_EQ(textoDoProgresso(nome, p), passos[0]);
    for (const QString& passo : passos) {
        const int largura = m.horizontalAdvance(passo);
        EXPECT_EQ(textoDoProgressoQueCabe(nome, p, m, largura), passo);
        EXPECT_NE(textoDoProgressoQueCabe(nome, p, m, largura - 1), passo);
    }
    // The name cut in the middle, its extension kept.
    const QString cortado = textoDoProgressoQueCabe(nome, p, m, m.horizontalAdvance(passos[2]) - m.horizontalAdvance(QStringLiteral("prefeitura")));
    EXPECT_TRUE(cortado.contains(QChar(0x2026))) << cortado.toStdString();
    EXPECT_TRUE(cortado.endsWith(QStringLiteral(".fbk: 32 % · 3 min restantes"))) << cortado.toStdString();
    // Then the name goes; the percentage and the time left stay.
    const QString semNome = QStringLiteral("32 % · 3 min restantes");
    EXPECT_EQ(textoDoProgressoQueCabe(nome, p, m, m.horizontalAdvance(semNome)), semNome);
    // Without a size nobody knows: the amount stays.
    const PartesProgresso semTotal{{}, QStringLiteral("1,2 GiB"), QStringLiteral("11,8 MiB/s"), {}};
    EXPECT_EQ(textoDoProgressoQueCabe(QString(), semTotal, m, m.horizontalAdvance(QStringLiteral("1,2 GiB"))), QStringLiteral("1,2 GiB"));
    for (int largura = m.horizontalAdvance(QStringLiteral("32 %")); largura < m.horizontalAdvance(passos[0]); largura += 7)
        EXPECT_LE(m.horizontalAdvance(textoDoProgressoQueCabe(nome, p, m, largura)), largura) << largura;
}

} // namespace

namespace {

// Whether text, as the widget paints it, fits its width: whole, or cut with "…".
void cabe(const QWidget& w, const QString& inteiro, const QString& pintado)
{
    EXPECT_LE(w.fontMetrics().horizontalAdvance(pintado), w.contentsRect().width()) << pintado.toStdString();
    EXPECT_TRUE(pintado == inteiro || (pintado.endsWith(QChar(0x2026)) && inteiro.startsWith(pintado.chopped(1))))
        << pintado.toStdString() << " / " << inteiro.toStdString();
}

// Whether child lies whole inside ancestor.
bool dentro(const QWidget& child, const QWidget& ancestor)
{
    const QRect r(child.mapTo(&ancestor, QPoint(0, 0)), child.size());
    return ancestor.rect().contains(r);
}

}

// At the window's minimum width, and at each scale the tests run under
// (QT_SCALE_FACTOR 1, 1.5, 2), the panel's label and bar paint their texts on one
// line that fits, cut where needed; the download-by-name page shows all of itself,
// its "Baixar" included, with the log open; and the window opens on the screen.
TEST_F(Janela, GeometryAtTheMinimumWidthAndEveryScale)
{
    auto w = abrir();
    w->show();
    QScreen* tela = w->screen();
    const QRect livre = tela->availableGeometry();
    const QRect moldura = w->frameGeometry();
    if (w->minimumSizeHint().width() <= livre.width() && w->minimumSizeHint().height() <= livre.height()) {
        EXPECT_TRUE(livre.contains(moldura)) << "window " << moldura.width() << "x" << moldura.height() << " on " << livre.width() << "x"
                                            << livre.height();
    }
    EXPECT_TRUE(livre.contains(moldura.topLeft())) << "the title bar is on the screen";

    w->resize(w->minimumSizeHint().width(), w->height());
    const std::int64_t GiB = 1LL << 30;
    std::int64_t agora = 0;
    AcessoTeste::Relogio(*w, [&agora] { return agora; });
    AcessoTeste::WorkBegin(*w, wmWrite, 3 * GiB);
    AcessoTeste::Work(*w, wmWrite, 0);
    agora = 100000;
    AcessoTeste::Work(*w, wmWrite, GiB);
    AcessoTeste::Waiting(*w, QStringLiteral("Conexão perdida; nova tentativa em 30 s (5 de 5) — aguarde, o envio continua sozinho"));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    auto* rotulo = static_cast<RotuloElidido*>(w->ui->lbVerbose);
    auto* barra = static_cast<BarraProgresso*>(w->ui->pgbr);
    cabe(*rotulo, rotulo->text(), rotulo->textoVisivel());
    EXPECT_LE(barra->fontMetrics().horizontalAdvance(barra->text()), barra->contentsRect().width()) << barra->text().toStdString();
    // The percentage and the time left stay whatever else goes.
    EXPECT_TRUE(barra->text().startsWith(QStringLiteral("33 % · "))) << barra->text().toStdString();
    EXPECT_TRUE(barra->text().endsWith(QStringLiteral(" restantes"))) << barra->text().toStdString();
    for (QWidget* c : std::initializer_list<QWidget*>{w->ui->lbVerbose, w->ui->pgbr, w->ui->btnCancelar, w->ui->btnViewFiles, w->ui->btnUpload})
        EXPECT_TRUE(dentro(*c, *w)) << c->objectName().toStdString();
    EXPECT_GE(barra->height(), barra->fontMetrics().height()) << "one line of text fits the bar's height";

    // The download-by-name page at the window's smallest, with the log open.
    AcessoTeste::WorkEnd(*w, wmWrite, TransferOutcome::Cancelled);
    w->ui->PageControl1->setCurrentWidget(w->ui->TabSheet2);
    w->resize(w->minimumSizeHint());
    AcessoTeste::MostrarLog(*w);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    ASSERT_GT(w->ui->memoLog->height(), 0);
    for (QWidget* c : std::initializer_list<QWidget*>{w->ui->Label1, w->ui->edtNomeArquivo, w->ui->btnDownloadFinal})
        EXPECT_TRUE(dentro(*c, *w->ui->TabSheet2)) << c->objectName().toStdString();
    EXPECT_GE(w->ui->Label1->height(), w->ui->Label1->heightForWidth(w->ui->Label1->width())) << "every line of the text shows";
    EXPECT_GE(w->ui->btnDownloadFinal->height(), w->ui->btnDownloadFinal->sizeHint().height());
}

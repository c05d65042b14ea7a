// The window at start, its log, its busy and ready states, and how failures
// are reported.
#include "AcessoTeste.h"
#include "TestSupport.h"
#include "Formatos.h"
#include "uTFtpQuintaraUtil.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTreeWidget>

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
    EXPECT_EQ(w->sistema()->GetSistema(), qncNenhum);
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
    EXPECT_EQ(w->PageControl1->currentWidget(), w->tsNenhum);
    EXPECT_FALSE(w->PageControl1->tabBar()->isVisible());
    EXPECT_FALSE(w->pnlAguarde->isVisible());
    EXPECT_FALSE(w->btnDownloadSelected->isEnabled());
    EXPECT_FALSE(w->btnDelete->isEnabled());
    EXPECT_TRUE(w->btnViewFiles->isEnabled());
    EXPECT_TRUE(w->btnUpload->isEnabled());
    EXPECT_TRUE(w->btnRefresh->isEnabled());
    EXPECT_FALSE(w->btnProxy->isVisible());
    EXPECT_EQ(w->pnlCliente->text(), QStringLiteral(" Selecione uma opção"));
    EXPECT_EQ(w->memoLog->height(), 0);
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
    EXPECT_TRUE(w->btnUpload->toolTip().isEmpty());
    EXPECT_EQ(w->btnUpload->property("hint").toString(), QStringLiteral("Envia um Arquivo do Seu Computador para o FTP da Quintara"));
}

TEST_F(Janela, BusyAndReadyStates)
{
    for (bool comSelecao : {false, true}) {
        auto w = abrir();
        w->show();
        w->ListView1->addTopLevelItem(new QTreeWidgetItem(QStringList{QStringLiteral("a.txt")}));
        w->ListView1->addTopLevelItem(new QTreeWidgetItem(QStringList{QStringLiteral("b.txt")}));
        if (comSelecao)
            w->ListView1->topLevelItem(1)->setSelected(true);

        AcessoTeste::Aguardar(*w, 1000, QStringLiteral("Aguarde"));
        EXPECT_TRUE(w->pnlAguarde->isVisible());
        EXPECT_EQ(w->lbVerbose->text(), QStringLiteral("Aguarde"));
        EXPECT_EQ(w->pgbr->maximum(), 1000);
        EXPECT_EQ(w->pgbr->value(), 0);
        for (QWidget* c : std::initializer_list<QWidget*>{w->btnViewFiles, w->btnUpload, w->btnRefresh, w->btnDownloadSelected,
                                                          w->btnDelete, w->ListView1})
            EXPECT_FALSE(c->isEnabled()) << c->objectName().toStdString();
        EXPECT_TRUE(w->btnDownloadFinal->isEnabled());

        // An empty text leaves the label as it was.
        AcessoTeste::Aguardar(*w, 10, QString());
        EXPECT_EQ(w->lbVerbose->text(), QStringLiteral("Aguarde"));

        AcessoTeste::Liberar(*w);
        EXPECT_TRUE(w->btnViewFiles->isEnabled());
        EXPECT_TRUE(w->btnUpload->isEnabled());
        EXPECT_TRUE(w->btnRefresh->isEnabled());
        EXPECT_TRUE(w->ListView1->isEnabled());
        EXPECT_EQ(w->btnDownloadSelected->isEnabled(), comSelecao);
        EXPECT_EQ(w->btnDelete->isEnabled(), comSelecao);
        EXPECT_EQ(w->lbVerbose->text(), QStringLiteral("Concluído"));
        EXPECT_TRUE(w->pnlAguarde->isVisible()) << "the panel stays once shown";
    }
}

TEST_F(Janela, SelectionEnablesTheRowButtons)
{
    auto w = abrir();
    w->show();
    w->ListView1->addTopLevelItem(new QTreeWidgetItem(QStringList{QStringLiteral("a.txt")}));
    w->ListView1->topLevelItem(0)->setSelected(true);
    EXPECT_TRUE(w->btnDelete->isEnabled());
    EXPECT_TRUE(w->btnDownloadSelected->isEnabled());
    w->ListView1->topLevelItem(0)->setSelected(false);
    EXPECT_FALSE(w->btnDelete->isEnabled());
    EXPECT_FALSE(w->btnDownloadSelected->isEnabled());
}

TEST_F(Janela, UploadProgressEventsDriveTheBar)
{
    auto w = abrir();
    w->show();
    AcessoTeste::WorkBegin(*w, wmWrite, 5000);
    EXPECT_EQ(w->lbVerbose->text(), QStringLiteral("Aguarde, enviando arquivo..."));
    EXPECT_FALSE(w->btnUpload->isEnabled());
    EXPECT_EQ(w->pgbr->maximum(), 5000);
    AcessoTeste::Work(*w, wmWrite, 2500);
    EXPECT_EQ(w->pgbr->value(), 2500);
    AcessoTeste::Work(*w, wmWrite, 5000);
    AcessoTeste::WorkEnd(*w, wmWrite);
    EXPECT_EQ(w->pgbr->value(), w->pgbr->maximum());
    EXPECT_TRUE(w->btnUpload->isEnabled());
    EXPECT_EQ(w->lbVerbose->text(), QStringLiteral("Concluído"));

    // A download only changes the text; its busy state comes from the caller.
    AcessoTeste::WorkBegin(*w, wmRead, 0);
    EXPECT_EQ(w->lbVerbose->text(), QStringLiteral("Aguarde, baixando arquivo..."));
    EXPECT_TRUE(w->btnUpload->isEnabled());
}

TEST_F(Janela, ProgressOfFilesBeyond32BitsIsScaled)
{
    auto w = abrir();
    w->show();
    const std::int64_t cinco = 5LL << 30;
    AcessoTeste::WorkBegin(*w, wmWrite, cinco);
    EXPECT_GT(w->pgbr->maximum(), 0);
    AcessoTeste::Work(*w, wmWrite, cinco / 2);
    EXPECT_NEAR(double(w->pgbr->value()) / w->pgbr->maximum(), 0.5, 0.001);
    AcessoTeste::Work(*w, wmWrite, cinco);
    EXPECT_EQ(w->pgbr->value(), w->pgbr->maximum());
}

TEST_F(Janela, SplitterRevealsTheLogOnce)
{
    auto w = abrir();
    w->show();
    const int altura = w->height();
    const QList<int> antes = w->Splitter1->sizes();
    w->Splitter1->setSizes({antes[0] - 80, 80});
    emit w->Splitter1->splitterMoved(antes[0] - 80, 1);
    EXPECT_EQ(w->height(), altura + w->memoLog->height());
    EXPECT_GT(w->memoLog->height(), 0);
    const int depois = w->height();
    const QList<int> agora = w->Splitter1->sizes();
    w->Splitter1->setSizes({agora[0] - 20, agora[1] + 20});
    emit w->Splitter1->splitterMoved(agora[0] - 20, 1);
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
    EXPECT_EQ(linhasDoLog(*w).size(), linhasAntes) << "boxes write nothing to the log";

    AcessoTeste::Excecao(*w, ECadCliVazio(QStringLiteral("Não foi possível determinar a pasta do cliente")));
    AcessoTeste::Excecao(*w, Exception(QStringLiteral("550 Permission denied.")));
    AcessoTeste::Excecao(*w, Exception(QString()));
    EXPECT_EQ(dialogos->caixas.size(), 2u);
    const QStringList linhas = linhasDoLog(*w);
    ASSERT_EQ(linhas.size(), linhasAntes + 3);
    EXPECT_EQ(linhas[linhasAntes], QStringLiteral("Não foi possível determinar a pasta do cliente"));
    EXPECT_EQ(linhas[linhasAntes + 1], QStringLiteral("550 Permission denied."));
    EXPECT_EQ(linhas[linhasAntes + 2], QString()) << "an empty message is an empty line";
}

TEST_F(Janela, NothingEscapesAHandler)
{
    auto w = abrir();
    w->show();
    // A click whose handler raises: the guard hands it to the application handler.
    w->PageControl1->setCurrentWidget(w->TabSheet2);
    w->edtNomeArquivo->setText(QStringLiteral("   "));
    w->btnDownloadFinal->click();
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

TEST(Formatos, ProgressTextShowsSpeedAndTimeLeft)
{
    const QLocale br(QLocale::Portuguese, QLocale::Brazil);
    struct Caso {
        std::int64_t feito, total;
        double segundos;
        const char* texto;
    };
    const Caso casos[] = {
        {0, 1000, 0.0, "0%"},
        {500, 1000, 0.1, "50%"},                                         // too early for a speed
        {420000000, 1000000000, 35.5932, "42% · 11,8 MB/s · 50 s restantes"},
        {100000000, 1000000000, 100.0, "10% · 1,0 MB/s · 15 min restantes"},
        {10000000, 10000000000LL, 10.0, "0% · 1,0 MB/s · 2 h 46 min restantes"},
        {1000, 1000, 2.0, "100% · 0,0 MB/s"},
        {0, 0, 1.0, "100%"},
    };
    for (const Caso& c : casos)
        EXPECT_EQ(TextoProgresso(c.feito, c.total, c.segundos, br), QString::fromUtf8(c.texto)) << c.texto;
}

} // namespace

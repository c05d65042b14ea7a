#pragma once
// Reaches the window's private operations for the tests, and builds windows
// for them.
#include "DialogosRoteirizados.h"
#include "FileListModel.h"
#include "FtpListParser.h"
#include "ufPrincipal.h"
#include "uTQuintaraConexoes.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDate>
#include <QDeadlineTimer>
#include <QItemSelectionModel>
#include <QPlainTextEdit>
#include <QStringList>
#include <QTreeView>

#include <chrono>
#include <memory>

struct AcessoTeste {
    static void Log(TfPrincipal& w, const QString& t) { w.Log(t); }
    static void Aguardar(TfPrincipal& w, std::int64_t max, const QString& t) { w.Aguardar(max, t); }
    static void Liberar(TfPrincipal& w) { w.Liberar(); }
    static void Excecao(TfPrincipal& w, const Exception& e) { w.ApplicationEvents1Exception(nullptr, e); }
    // What the FTP session reports of a transfer.
    static void WorkBegin(TfPrincipal& w, TWorkMode m, std::int64_t n) { w.transferBegin(m, n); }
    static void Work(TfPrincipal& w, TWorkMode m, std::int64_t n) { w.transferProgress(m, n); }
    static void WorkEnd(TfPrincipal& w, TWorkMode m, TransferOutcome o = TransferOutcome::Completed, const QString& falha = {})
    {
        w.transferEnd(m, o, falha);
    }
    // Any report or question of the session, as the window receives it.
    static void Reportar(TfPrincipal& w, const std::function<void(FtpSessionEvents&)>& f) { f(w); }
    static void Waiting(TfPrincipal& w, const QString& what) { w.waiting(what); }
    static void MostrarLog(TfPrincipal& w) { w.mostrarLog(); }
    // The clock of the busy panel's speed and time left, in milliseconds.
    static void Relogio(TfPrincipal& w, std::function<std::int64_t()> ms) { w.m_painel->setClock(std::move(ms)); }
    // The session's settings, changed as a test needs them (shorter waits, pauses).
    static void Ajustes(TfPrincipal& w, const std::function<void(SessionSettings&)>& mudar)
    {
        mudar(w.m_deps.ajustes);
        w.m_trabalhador->configure(w.m_deps.ajustes);
    }
    static void NovasTentativas(TfPrincipal& w, RetryPolicy p)
    {
        Ajustes(w, [&p](SessionSettings& a) { a.retry = std::move(p); });
    }
    // Cancels what runs, from any thread, as "Cancelar" does.
    static void Cancelar(TfPrincipal& w) { w.m_trabalhador->cancel(); }
    static void Protegido(TfPrincipal& w, const std::function<void()>& f) { w.protegido(nullptr, f); }

    // Waits until the window has no operation running and has shown all of the last
    // one's end.
    static void esperar(TfPrincipal& w)
    {
        QDeadlineTimer limite(std::chrono::minutes(5));
        while (w.operacaoEmAndamento() && !limite.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
        QCoreApplication::processEvents();
    }
};

// Clicks a button as the user does, and waits for what it started to end.
inline void clicarEEsperar(TfPrincipal& w, QAbstractButton* botao)
{
    botao->click();
    AcessoTeste::esperar(w);
}

inline QStringList linhasDoLog(TfPrincipal& w)
{
    QString texto = w.ui->memoLog->toPlainText();
    return texto.isEmpty() ? QStringList() : texto.split(QLatin1Char('\n'));
}

// The file list as the user sees it: its rows, in the view's order.
inline int linhasNaLista(TfPrincipal& w)
{
    return w.ui->ListView1->model()->rowCount();
}

// The text a cell shows.
inline QString celula(TfPrincipal& w, int linha, int coluna)
{
    return w.ui->ListView1->model()->index(linha, coluna).data().toString();
}

// The names of the rows, whole, as the server gave them.
inline QStringList nomesDaLista(TfPrincipal& w)
{
    QStringList nomes;
    for (int i = 0; i < linhasNaLista(w); ++i)
        nomes << w.ui->ListView1->model()->index(i, 0).data(FileListModel::FullNameRole).toString();
    return nomes;
}

// The row of a name, or -1.
inline int linhaDe(TfPrincipal& w, const QString& nome)
{
    return static_cast<int>(nomesDaLista(w).indexOf(nome));
}

// Selects a row as a click on it does; -1 clears the selection.
inline void selecionarLinha(TfPrincipal& w, int linha)
{
    QItemSelectionModel* selecao = w.ui->ListView1->selectionModel();
    if (linha < 0)
        selecao->clearSelection();
    else
        selecao->setCurrentIndex(w.ui->ListView1->model()->index(linha, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

inline int linhasSelecionadas(TfPrincipal& w)
{
    return static_cast<int>(w.ui->ListView1->selectionModel()->selectedRows().size());
}

// Shows a listing in the window's list as a refresh would: one file per name,
// size i * 1000 bytes and modified on day i of March 2017 for the name at i.
inline void mostrarListagem(TfPrincipal& w, const QStringList& nomes)
{
    QByteArray mlsd;
    for (int i = 0; i < nomes.size(); ++i)
        mlsd += "type=file;size=" + QByteArray::number(i * 1000) + ";modify=201703" + QByteArray::number(i + 1).rightJustified(2, '0') +
                "120000; " + nomes[i].toUtf8() + "\r\n";
    FtpListing listagem = ftp::parseListing(mlsd, true, QDate(2017, 12, 31));
    w.arquivos().setListing(std::move(listagem));
}

// A window whose installed system is detected in folder (as if the program lay
// there), with scripted dialogs.
inline std::unique_ptr<TfPrincipal> novaJanela(const QString& folder, std::shared_ptr<DialogosRoteirizados> dialogos,
                                               QStringList argumentos = {}, int ano = 2017)
{
    TfPrincipal::Dependencias deps;
    deps.dialogos = std::move(dialogos);
    deps.criarSistema = [folder, ano] {
        return std::make_shared<TQuintaraConexaoInstalada>(folder + QStringLiteral("/FTPCaldoria"), [ano] { return ano; });
    };
    deps.argumentos = std::move(argumentos);
    deps.pausaAntesDeFecharMs = 300;
    auto w = std::make_unique<TfPrincipal>(std::move(deps));
    // The window identifies the installed system on the session's thread.
    AcessoTeste::esperar(*w);
    return w;
}

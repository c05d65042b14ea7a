#pragma once
// Reaches the window's private operations for the tests, and builds windows
// for them.
#include "DialogosRoteirizados.h"
#include "ufPrincipal.h"
#include "uTQuintaraConexoes.h"

#include <QDate>
#include <QPlainTextEdit>
#include <QStringList>

#include <memory>

struct AcessoTeste {
    static void Log(TfPrincipal& w, const QString& t) { w.Log(t); }
    static void Aguardar(TfPrincipal& w, std::int64_t max, const QString& t) { w.Aguardar(max, t); }
    static void Liberar(TfPrincipal& w) { w.Liberar(); }
    static void Excecao(TfPrincipal& w, const Exception& e) { w.ApplicationEvents1Exception(nullptr, e); }
    static void WorkBegin(TfPrincipal& w, TWorkMode m, std::int64_t n) { w.IdFTP1WorkBegin(m, n); }
    static void Work(TfPrincipal& w, TWorkMode m, std::int64_t n) { w.IdFTP1Work(m, n); }
    static void WorkEnd(TfPrincipal& w, TWorkMode m) { w.IdFTP1WorkEnd(m); }
    static void DefinirPastaCliente(TfPrincipal& w) { w.DefinirPastaCliente(); }
    static void CriarPastaCliente(TfPrincipal& w) { w.CriarPastaCliente(); }
    static void ListarArquivos(TfPrincipal& w) { w.ListarArquivos(); }
    static void Protegido(TfPrincipal& w, const std::function<void()>& f) { w.protegido(nullptr, f); }
};

inline QStringList linhasDoLog(TfPrincipal& w)
{
    QString texto = w.memoLog->toPlainText();
    return texto.isEmpty() ? QStringList() : texto.split(QLatin1Char('\n'));
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
    return std::make_unique<TfPrincipal>(std::move(deps));
}

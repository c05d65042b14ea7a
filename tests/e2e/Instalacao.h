#pragma once
// What the end-to-end tests start the real program in: a folder where it lies
// beside an installed system's INI file, and the KORV client database on a private
// Firebird server.
#include "FirebirdServer.h"
#include "TestSupport.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

namespace e2e {

inline const QString kPastaCliente = QStringLiteral("/gCALDORIA/Cidades/SAO_JOSE_DO_RIO_PRETO-SP/PM/KORV");
inline const QString kPastaCorrompida = QStringLiteral("/gCALDORIA/Cidades/_corrompida");

inline testsupport::FirebirdServer& firebird()
{
    static testsupport::FirebirdServer servidor;
    return servidor;
}

// A folder where the program lies beside an installed system's INI file.
struct Instalacao {
    QTemporaryDir pasta;
    QString programa;

    explicit Instalacao(const QByteArray& ini = {})
    {
        programa = pasta.filePath(QFileInfo(QStringLiteral(FTPCALDORIA_EXE)).fileName());
        EXPECT_TRUE(QFile::copy(QStringLiteral(FTPCALDORIA_EXE), programa));
        if (!ini.isEmpty())
            testsupport::writeFile(pasta.filePath(QStringLiteral("korv.ini")), ini);
    }
};

// KORV with its database on the test's Firebird server; "Ano" fixes the year.
inline std::unique_ptr<Instalacao> instalacaoKorv()
{
    auto inst = std::make_unique<Instalacao>();
    const QString dados = inst->pasta.filePath(QStringLiteral("dados"));
    testsupport::writeFile(inst->pasta.filePath(QStringLiteral("korv.ini")),
                           QStringLiteral("[KORV]\r\nServidor=%1\r\nCaminho_Base_Dados=%2/\r\nAno=2017\r\n")
                               .arg(firebird().serverAndPort(), dados)
                               .toUtf8());
    firebird().createDatabase(dados + QStringLiteral("/ARQ2017/KORV2017.FDB"),
                              testsupport::FirebirdServer::fixtureScript(QStringLiteral("korv.sql")), QStringLiteral("QNCKORV8"),
                              QStringLiteral("vokt"));
    return inst;
}

// The installations that leave the client unidentified: corrupted-base mode.
struct CasoBaseCorrompida {
    const char* nome;
    std::function<std::unique_ptr<Instalacao>()> instalar;
    const char* motivo; // why, as a run without a window says it
};

inline std::vector<CasoBaseCorrompida> casosBaseCorrompida()
{
    return {
        {"no INI file", [] { return std::make_unique<Instalacao>(); }, "nenhum sistema Quintara identificado"},
        {"database down",
         [] {
             return std::make_unique<Instalacao>(
                 QStringLiteral("[KORV]\r\nServidor=127.0.0.1/%1\r\nCaminho_Base_Dados=/dados/\r\nAno=2017\r\n").arg(testsupport::closedPort()).toUtf8());
         },
         "o banco de dados do sistema não pôde ser lido"},
    };
}

}

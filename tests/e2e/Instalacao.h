#pragma once
// What the end-to-end tests start the real program in: a folder where it lies
// beside an installed system's INI file, and the KORV client database on a private
// Firebird server.
#include "FirebirdServer.h"
#include "TestSupport.h"

#include <QByteArray>
#include <QDir>
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

#ifdef _WIN32
// The Firebird client libraries built for Windows: x64 (the package's own) and x86.
inline QString clienteFirebirdWindows(const char* arquitetura)
{
    return QStringLiteral(FTPC_FIREBIRD_WINDOWS "/%1/fbclient.dll").arg(QString::fromLatin1(arquitetura));
}
#endif

// A folder where the program lies beside an installed system's INI file, as the
// package leaves it: on Windows with the package's own Firebird client in its folder.
struct Instalacao {
    QTemporaryDir pasta;
    QString programa;

    explicit Instalacao(const QByteArray& ini = {})
    {
        programa = pasta.filePath(QFileInfo(QStringLiteral(FTPCALDORIA_EXE)).fileName());
        EXPECT_TRUE(QFile::copy(QStringLiteral(FTPCALDORIA_EXE), programa));
        if (!ini.isEmpty())
            testsupport::writeFile(pasta.filePath(QStringLiteral("korv.ini")), ini);
#ifdef _WIN32
        QDir(pasta.path()).mkpath(QStringLiteral("FTPCaldoria-Firebird"));
        EXPECT_TRUE(QFile::copy(clienteFirebirdWindows("x64"), pasta.filePath(QStringLiteral("FTPCaldoria-Firebird/fbclient.dll"))));
#endif
    }
};

// KORV with its database on the test's Firebird server; "Ano" fixes the year. The
// server is a Linux program: the INI names the folder as it sees it.
inline std::unique_ptr<Instalacao> instalacaoKorv()
{
    auto inst = std::make_unique<Instalacao>();
    const QString dados = inst->pasta.filePath(QStringLiteral("dados"));
    testsupport::writeFile(inst->pasta.filePath(QStringLiteral("korv.ini")),
                           QStringLiteral("[KORV]\r\nServidor=%1\r\nCaminho_Base_Dados=%2/\r\nAno=2017\r\n")
                               .arg(firebird().serverAndPort(), testsupport::hostPath(dados))
                               .toUtf8());
    firebird().createDatabase(dados + QStringLiteral("/ARQ2017/KORV2017.FDB"),
                              testsupport::FirebirdServer::fixtureScript(QStringLiteral("korv.sql")), QStringLiteral("QNCKORV8"),
                              QStringLiteral("vokt"));
    return inst;
}

// TEL, whose INI file is named and laid out otherwise than KORV's, saved as UTF-16
// with its byte-order mark (Notepad's "Unicode"). Its client is Santa Rita
// d'Oeste/SP, a state company.
inline const QString kPastaClienteTel = QStringLiteral("/gCALDORIA/Cidades/SANTA_RITA_DOESTE-SP/ESTADUAL/TEL");

inline std::unique_ptr<Instalacao> instalacaoTelUtf16()
{
    auto inst = std::make_unique<Instalacao>();
    const QString banco = inst->pasta.filePath(QStringLiteral("TEL_DADOS/TEL.FDB"));
    const QString ini = QStringLiteral("; Configuração do TEL\r\n[TEL]\r\nCaminho=%1\r\n[SERVIDOR]\r\nNOME=127.0.0.1\r\nPORTA=%2\r\n")
                            .arg(testsupport::hostPath(banco))
                            .arg(firebird().port());
    QByteArray bytes("\xFF\xFE", 2);
    for (const QChar c : ini) {
        bytes.append(static_cast<char>(c.unicode() & 0xFF));
        bytes.append(static_cast<char>(c.unicode() >> 8));
    }
    testsupport::writeFile(inst->pasta.filePath(QStringLiteral("telcon.ini")), bytes);
    firebird().createDatabase(banco, testsupport::FirebirdServer::fixtureScript(QStringLiteral("tel.sql")), QStringLiteral("QNCTEL"),
                              QStringLiteral("zub"));
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

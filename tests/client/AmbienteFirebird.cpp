#include "AmbienteFirebird.h"

#include "TestSupport.h"
#include "uTQuintaraConexoes.h"

#include "SqlConnection.h"

#include <QDir>
#include <QFileInfo>

#include <stdexcept>


namespace {

std::unique_ptr<testsupport::FirebirdServer> g_servidor;
std::map<QString, Instalacao> g_instalacoes;

struct Modelo {
    const char* nome;
    const char* arquivoIni;  // empty: no INI file at all
    const char* textoIni;
    const char* script;      // fixture file, or inline SQL when it does not end in .sql; empty: no database
    const char* usuario;
    const char* senha;
};

// %SRV% host/port of the server, %HOST% and %PORT% apart, %CLOSED% a port nobody
// listens on, %MUTE% a peer that never answers, %DIR% the installation's folder.
// Paths on the installations' side use "/" (this runs on Linux); the systems'
// suffixes such as "DADOS\" are appended as the INI value stands.
const Modelo modelos[] = {
    {"korv", "korv.ini", "[KORV]\nServidor=%SRV%\nCaminho_Base_Dados=%DIR%/dados\n", "korv.sql", "QNCKORV8", "vokt"},
    {"tel", "telcon.ini", "[TEL]\nCaminho=%DIR%/TEL_DADOS/TEL.FDB\n[SERVIDOR]\nNOME=%HOST%\nPORTA=%PORT%\n", "tel.sql", "QNCTEL", "zub"},
    {"mur", "mur.ini", "[MUR]\nServidor=%HOST%\nPORTACON=%PORT%\nCaminho_Base_Dados=%DIR%/\n", "mur.sql", "QNCMUR", "brelox"},
    {"vad", "QUINTARA_VAD_SERVER.ini", "[VAD]\nServidor=%SRV%\nCaminho_Base_Dados=%DIR%/\n", "vad.sql", "QNCKORV8", "vokt"},
    {"lob", "QUINTARA_LOB_SERVER.ini", "[LOB]\nServidor=%SRV%\nCaminho_Base_Dados=%DIR%/\n", "lob.sql", "QNCKORV8", "vokt"},
    {"ruv", "QUINTARA_RUVD_SERVER.ini", "[RUV]\nServidor=%SRV%\nCaminho_Base_Dados=%DIR%/\n", "ruv.sql", "QNCKORV8", "vokt"},
    {"ruv-sem-tabela", "QUINTARA_RUVD_SERVER.ini", "[RUV]\nServidor=%SRV%\nCaminho_Base_Dados=%DIR%/\n",
     "create table outra (x integer);", "QNCKORV8", "vokt"},
    {"korv-parado", "korv.ini", "[KORV]\nServidor=127.0.0.1/%CLOSED%\nCaminho_Base_Dados=%DIR%/dados\n", "", "", ""},
    {"korv-mudo", "korv.ini", "[KORV]\nServidor=127.0.0.1/%MUTE%\nCaminho_Base_Dados=%DIR%/dados\n", "", "", ""},
    {"jeb", "JEBIN.ini", "[JEBIN]\nServidor=%SRV%\nCaminho_Base_Dados=%DIR%/\n", "", "", ""},
    {"nix", "VAD.ini", "[VAD]\nServidor=%HOST%\nPorta=%PORT%\nCaminho_Base_Dados=%DIR%/\n", "", "", ""},
    {"nenhum", "", "", "", "", ""},
};

}

void AmbienteFirebird::SetUp()
{
    g_servidor = std::make_unique<testsupport::FirebirdServer>();
    const int fechada = testsupport::closedPort();
    const int mudo = testsupport::silentPort();
    // Short, so that the silent peer costs the tests little.
    TSQLConnection::SetDefaultConnectTimeout(2);
    for (const Modelo& m : modelos) {
        const QString nome = QString::fromUtf8(m.nome);
        const QString pasta = g_servidor->folder() + QLatin1Char('/') + nome;
        QDir().mkpath(pasta);
        Instalacao inst;
        inst.executavel = pasta + QStringLiteral("/FTPCaldoria.exe");
        if (*m.arquivoIni) {
            QString ini = QString::fromUtf8(m.textoIni);
            ini.replace(QStringLiteral("%SRV%"), g_servidor->serverAndPort());
            ini.replace(QStringLiteral("%HOST%"), QStringLiteral("127.0.0.1"));
            ini.replace(QStringLiteral("%PORT%"), QString::number(g_servidor->port()));
            ini.replace(QStringLiteral("%CLOSED%"), QString::number(fechada));
            ini.replace(QStringLiteral("%MUTE%"), QString::number(mudo));
            ini.replace(QStringLiteral("%DIR%"), pasta);
            testsupport::writeFile(pasta + QLatin1Char('/') + QString::fromUtf8(m.arquivoIni), ini.toUtf8());
        }
        TQuintaraConexaoInstalada sistema(inst.executavel, [] { return ano(); });
        if (!sistema.GetArquivosFDB().empty())
            inst.banco = sistema.GetArquivosFDB().front()->caminho;
        if (*m.script) {
            if (inst.banco.isEmpty())
                throw std::runtime_error(("installation without a database file: " + nome).toStdString());
            const QString script = QString::fromUtf8(m.script);
            g_servidor->createDatabase(inst.banco,
                                       script.endsWith(QStringLiteral(".sql"))
                                           ? testsupport::FirebirdServer::fixtureScript(script)
                                           : script,
                                       QString::fromUtf8(m.usuario), QString::fromUtf8(m.senha));
        }
        g_instalacoes.emplace(nome, inst);
    }
}

void AmbienteFirebird::TearDown()
{
    g_instalacoes.clear();
    g_servidor.reset();
}

testsupport::FirebirdServer& AmbienteFirebird::servidor() { return *g_servidor; }

const Instalacao& AmbienteFirebird::instalacao(const QString& nome)
{
    auto it = g_instalacoes.find(nome);
    if (it == g_instalacoes.end())
        throw std::runtime_error(("no installation " + nome).toStdString());
    return it->second;
}

// The real executable, started as "Open with" would start it: a file as its first
// argument, the FTP endpoints pointed at a local server, a real Firebird server
// holding the client database.
#include "Instalacao.h"
#include "FtpServers.h"
#include "TestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <memory>

namespace {

using testsupport::readFile;
using namespace e2e;

class Programa {
public:
    Programa(const Instalacao& inst, const QStringList& args, int portaPrincipal, int portaAlternativa, const QString& pastaTrabalho)
        : m_log(pastaTrabalho + QStringLiteral("/janela.log"))
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("FTPCALDORIA_FTP_HOST"), QStringLiteral("127.0.0.1:%1").arg(portaPrincipal));
        env.insert(QStringLiteral("FTPCALDORIA_FTP_ALT_HOST"), QStringLiteral("127.0.0.1:%1").arg(portaAlternativa));
        env.insert(QStringLiteral("FTPCALDORIA_LOG"), m_log);
        env.insert(QStringLiteral("USERDOMAIN"), QStringLiteral("PREFEITURA"));
        env.insert(QStringLiteral("USERNAME"), QStringLiteral("usuario"));
        m_proc.setProcessEnvironment(env);
        // Started from another folder: the program looks beside itself.
        m_proc.setWorkingDirectory(pastaTrabalho);
        m_proc.setProcessChannelMode(QProcess::MergedChannels);
        m_proc.start(inst.programa, args);
        EXPECT_TRUE(m_proc.waitForStarted(10000));
    }
    ~Programa()
    {
        if (m_proc.state() != QProcess::NotRunning) {
            m_proc.terminate();
            if (!m_proc.waitForFinished(5000))
                m_proc.kill();
            m_proc.waitForFinished(5000);
        }
    }
    bool terminouSozinho(int ms) { return m_proc.waitForFinished(ms); }
    bool rodando() const { return m_proc.state() == QProcess::Running; }
    QStringList log() const
    {
        QFile f(m_log);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        // Lines end in CRLF on Windows.
        return QString::fromUtf8(f.readAll()).remove(QLatin1Char('\r')).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    int exitCode() const { return m_proc.exitCode(); }
    QByteArray saida() { return m_proc.readAll(); }

private:
    QString m_log;
    QProcess m_proc;
};

QStringList arquivosAbaixo(const QString& raiz)
{
    QStringList out;
    QDirIterator it(raiz, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        out << it.next().mid(raiz.size());
    return out;
}

class PontaAPonta : public ::testing::Test {
protected:
    QTemporaryDir raizFtp;
    QTemporaryDir trabalho;
    QString arquivo;
    QByteArray conteudo = testsupport::ScriptedFtp::patternBytes(3 << 20);

    void SetUp() override
    {
        arquivo = trabalho.filePath(QStringLiteral("backup da prefeitura.fbk"));
        testsupport::writeFile(arquivo, conteudo);
    }
};

TEST_F(PontaAPonta, NormalModeSendsTheFileAndCloses)
{
    auto inst = instalacaoKorv();
    testsupport::PyFtpd ftp(raizFtp.path());
    Programa p(*inst, {arquivo}, ftp.port(), ftp.port(), trabalho.path());
    ASSERT_TRUE(p.terminouSozinho(30000)) << p.log().join('\n').toStdString();
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_EQ(readFile(raizFtp.path() + kPastaCliente + QStringLiteral("/backup da prefeitura.fbk")), conteudo)
        << p.log().join('\n').toStdString();
    EXPECT_EQ(arquivosAbaixo(raizFtp.path()), QStringList{kPastaCliente + QStringLiteral("/backup da prefeitura.fbk")});
}

// A file stored and checked is sent, whatever becomes of the list after it: the
// refresh refused by the server is logged, the program closes as after any send,
// and the log copy ends the transfer with one outcome line, the success's. The
// send's first listing looks for old interrupted uploads; the second is the refresh.
TEST_F(PontaAPonta, ASendWhoseRefreshFailsClosesAsASuccessWithOneOutcomeLine)
{
    auto inst = instalacaoKorv();
    testsupport::ScriptedFtp ftp(QStringLiteral("normal"),
                                 testsupport::ScriptedFtp::Options{
                                     .faults = {testsupport::ScriptedFtp::Fault::reply(QStringLiteral("MLSD#2"), QStringLiteral("450 Listing unavailable."))}});
    Programa p(*inst, {arquivo}, ftp.port(), ftp.port(), trabalho.path());
    ASSERT_TRUE(p.terminouSozinho(60000)) << p.log().join('\n').toStdString();
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_EQ(ftp.files().value(kPastaCliente + QStringLiteral("/backup da prefeitura.fbk")), testsupport::ScriptedFtp::storedOf(conteudo))
        << ftp.commands().join(' ').toStdString();
    const QStringList log = p.log();
    EXPECT_TRUE(log.contains(QStringLiteral("Listing unavailable."))) << log.join('\n').toStdString();
    const QStringList resultados = log.filter(QStringLiteral(" RESULTADO: "));
    ASSERT_EQ(resultados.size(), 1) << log.join('\n').toStdString();
    EXPECT_TRUE(resultados[0].startsWith(QStringLiteral("=== ")) && resultados[0].endsWith(QStringLiteral(" RESULTADO: Arquivo Enviado com Sucesso")))
        << resultados[0].toStdString();
}

TEST_F(PontaAPonta, AnotherSystemWithAUnicodeIniFileSendsToItsClientFolder)
{
    auto inst = instalacaoTelUtf16();
    testsupport::PyFtpd ftp(raizFtp.path());
    Programa p(*inst, {arquivo}, ftp.port(), ftp.port(), trabalho.path());
    ASSERT_TRUE(p.terminouSozinho(60000)) << p.log().join('\n').toStdString();
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_EQ(arquivosAbaixo(raizFtp.path()), QStringList{kPastaClienteTel + QStringLiteral("/backup da prefeitura.fbk")})
        << p.log().join('\n').toStdString();
    EXPECT_EQ(readFile(raizFtp.path() + kPastaClienteTel + QStringLiteral("/backup da prefeitura.fbk")), conteudo);
    EXPECT_TRUE(p.log().contains(QStringLiteral("Sistema TEL identificado"))) << p.log().join('\n').toStdString();
}

#ifdef _WIN32
// The systems' folders may hold a 32-bit fbClient.dll, which this 64-bit program
// cannot load, or none: the package's own client then reads the database.
TEST_F(PontaAPonta, OnWindowsTheClientIsRecognisedWhicheverLibraryLiesBesideTheProgram)
{
    const struct {
        const char* nome;
        const char* aoLado; // the fbclient.dll in the system's folder
        const char* linha;
    } casos[] = {
        {"x64 beside", "x64", "Cliente Firebird: fbClient.dll da pasta do sistema"},
        {"x86 beside", "x86", "fbClient.dll da pasta do sistema é de 32 bits; usando o cliente Firebird do pacote"},
        {"none beside", nullptr, "fbClient.dll não está na pasta do sistema; usando o cliente Firebird do pacote"},
    };
    for (const auto& c : casos) {
        SCOPED_TRACE(c.nome);
        QTemporaryDir raiz;
        auto inst = instalacaoKorv();
        if (c.aoLado) {
            ASSERT_TRUE(QFile::copy(clienteFirebirdWindows(c.aoLado), inst->pasta.filePath(QStringLiteral("fbclient.dll"))));
        }
        testsupport::PyFtpd ftp(raiz.path());
        Programa p(*inst, {arquivo}, ftp.port(), ftp.port(), trabalho.path());
        ASSERT_TRUE(p.terminouSozinho(60000)) << p.log().join('\n').toStdString();
        EXPECT_EQ(p.exitCode(), 0);
        const QStringList log = p.log();
        EXPECT_TRUE(log.contains(QString::fromUtf8(c.linha))) << log.join('\n').toStdString();
        EXPECT_EQ(arquivosAbaixo(raiz.path()), QStringList{kPastaCliente + QStringLiteral("/backup da prefeitura.fbk")})
            << log.join('\n').toStdString();
        EXPECT_EQ(readFile(raiz.path() + kPastaCliente + QStringLiteral("/backup da prefeitura.fbk")), conteudo);
    }
}
#endif

TEST_F(PontaAPonta, CorruptedBaseModeSendsUnderAUniqueNameAndStaysOpen)
{
    for (const CasoBaseCorrompida& c : casosBaseCorrompida()) {
        SCOPED_TRACE(c.nome);
        QTemporaryDir raiz;
        testsupport::PyFtpd ftp(raiz.path());
        auto inst = c.instalar();
        Programa p(*inst, {arquivo}, ftp.port(), ftp.port(), trabalho.path());
        const QRegularExpression unico(QStringLiteral("^PREFEITURA_usuario-\\d{4}-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d_backup da prefeitura\\.fbk$"));
        QString enviado;
        ASSERT_TRUE(testsupport::waitUntil(
            [&] {
                // The upload is renamed to its unique name once it is checked.
                const QStringList nomes = QDir(raiz.path() + kPastaCorrompida).entryList(QDir::Files);
                if (nomes.size() == 1 && !nomes[0].endsWith(QStringLiteral(".parcial")) &&
                    QFileInfo(raiz.path() + kPastaCorrompida + QLatin1Char('/') + nomes[0]).size() == conteudo.size())
                    enviado = nomes[0];
                return !enviado.isEmpty();
            },
            std::chrono::seconds(30)))
            << p.log().join('\n').toStdString();
        EXPECT_TRUE(unico.match(enviado).hasMatch()) << enviado.toStdString();
        EXPECT_EQ(readFile(raiz.path() + kPastaCorrompida + QLatin1Char('/') + enviado), conteudo);
        EXPECT_FALSE(p.terminouSozinho(3000)) << "the window stays open showing the name";
        EXPECT_TRUE(p.log().contains(enviado));
    }
}

TEST_F(PontaAPonta, BothEndpointsUnreachable)
{
    auto inst = std::make_unique<Instalacao>();
    Programa p(*inst, {arquivo}, testsupport::closedPort(), testsupport::closedPort(), trabalho.path());
    ASSERT_TRUE(testsupport::waitUntil([&] { return p.log().contains(QStringLiteral("Tentando conectar no endereço alternativo do FTP")); },
                                       std::chrono::seconds(20)));
    EXPECT_FALSE(p.terminouSozinho(3000));
    const QStringList log = p.log();
    EXPECT_TRUE(log.contains(QStringLiteral("Tentando conectar no endereço principal do FTP")));
    EXPECT_GT(log.size(), log.indexOf(QStringLiteral("Tentando conectar no endereço alternativo do FTP")) + 1)
        << "the alternate's failure is reported, not dropped";
}

TEST_F(PontaAPonta, AnArgumentThatIsNoFileSendsNothing)
{
    // A name that is no file, or a folder: the window opens and sends nothing. (An
    // option nobody knows ends the run with exit code 2: test_envio_desassistido.)
    for (const QString& argumento : {trabalho.filePath(QStringLiteral("nao-existe.fbk")), trabalho.path()}) {
        SCOPED_TRACE(argumento.toStdString());
        testsupport::ScriptedFtp ftp(QStringLiteral("normal"));
        auto inst = std::make_unique<Instalacao>();
        QTemporaryDir outroTrabalho;
        Programa p(*inst, {argumento}, ftp.port(), ftp.port(), outroTrabalho.path());
        EXPECT_FALSE(p.terminouSozinho(2500));
        EXPECT_TRUE(ftp.commands().isEmpty()) << ftp.commands().join(' ').toStdString();
        EXPECT_EQ(p.log(), (QStringList{QStringLiteral("Identificando Sistema Quintara"), QStringLiteral("Nenhum sistema Quintara identificado")}));
    }
}

} // namespace

// The real executable sending backups where servers and other senders make it
// hard: logins that may not rename, two clients or machines at once, temporary
// files that are not ours, a city name with a tab. What the server holds at the end
// is read from its disk.
#include "Execucao.h"
#include "FtpServers.h"
#include "Instalacao.h"
#include "TestSupport.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace {

using namespace e2e;
using testsupport::readFile;
using testsupport::writeFile;

class EnvioSemPerda : public ::testing::Test {
protected:
    QTemporaryDir raizFtp;
    QTemporaryDir trabalho;
    QString arquivo;
    QByteArray conteudo = testsupport::ScriptedFtp::patternBytes(3 << 20).replace('\x09', '#');

    void SetUp() override
    {
        arquivo = trabalho.filePath(QStringLiteral("backup.fbk"));
        writeFile(arquivo, conteudo);
    }
    QString noServidor(const QString& nome) const { return raizFtp.path() + kPastaCliente + QLatin1Char('/') + nome; }
};

// A login that may not rename (pyftpdlib without the permission, vsftpd with the
// commands denied) gets the file under its name, whole, as plain FTP clients send
// it, over an older copy too when asked; nothing else is left in the folder.
TEST_F(EnvioSemPerda, ALoginThatMayNotRenameGetsTheWholeFile)
{
    auto inst = instalacaoKorv();
    for (const bool vsftpd : {false, true}) {
        for (const bool existente : {false, true}) {
            SCOPED_TRACE(std::string(vsftpd ? "vsftpd" : "pyftpdlib") + (existente ? ", over an older copy" : ""));
            QTemporaryDir raiz;
            QDir(raiz.path()).mkpath(kPastaCliente.mid(1));
            if (existente)
                writeFile(raiz.path() + kPastaCliente + QStringLiteral("/backup.fbk"), "the backup of last week");
            std::unique_ptr<testsupport::PyFtpd> py;
            std::unique_ptr<testsupport::Vsftpd> vs;
            int porta = 0;
            if (vsftpd) {
                vs = std::make_unique<testsupport::Vsftpd>(raiz.path(), testsupport::kFtpUser, testsupport::kFtpPassword, std::nullopt,
                                                           QStringList{QStringLiteral("cmds_denied=RNFR,RNTO")});
                porta = vs->port();
            } else {
                py = std::make_unique<testsupport::PyFtpd>(raiz.path(), testsupport::kFtpUser, testsupport::kFtpPassword, QStringList{},
                                                           std::nullopt, QStringLiteral("elradmwMT"));
                porta = py->port();
            }
            QStringList args{QStringLiteral("--enviar"), arquivo};
            if (existente)
                args << QStringLiteral("--substituir");
            const Execucao r = executar(*inst, args, porta, porta, trabalho.path());
            ASSERT_TRUE(r.terminou) << r.tudo();
            EXPECT_EQ(r.codigo, 0) << r.tudo();
            EXPECT_EQ(readFile(raiz.path() + kPastaCliente + QStringLiteral("/backup.fbk")), conteudo) << r.tudo();
            EXPECT_EQ(arquivosAbaixo(raiz.path()), QStringList{kPastaCliente + QStringLiteral("/backup.fbk")}) << r.tudo();
            EXPECT_FALSE(r.linhasDeErro().filter(QStringLiteral("O servidor não permite renomear arquivos")).isEmpty()) << r.tudo();
        }
    }
}

// Two clients that cannot be identified, under the same user name, send a file of
// the same name at the same moment (a scheduled task at 02:30): each backup keeps a
// name of its own, and each run prints the name it got. The names of every second
// the runs may last (as long as they are waited for, and more) are taken
// beforehand, so that both runs meet on a taken name however slowly they start.
TEST_F(EnvioSemPerda, TwoUnidentifiedClientsAtOnceKeepBothBackups)
{
    constexpr auto kEspera = std::chrono::seconds(120);
    const QDateTime agora = QDateTime::currentDateTime();
    const QString pasta = raizFtp.path() + kPastaCorrompida;
    QDir().mkpath(pasta);
    QStringList deOutros;
    for (qint64 segundo = 0; segundo < 2 * kEspera.count() + 60; ++segundo) {
        deOutros << QStringLiteral("PREFEITURA_usuario-%1_backup.fbk").arg(agora.addSecs(segundo).toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss")));
        writeFile(pasta + QLatin1Char('/') + deOutros.last(), "de outro cliente");
    }
    testsupport::PyFtpd ftp(raizFtp.path());
    QTemporaryDir outroTrabalho;
    const QString outroArquivo = outroTrabalho.filePath(QStringLiteral("backup.fbk"));
    const QByteArray outroConteudo = conteudo.left(1 << 20);
    writeFile(outroArquivo, outroConteudo);
    auto primeira = std::make_unique<Instalacao>();
    auto segunda = std::make_unique<Instalacao>();
    auto a = iniciar(*primeira, {QStringLiteral("--enviar"), arquivo}, ftp.port(), ftp.port(), trabalho.path());
    auto b = iniciar(*segunda, {QStringLiteral("--enviar"), outroArquivo}, ftp.port(), ftp.port(), outroTrabalho.path());
    const Execucao ra = esperar(*a, kEspera);
    const Execucao rb = esperar(*b, kEspera);
    ASSERT_TRUE(ra.terminou && rb.terminou) << ra.tudo() << rb.tudo();
    EXPECT_EQ(ra.codigo, 5) << ra.tudo();
    EXPECT_EQ(rb.codigo, 5) << rb.tudo();
    ASSERT_FALSE(ra.linhasDaSaida().isEmpty() || rb.linhasDaSaida().isEmpty()) << ra.tudo() << rb.tudo();
    const QString nomeA = ra.linhasDaSaida().last();
    const QString nomeB = rb.linhasDaSaida().last();
    EXPECT_NE(nomeA, nomeB);
    const QRegularExpression comSufixo(QStringLiteral("^PREFEITURA_usuario-\\d{4}-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d-\\d+_backup\\.fbk$"));
    EXPECT_TRUE(comSufixo.match(nomeA).hasMatch()) << nomeA.toStdString();
    EXPECT_TRUE(comSufixo.match(nomeB).hasMatch()) << nomeB.toStdString();
    EXPECT_EQ(readFile(pasta + QLatin1Char('/') + nomeA), conteudo);
    EXPECT_EQ(readFile(pasta + QLatin1Char('/') + nomeB), outroConteudo);
    for (const QString& nome : deOutros)
        EXPECT_EQ(readFile(pasta + QLatin1Char('/') + nome), QByteArray("de outro cliente"));
    // Nothing else: no temporary file left by either.
    EXPECT_EQ(QDir(pasta).entryList(QDir::Files).size(), deOutros.size() + 2);
}

// USERDOMAIN and USERNAME come from the environment: separators in them would put
// an unidentified client's backup in someone else's folder. They become "_".
TEST_F(EnvioSemPerda, AUserNameWithSeparatorsStaysInTheSharedFolder)
{
    testsupport::PyFtpd ftp(raizFtp.path());
    auto inst = std::make_unique<Instalacao>();
    const Execucao r = executar(*inst, {QStringLiteral("--enviar"), arquivo}, ftp.port(), ftp.port(), trabalho.path(), std::chrono::seconds(120),
                                {{QStringLiteral("USERDOMAIN"), QStringLiteral("..")},
                                 {QStringLiteral("USERNAME"), QStringLiteral("/../SAO_JOSE_DO_RIO_PRETO-SP/PM/KORV/x")}});
    ASSERT_TRUE(r.terminou) << r.tudo();
    EXPECT_EQ(r.codigo, 5) << r.tudo();
    const QStringList tudo = arquivosAbaixo(raizFtp.path());
    ASSERT_EQ(tudo.size(), 1) << tudo.join(' ').toStdString();
    EXPECT_TRUE(tudo[0].startsWith(kPastaCorrompida + QStringLiteral("/.._") + QStringLiteral("_.._SAO_JOSE_DO_RIO_PRETO-SP_PM_KORV_x-")))
        << tudo[0].toStdString();
    EXPECT_EQ(readFile(raizFtp.path() + tudo[0]), conteudo);
}

// Two machines of one client send backup.fbk; the other one's finishes while this
// one's data goes. Without --substituir it is not replaced: the run ends as "the
// file exists" (4), and says where its own checked copy is.
TEST_F(EnvioSemPerda, AnotherMachinesFileIsNotReplacedWithoutConsent)
{
    auto inst = instalacaoKorv();
    testsupport::ScriptedFtp ftp(QStringLiteral("name-taken-during-upload"));
    const Execucao r = executar(*inst, {QStringLiteral("--enviar"), arquivo}, ftp.port(), ftp.port(), trabalho.path());
    ASSERT_TRUE(r.terminou) << r.tudo();
    EXPECT_EQ(r.codigo, 4) << r.tudo();
    const QStringList erros = r.linhasDeErro();
    EXPECT_TRUE(erros.contains(QStringLiteral("Outro arquivo chamado backup.fbk apareceu no servidor durante o envio"))) << r.tudo();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^O Arquivo Já Existe no FTP e não foi substituído; o arquivo enviado e conferido ficou no "
                                                  "servidor como backup\\.fbk\\.[0-9a-f]+-[0-9a-f]+\\.parcial \\(para substituí-lo: --substituir\\)$"))
                    .match(r.resultado())
                    .hasMatch())
        << r.tudo();
    // The other machine's file is still there, and nothing renamed onto it.
    EXPECT_TRUE(ftp.notes().filter(QRegularExpression(QStringLiteral("^renamed .* to \\S*/backup\\.fbk$"))).isEmpty()) << r.tudo();
}

// A temporary file of this backup's name whose bytes are not this backup's (another
// machine's, a damaged one) is not continued: the run starts over under another
// temporary name and the server ends with the right file.
TEST_F(EnvioSemPerda, ForeignBytesUnderTheTemporaryNameAreNotContinued)
{
    auto inst = instalacaoKorv();
    QFileInfo local(arquivo);
    const QString parcial = QStringLiteral("backup.fbk.%1-%2.parcial")
                                .arg(QString::number(local.size(), 16), QString::number(local.lastModified().toSecsSinceEpoch(), 16));
    QByteArray alheio = conteudo.left(conteudo.size() / 2);
    alheio[alheio.size() - 1] = '!';
    QDir().mkpath(raizFtp.path() + kPastaCliente);
    writeFile(noServidor(parcial), alheio);
    testsupport::PyFtpd ftp(raizFtp.path());
    const Execucao r = executar(*inst, {QStringLiteral("--enviar"), arquivo}, ftp.port(), ftp.port(), trabalho.path());
    ASSERT_TRUE(r.terminou) << r.tudo();
    EXPECT_EQ(r.codigo, 0) << r.tudo();
    EXPECT_EQ(readFile(noServidor(QStringLiteral("backup.fbk"))), conteudo);
    // The foreign one is left as it was: it may be another run's, going on now.
    EXPECT_EQ(readFile(noServidor(parcial)), alheio);
    EXPECT_EQ(arquivosAbaixo(raizFtp.path()), (QStringList{kPastaCliente + QStringLiteral("/backup.fbk"), kPastaCliente + QLatin1Char('/') + parcial}));
}

// The normaliser drops a tab from a city's name; so does the folder on the server.
TEST_F(EnvioSemPerda, ACityWithATabGoesToItsFolder)
{
    auto inst = instalacaoKorv();
    firebird().execute(inst->pasta.filePath(QStringLiteral("dados/ARQ2017/KORV2017.FDB")),
                       QStringLiteral("update cadcli set cid = 'Ilha' || ascii_char(9) || 'Comprida';"));
    testsupport::PyFtpd ftp(raizFtp.path());
    const Execucao r = executar(*inst, {QStringLiteral("--enviar"), arquivo}, ftp.port(), ftp.port(), trabalho.path());
    ASSERT_TRUE(r.terminou) << r.tudo();
    EXPECT_EQ(r.codigo, 0) << r.tudo();
    EXPECT_EQ(readFile(raizFtp.path() + QStringLiteral("/gCALDORIA/Cidades/ILHACOMPRIDA-SP/PM/KORV/backup.fbk")), conteudo) << r.tudo();
}

} // namespace

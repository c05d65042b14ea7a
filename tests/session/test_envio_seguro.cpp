// Uploads that never lose or replace what they must not, whatever the server does
// with renames, sizes and stored files, and whoever else writes to the folder.
#include "NomeBaseCorrompida.h"
#include "SessaoTeste.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <functional>

namespace {

using namespace sessiontest;
using testsupport::PyFtpd;
using testsupport::readFile;
using testsupport::writeFile;

// A connection of the test's own to the server at porta, in the shared folder.
std::unique_ptr<TIdFTP> espiar(int porta)
{
    auto ftp = std::make_unique<TIdFTP>();
    FtpSettings ajustes;
    ajustes.host = QStringLiteral("127.0.0.1");
    ajustes.port = porta;
    ajustes.username = testsupport::kFtpUser;
    ajustes.password = testsupport::kFtpPassword;
    ftp->configure(ajustes);
    ftp->Connect();
    ftp->ChangeDir(QStringLiteral("/") + kPastaCorrompida);
    return ftp;
}

// What the shared folder holds, by name: its size, as the server lists it.
QMap<QString, qint64> pasta(int porta)
{
    const auto ftp = espiar(porta);
    ftp->List();
    QMap<QString, qint64> nomes;
    for (const TIdFTPListItem item : ftp->DirectoryListing())
        nomes.insert(item.FileName, item.Size);
    return nomes;
}

QByteArray baixar(int porta, const QString& nome)
{
    QBuffer destino;
    destino.open(QIODevice::WriteOnly);
    espiar(porta)->Get(nome, destino);
    return destino.data();
}

// The error box's text of a transfer that must fail; empty, and a test failure, when
// it went through.
QString falha(const std::function<void()>& transferencia)
{
    try {
        transferencia();
    } catch (const ESessionFailure& e) {
        return caixaDe(e);
    }
    ADD_FAILURE() << "the transfer went through";
    return {};
}

class EnvioSeguro : public Sessao {
protected:
    QTemporaryDir raiz;
    // The folder a PyFtpd session works in, on disk.
    QString pastaNoDisco() const { return raiz.filePath(kPastaCorrompida); }
};

// Where the login may not rename, the file goes under its final name, whole, as a
// plain FTP client sends it; where the server will not rename onto an existing
// name, the old copy steps aside until the new one has the name. Either way the
// folder ends with the new copy and nothing else.
TEST_F(EnvioSeguro, TheNewCopyTakesTheNameWhateverTheServerAllows)
{
    const struct Caso {
        const char* cenario;
        bool existente;
        const char* linha; // what the log says of the way it went
    } casos[] = {
        {"rename-denied", false, "O servidor não permite renomear arquivos"},
        {"rename-denied", true, "O servidor não permite renomear arquivos"},
        {"rename-no-replace", true, "O servidor não substitui um arquivo ao renomear"},
    };
    const QByteArray conteudo = ScriptedFtp::patternBytes(70000).replace('\x07', 'x');
    for (const Caso& c : casos) {
        SCOPED_TRACE(std::string(c.cenario) + (c.existente ? " over an older copy" : ""));
        roteiro = {};
        QList<ScriptedFtp::File> arquivos;
        if (c.existente)
            arquivos << ScriptedFtp::File{kPastaCorrompida + QStringLiteral("/dados.bin"), 10};
        ScriptedFtp servidor(QString::fromLatin1(c.cenario), arquivos);
        auto s = abrir(servidor);
        const QString origem = arquivo(QStringLiteral("dados.bin"), conteudo);
        roteiro.respostas = {true};
        EXPECT_TRUE(s->EnviarArquivo(origem).check);
        EXPECT_EQ(pasta(servidor.port()), (QMap<QString, qint64>{{QStringLiteral("dados.bin"), 70000}}));
        EXPECT_EQ(baixar(servidor.port(), QStringLiteral("dados.bin")), conteudo);
        EXPECT_EQ(roteiro.linhas.filter(QString::fromUtf8(c.linha)).size(), 1) << roteiro.linhas.join('\n').toStdString();
    }
}

// The old copy is moved aside only to be replaced; when the new one then cannot
// take the name, the old one gets it back and the box says what is where.
TEST_F(EnvioSeguro, AReplacementThatCannotFinishPutsTheOldCopyBack)
{
    ScriptedFtp servidor(QStringLiteral("rename-into-place-refused"), {{kPastaCorrompida + QStringLiteral("/dados.bin"), 10}});
    auto s = abrir(servidor);
    const QString origem = arquivo(QStringLiteral("dados.bin"), QByteArray(70000, 'd'));
    roteiro.respostas = {true};
    const QString caixa = falha([&] { s->EnviarArquivo(origem); });
    EXPECT_TRUE(caixa.contains(QStringLiteral("A cópia anterior no servidor foi mantida"))) << caixa.toStdString();
    EXPECT_TRUE(caixa.contains(partialName(QStringLiteral("dados.bin"), origem))) << caixa.toStdString();
    EXPECT_EQ(pasta(servidor.port()), (QMap<QString, qint64>{{QStringLiteral("dados.bin"), 10},
                                                 {partialName(QStringLiteral("dados.bin"), origem), 70000}}));
    EXPECT_EQ(baixar(servidor.port(), QStringLiteral("dados.bin")), ScriptedFtp::patternBytes(10));
}

// A file that takes the name while the data goes (another machine's upload of the
// same backup) is not replaced unless the user says so; the checked upload stays
// under its temporary name, which the refusal names.
TEST_F(EnvioSeguro, AFileThatAppearsMeanwhileIsReplacedOnlyWithConsent)
{
    for (const bool sim : {false, true}) {
        SCOPED_TRACE(sim ? "yes" : "no");
        roteiro = {};
        ScriptedFtp servidor(QStringLiteral("name-taken-during-upload"));
        auto s = abrir(servidor);
        const QString origem = arquivo(QStringLiteral("dados.bin"), QByteArray(70000, 'd'));
        const QString parcial = partialName(QStringLiteral("dados.bin"), origem);
        roteiro.respostas = {sim};
        if (sim) {
            EXPECT_TRUE(s->EnviarArquivo(origem).check);
            EXPECT_EQ(pasta(servidor.port()), (QMap<QString, qint64>{{QStringLiteral("dados.bin"), 70000}}));
        } else {
            try {
                s->EnviarArquivo(origem);
                ADD_FAILURE() << "sent";
            } catch (const ERemoteNameTaken& e) {
                EXPECT_EQ(e.keptAs(), parcial);
            }
            EXPECT_EQ(pasta(servidor.port()), (QMap<QString, qint64>{{QStringLiteral("dados.bin"), 3}, {parcial, 70000}}));
            EXPECT_EQ(baixar(servidor.port(), QStringLiteral("dados.bin")), QByteArray("old"));
        }
        EXPECT_EQ(roteiro.eventos.filter(QStringLiteral("replace remote dados.bin")).size(), 1);
        EXPECT_EQ(roteiro.linhas.filter(QStringLiteral("apareceu no servidor durante o envio")).size(), 1);
    }
}

// A server that says 226 and keeps nothing refused the upload: said as such, and
// not sent again and again.
TEST_F(EnvioSeguro, AStoreThatKeepsNothingIsARefusal)
{
    ScriptedFtp servidor(QStringLiteral("store-keeps-nothing"));
    auto s = abrir(servidor);
    const QString origem = arquivo(QStringLiteral("dados.bin"), QByteArray(70000, 'd'));
    EXPECT_EQ(falha([&] { s->EnviarArquivo(origem); }),
              QStringLiteral("Não foi possível enviar o arquivo dados.bin.\n\nO servidor recusou: o servidor confirmou o "
                             "envio, mas não guardou o arquivo %1.\n\nO arquivo não foi enviado; nenhum arquivo "
                             "chamado dados.bin foi criado no servidor.")
                  .arg(partialName(QStringLiteral("dados.bin"), origem)));
    EXPECT_EQ(servidor.commands().filter(QStringLiteral("STOR ") + partialName(QStringLiteral("dados.bin"), origem)).size(), 1);
    EXPECT_TRUE(roteiro.eventos.filter(QStringLiteral("retry")).isEmpty());
}

// The reply to the rename was lost with the line: the folder shows the file in its
// place, and nothing goes again.
TEST_F(EnvioSeguro, ALostRenameReplyIsSettledByLookingAtTheFolder)
{
    ScriptedFtp servidor(QStringLiteral("rename-reply-lost"));
    auto s = abrir(servidor);
    const QString origem = arquivo(QStringLiteral("dados.bin"), QByteArray(70000, 'd'));
    EXPECT_TRUE(s->EnviarArquivo(origem).check);
    EXPECT_EQ(servidor.commands().filter(QStringLiteral("STOR ") + partialName(QStringLiteral("dados.bin"), origem)).size(), 1);
    EXPECT_EQ(pasta(servidor.port()), (QMap<QString, qint64>{{QStringLiteral("dados.bin"), 70000}}));
    EXPECT_EQ(roteiro.eventos.last(), QStringLiteral("end completed"));
}

// After a break the server claims more than it holds: going on from there would
// leave a hole. Its last bytes are read back first, and the upload starts over.
TEST_F(EnvioSeguro, ASizeThatLiesAfterABreakEndsInAWholeFile)
{
    ScriptedFtp servidor(QStringLiteral("size-lies-after-break"));
    auto s = abrir(servidor);
    const QByteArray conteudo = ScriptedFtp::patternBytes(400000).replace('\x05', 'y');
    const QString origem = arquivo(QStringLiteral("dados.bin"), conteudo);
    EXPECT_TRUE(s->EnviarArquivo(origem).check);
    EXPECT_EQ(baixar(servidor.port(), QStringLiteral("dados.bin")), conteudo);
    EXPECT_EQ(roteiro.linhas.filter(QStringLiteral("que não conferem com o que foi enviado")).size(), 1)
        << roteiro.linhas.join('\n').toStdString();
}

// On a server without a digest (pyftpdlib, vsftpd) a temporary file of this
// file's name is continued only when its last bytes are this file's; foreign bytes
// (another machine's backup of the same size and time, a damaged copy) are left
// alone and the upload starts over under another temporary name. A resumed upload
// is read back where its pieces meet.
TEST_F(EnvioSeguro, AnInterruptedUploadIsContinuedOnlyFromItsOwnBytes)
{
    const QByteArray conteudo = ScriptedFtp::patternBytes(300000).replace('\x03', 'z');
    QByteArray alheio = conteudo;
    alheio[299990] = '!';
    const struct Caso {
        const char* nome;
        QByteArray parte; // what the temporary file holds
        bool pergunta;    // the user is asked whether to continue
        bool mantida;     // it stays, as someone else's
    } casos[] = {
        {"own first half", conteudo.left(150000), true, false},
        {"whole, one byte off at the end", alheio, false, true},
        {"half, bytes off at the end", QByteArray(150000, 'q'), false, true},
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.nome);
        roteiro = {};
        QTemporaryDir raiz;
        const QString origem = arquivo(QStringLiteral("backup.fbk"), conteudo);
        const QString parcial = partialName(QStringLiteral("backup.fbk"), origem);
        QDir(raiz.path()).mkpath(kPastaCorrompida);
        writeFile(raiz.filePath(kPastaCorrompida + QLatin1Char('/') + parcial), c.parte);
        PyFtpd ftp(raiz.path());
        auto s = abrir(ftp.port());
        roteiro.respostas = {true};
        EXPECT_TRUE(s->EnviarArquivo(origem).check);
        EXPECT_EQ(readFile(raiz.filePath(kPastaCorrompida + QStringLiteral("/backup.fbk"))), conteudo);
        EXPECT_EQ(!roteiro.eventos.filter(QStringLiteral("resume backup.fbk")).isEmpty(), c.pergunta);
        EXPECT_EQ(QFile::exists(raiz.filePath(kPastaCorrompida + QLatin1Char('/') + parcial)), c.mantida);
        if (c.pergunta) {
            EXPECT_EQ(roteiro.linhas.filter(QRegularExpression(QStringLiteral("conferido em \\d+ trechos"))).size(), 1);
        }
        const QStringList restantes = QDir(raiz.filePath(kPastaCorrompida)).entryList(QDir::Files);
        EXPECT_EQ(restantes.size(), c.mantida ? 2 : 1) << restantes.join(' ').toStdString();
    }
}

// After an upload, the clean-up takes interrupted uploads of this very file and
// those nobody touched for a week; a younger one of another version may be another
// machine's upload, running now.
TEST_F(EnvioSeguro, TheCleanUpTakesOnlyWhatIsNobodysAnyMore)
{
    QDir(raiz.path()).mkpath(kPastaCorrompida);
    const QString origem = arquivo(QStringLiteral("backup.fbk"), QByteArray(5000, 'b'));
    const QString outra = QString::fromUtf8(partialUploadName("backup.fbk", {4000, 1700000000}));
    const QString velha = QString::fromUtf8(partialUploadName("backup.fbk", {3000, 1600000000}));
    const QString velhaDeOutro = QString::fromUtf8(freshPartialUploadName("outro.fbk", {3000, 1600000000}, "u1"));
    for (const QString& nome : {outra, velha, velhaDeOutro})
        writeFile(pastaNoDisco() + QLatin1Char('/') + nome, "x");
    for (const QString& nome : {velha, velhaDeOutro}) {
        QFile f(pastaNoDisco() + QLatin1Char('/') + nome);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.setFileTime(QDateTime::currentDateTime().addDays(-8), QFileDevice::FileModificationTime));
    }
    PyFtpd ftp(raiz.path());
    auto s = abrir(ftp.port());
    EXPECT_TRUE(s->EnviarArquivo(origem).check);
    QStringList restantes = QDir(pastaNoDisco()).entryList(QDir::Files);
    restantes.sort();
    EXPECT_EQ(restantes, (QStringList{QStringLiteral("backup.fbk"), outra}));
}

// In the shared folder two clients of the same user name may send a file of the
// same name in the same second: the second takes the next unique name, checked
// before the data goes and again before the rename, and no backup replaces another.
TEST_F(EnvioSeguro, UniqueNamesMoveOnRatherThanReplace)
{
    qputenv("USERDOMAIN", "SERVIDOR");
    qputenv("USERNAME", "Administrador");
    const QString origem = arquivo(QStringLiteral("backup.fbk"), QByteArray(5000, 'b'));
    QDir(raiz.path()).mkpath(kPastaCorrompida);
    // Every name the next seconds can give is taken already, by another's backup.
    const QDateTime agora = QDateTime::currentDateTime();
    QStringList deOutros;
    for (int segundo = 0; segundo < 10; ++segundo) {
        deOutros << NomeUnicoBaseCorrompida(origem, agora.addSecs(segundo));
        writeFile(pastaNoDisco() + QLatin1Char('/') + deOutros.last(), "de outro");
    }
    PyFtpd ftp(raiz.path());
    auto s = abrir(ftp.port());
    const FtpSession::SentFile enviado = s->EnviarArquivoBaseCorrompida(origem);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^SERVIDOR_Administrador-\\d{4}-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d-2_backup\\.fbk$"))
                    .match(enviado.name)
                    .hasMatch())
        << enviado.name.toStdString();
    EXPECT_EQ(readFile(pastaNoDisco() + QLatin1Char('/') + enviado.name), QByteArray(5000, 'b'));
    for (const QString& nome : deOutros)
        EXPECT_EQ(readFile(pastaNoDisco() + QLatin1Char('/') + nome), QByteArray("de outro"));
    EXPECT_EQ(roteiro.eventos.filter(QStringLiteral("unique ")), QStringList{QStringLiteral("unique ") + enviado.name});
    qunsetenv("USERDOMAIN");
    qunsetenv("USERNAME");
}

// A name that is a folder's on the server is refused before anything moves, for an
// upload and a download alike, on a server with MLST (pyftpdlib) and without (vsftpd).
TEST_F(EnvioSeguro, AFolderNameIsRefusedBeforeAnythingMoves)
{
    for (const bool comMlst : {true, false}) {
        SCOPED_TRACE(comMlst ? "pyftpdlib" : "vsftpd");
        roteiro = {};
        QTemporaryDir raizDoServidor;
        QDir(raizDoServidor.path()).mkpath(kPastaCorrompida + QStringLiteral("/backup.fbk"));
        std::unique_ptr<PyFtpd> py;
        std::unique_ptr<testsupport::Vsftpd> vs;
        int porta = 0;
        if (comMlst) {
            py = std::make_unique<PyFtpd>(raizDoServidor.path());
            porta = py->port();
        } else {
            vs = std::make_unique<testsupport::Vsftpd>(raizDoServidor.path());
            porta = vs->port();
        }
        auto s = abrir(porta);
        const QString origem = arquivo(QStringLiteral("backup.fbk"), QByteArray(5000, 'b'));
        const QString envio = falha([&] { s->EnviarArquivo(origem); });
        EXPECT_TRUE(envio.contains(QStringLiteral("Já existe uma pasta chamada backup.fbk"))) << envio.toStdString();
        const QString download = falha([&] { s->BaixarArquivo(QStringLiteral("backup.fbk"), local.filePath(QStringLiteral("baixado.fbk"))); });
        EXPECT_TRUE(download.contains(QStringLiteral("backup.fbk é uma pasta no servidor"))) << download.toStdString();
        EXPECT_TRUE(roteiro.eventos.filter(QStringLiteral("replace")).isEmpty());
        EXPECT_TRUE(QDir(raizDoServidor.filePath(kPastaCorrompida + QStringLiteral("/backup.fbk"))).exists());
        EXPECT_FALSE(QFile::exists(local.filePath(QStringLiteral("baixado.fbk"))));
    }
}

// The unique name of the shared folder: the time, a suffix for the second and later
// candidates, no separator or control character from the environment, and never
// longer than a server's file system takes, with the prefix and the extension kept.
TEST(NomeUnico, StaysInItsFolderAndWithinTheLimit)
{
    const QDateTime quando(QDate(2026, 12, 11), QTime(2, 30, 0));
    const QString longo = QString(QStringLiteral("ç")).repeated(150) + QStringLiteral(".fbk");
    const struct Caso {
        const char* nome;
        QByteArray dominio, usuario;
        QString arquivo;
        int vez;
        QString esperado; // empty: only the checks below
    } casos[] = {
        {"first", "SERVIDOR", "Administrador", QStringLiteral("b.fbk"), 1, QStringLiteral("SERVIDOR_Administrador-2026-12-11_02-30-00_b.fbk")},
        {"third", "SERVIDOR", "Administrador", QStringLiteral("b.fbk"), 3, QStringLiteral("SERVIDOR_Administrador-2026-12-11_02-30-00-3_b.fbk")},
        {"separators", "../SAO_JOSE/PM", "a\\b\tc", QStringLiteral("b.fbk"), 1, QStringLiteral(".._SAO_JOSE_PM_a_b_c-2026-12-11_02-30-00_b.fbk")},
        {"long", "SERVIDOR", "Administrador", longo, 2, {}},
    };
    for (const Caso& c : casos) {
        SCOPED_TRACE(c.nome);
        qputenv("USERDOMAIN", c.dominio);
        qputenv("USERNAME", c.usuario);
        const QString nome = NomeUnicoBaseCorrompida(QStringLiteral("/tmp/pasta/") + c.arquivo, quando, c.vez);
        if (!c.esperado.isEmpty()) {
            EXPECT_EQ(nome, c.esperado);
        }
        EXPECT_LE(nome.toUtf8().size(), kMaxNameBytes);
        EXPECT_FALSE(nome.contains(QLatin1Char('/')) || nome.contains(QLatin1Char('\\')));
        EXPECT_TRUE(nome.endsWith(QFileInfo(c.arquivo).suffix()));
        EXPECT_EQ(QString::fromUtf8(nome.toUtf8()), nome) << "cut at a character";
    }
    qunsetenv("USERDOMAIN");
    qunsetenv("USERNAME");
}

// Temporary names that no later run continues (a start over, a unique name) are
// still known as this program's, for the clean-up; a backup's own name is not.
TEST(NomeParcial, FreshNamesAreOursButNeverContinued)
{
    const LocalFileIdentity id{70000, 1700000000};
    const QByteArray fresco = freshPartialUploadName("backup.fbk", id, "n1a2b3c4");
    EXPECT_EQ(fresco, "backup.fbk.11170-6553f100-n1a2b3c4.parcial");
    EXPECT_TRUE(isPartialUploadName(fresco));
    EXPECT_FALSE(partialUploadIdentity(fresco, "backup.fbk"));
    EXPECT_LE(freshPartialUploadName(QByteArray(300, 'a'), id, "n1a2b3c4").size(), kMaxNameBytes);
    EXPECT_TRUE(isPartialUploadName(partialUploadName("backup.fbk", id)));
    for (const QByteArray& nome : {QByteArray("backup.fbk"), QByteArray("backup.parcial"), QByteArray("a.xyz-1.parcial"),
                                  QByteArray("a.1-2-TAG.parcial"), QByteArray("a.1-2-3-4.parcial")})
        EXPECT_FALSE(isPartialUploadName(nome)) << nome.constData();
}

}

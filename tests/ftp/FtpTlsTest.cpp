// Explicit FTP over TLS: the component against real servers on 127.0.0.1 (vsftpd
// with require_ssl_reuse, pyftpdlib's TLS handler) and against our scripted server
// for what real servers do not do on demand, each with certificates from an
// authority the program makes and trusts alone (SSL_CERT_FILE).
#include "FtpServers.h"
#include "FtpTestHelpers.h"
#include "IdFTP.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <thread>

#ifdef _WIN32
#include "FtpTls.h"

#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>
#endif

using namespace testsupport;
using namespace ftptest;
using namespace std::chrono_literals;

namespace {

QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QRandomGenerator gen(seed);
    QByteArray out(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        out[i] = static_cast<char>(gen.bounded(256));
    return out;
}

QString messageOf(const std::function<void()>& operation)
{
    try {
        operation();
    } catch (const EIdFTPError& e) {
        return e.Message();
    }
    return QStringLiteral("<no error>");
}

// The authority every test trusts, and the certificates it issues.
class Certificates : public ::testing::Environment {
public:
    void SetUp() override
    {
        ca = std::make_unique<TestCa>(dir.path());
        ca->trustOnly();
        server = ca->issue(QStringLiteral("servidor"));
    }
    QTemporaryDir dir;
    std::unique_ptr<TestCa> ca;
    ServerCertificate server; // 127.0.0.1 and localhost, valid, from the trusted authority
};
Certificates* certificates = static_cast<Certificates*>(::testing::AddGlobalTestEnvironment(new Certificates));

void setUp(TIdFTP& ftp, int port, TlsMode mode, EventRecorder& events)
{
    ajustar(ftp, [&](FtpSettings& s) {
        s.host = QStringLiteral("127.0.0.1");
        s.port = port;
        s.username = kFtpUser;
        s.password = kFtpPassword;
        s.connectTimeout = 5s;
        s.readTimeout = 10s;
        s.tls = mode;
    });
    ftp.SetEvents(&events);
}

// ---------------------------------------------------------------- real servers

enum class Peer { Vsftpd, Pyftpd, PyftpdNoSessions };

class RealTlsServer : public ::testing::TestWithParam<Peer> {};

// Listings, uploads and downloads in a row, each on its own protected data
// connection: with TLS 1.3 a data connection that resumes the wrong session (a
// ticket already used, or none) is refused by vsftpd, and the next one after it.
TEST_P(RealTlsServer, TransfersInARowAreEncryptedAndByteIdentical)
{
    QTemporaryDir root, local;
    std::unique_ptr<Vsftpd> vs;
    std::unique_ptr<PyFtpd> py;
    FtpTls tls{certificates->server};
    tls.noSessionReuse = GetParam() == Peer::PyftpdNoSessions;
    if (GetParam() == Peer::Vsftpd)
        vs = std::make_unique<Vsftpd>(root.path(), kFtpUser, kFtpPassword, tls);
    else
        py = std::make_unique<PyFtpd>(root.path(), kFtpUser, kFtpPassword, QStringList{}, tls);

    EventRecorder events;
    TIdFTP ftp;
    setUp(ftp, vs ? vs->port() : py->port(), TlsMode::IfAvailable, events);
    ftp.Connect();
    EXPECT_TRUE(ftp.IsSecure());
    EXPECT_TRUE(events.statuses().contains(QStringLiteral("Conexão segura (TLS 1.3, TLS_AES_256_GCM_SHA384)")))
        << events.statuses().join(QLatin1Char('\n')).toStdString();

    const QByteArray first = randomBytes(3 << 20, 1);
    const QByteArray second = randomBytes((1 << 20) + 12345, 2);
    writeFile(local.filePath(QStringLiteral("primeiro.fbk")), first);
    writeFile(local.filePath(QStringLiteral("segundo.fbk")), second);
    writeFile(local.filePath(QStringLiteral("vazio.fbk")), {});
    const auto names = [&] {
        ftp.List();
        QStringList out;
        for (const TIdFTPListItem& e : ftp.DirectoryListing())
            out << e.FileName;
        out.sort();
        return out;
    };

    EXPECT_EQ(names(), QStringList{});
    EXPECT_EQ(names(), QStringList{});
    ftp.Put(local.filePath(QStringLiteral("primeiro.fbk")));
    ftp.Get(QStringLiteral("primeiro.fbk"), local.filePath(QStringLiteral("primeiro.volta")), false, false);
    EXPECT_EQ(names(), QStringList{QStringLiteral("primeiro.fbk")});
    ftp.Put(local.filePath(QStringLiteral("segundo.fbk")));
    ftp.Put(local.filePath(QStringLiteral("segundo.fbk")), QStringLiteral("terceiro.fbk"));
    ftp.Get(QStringLiteral("segundo.fbk"), local.filePath(QStringLiteral("segundo.volta")), false, false);
    // An empty file: a handshake and the end of the stream, nothing between.
    ftp.Put(local.filePath(QStringLiteral("vazio.fbk")));
    ftp.Get(QStringLiteral("vazio.fbk"), local.filePath(QStringLiteral("vazio.volta")), false, false);
    ftp.Delete(QStringLiteral("primeiro.fbk"));
    EXPECT_EQ(names(), (QStringList{QStringLiteral("segundo.fbk"), QStringLiteral("terceiro.fbk"), QStringLiteral("vazio.fbk")}));
    ftp.Disconnect();

    EXPECT_EQ(readFile(local.filePath(QStringLiteral("primeiro.volta"))), first);
    EXPECT_EQ(readFile(local.filePath(QStringLiteral("segundo.volta"))), second);
    EXPECT_EQ(readFile(QDir(root.path()).filePath(QStringLiteral("segundo.fbk"))), second);
    EXPECT_EQ(readFile(QDir(root.path()).filePath(QStringLiteral("terceiro.fbk"))), second);
    EXPECT_TRUE(QFile::exists(local.filePath(QStringLiteral("vazio.volta"))));
    EXPECT_EQ(QFileInfo(QDir(root.path()).filePath(QStringLiteral("vazio.fbk"))).size(), 0);
    EXPECT_FALSE(QFile::exists(QDir(root.path()).filePath(QStringLiteral("primeiro.fbk"))));

    if (vs) {
        // vsftpd tells every handshake in its log: the control connection's full one,
        // then the eleven data connections, all resumed.
        const QString log = vs->log();
        EXPECT_EQ(log.count(QStringLiteral("TLSv1.3, SSL cipher: TLS_AES_256_GCM_SHA384, not reused")), 1) << log.toStdString();
        EXPECT_EQ(log.count(QStringLiteral("TLSv1.3, SSL cipher: TLS_AES_256_GCM_SHA384, reused")), 11) << log.toStdString();
        // Nothing of the login went out before the encryption.
        const qsizetype auth = log.indexOf(QStringLiteral("\"AUTH TLS\""));
        const qsizetype user = log.indexOf(QStringLiteral("\"USER caldoria\""));
        EXPECT_TRUE(auth >= 0 && user > auth) << log.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Peers, RealTlsServer, ::testing::Values(Peer::Vsftpd, Peer::Pyftpd, Peer::PyftpdNoSessions),
                         [](const auto& info) {
                             switch (info.param) {
                             case Peer::Vsftpd: return std::string("vsftpd_require_ssl_reuse");
                             case Peer::Pyftpd: return std::string("pyftpdlib");
                             case Peer::PyftpdNoSessions: return std::string("pyftpdlib_without_session_reuse");
                             }
                             return std::string();
                         });

// ---------------------------------------------------------------- our scripted server

class ScriptedTls : public ::testing::Test {
protected:
    void TearDown() override { ftp.Disconnect(); }

    void start(const QString& scenario, const std::optional<ScriptedFtp::Tls>& tls, TlsMode mode,
               const QList<ScriptedFtp::File>& files = {})
    {
        server = std::make_unique<ScriptedFtp>(scenario, files, kFtpUser, kFtpPassword, tls);
        setUp(ftp, server->port(), mode, events);
    }

    TIdFTP ftp;
    EventRecorder events;
    std::unique_ptr<ScriptedFtp> server;
};

const QStringList kSecureLogin{QStringLiteral("AUTH TLS"), QStringLiteral("USER caldoria"), QStringLiteral("PASS vesplodu"),
                               QStringLiteral("PBSZ 0"),   QStringLiteral("PROT P"),        QStringLiteral("TYPE I")};

// A certificate is verified against the trusted authorities and the host: its
// name, or for an address its IP entries. One that cannot be verified ends the
// connection before the login; the user's earlier yes lets it in where TLS is only
// wanted, never where it is required.
TEST_F(ScriptedTls, CertificatesAreVerifiedBeforeTheLogin)
{
    QTemporaryDir other;
    const TestCa stranger(other.path(), QStringLiteral("estranha"));
    TestCa::Options expired;
    expired.notBeforeDays = -30;
    expired.notAfterDays = -1;
    TestCa::Options otherHost;
    otherHost.ips = {};
    otherHost.dnsNames = {QStringLiteral("ftp.outro.example")};
    TestCa::Options selfSigned;
    selfSigned.selfSigned = true;
    TestCa::Options addressOnly;
    addressOnly.dnsNames = {};
    const QString address = QStringLiteral("127.0.0.1");
    const QString name = QStringLiteral("localhost");
    const struct Case {
        const char* name;
        QString host;
        ServerCertificate certificate;
        QString problem; // empty: verified
    } cases[] = {
        {"address in the IP entries", address, certificates->server, {}},
        {"name in the DNS entries", name, certificates->server, {}},
        {"expired", address, certificates->ca->issue(QStringLiteral("vencido"), expired), QStringLiteral("o certificado expirou")},
        {"address not among the entries", address, certificates->ca->issue(QStringLiteral("outro-host"), otherHost),
         QStringLiteral("o certificado não é do servidor 127.0.0.1")},
        {"name not among the entries", name, certificates->ca->issue(QStringLiteral("so-endereco"), addressOnly),
         QStringLiteral("o certificado não é do servidor localhost")},
        {"self-signed", address, certificates->ca->issue(QStringLiteral("autoassinado"), selfSigned),
         QStringLiteral("o certificado é autoassinado")},
        {"unknown authority", address, stranger.issue(QStringLiteral("de-estranha")),
         QStringLiteral("o certificado foi emitido por uma autoridade que este computador não reconhece")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        start(QStringLiteral("normal"), ScriptedFtp::Tls{c.certificate, {}}, TlsMode::IfAvailable);
        ajustar(ftp, [&](FtpSettings& s) { s.host = c.host; });
        if (c.problem.isEmpty()) {
            ajustar(ftp, [&](FtpSettings& s) { s.tls = TlsMode::Required; });
            ftp.Connect();
            EXPECT_TRUE(ftp.IsSecure());
            EXPECT_EQ(server->commands().mid(0, kSecureLogin.size()), kSecureLogin);
            ftp.Disconnect();
            continue;
        }
        try {
            ftp.Connect();
            ADD_FAILURE() << "connected";
        } catch (const UntrustedCertificateError& e) {
            EXPECT_EQ(e.Message(), QStringLiteral("O certificado do servidor %1 não pôde ser verificado: %2").arg(c.host, c.problem));
            EXPECT_EQ(e.problem(), c.problem);
            EXPECT_EQ(e.fingerprint(), c.certificate.fingerprint);
            EXPECT_EQ(e.host(), c.host);
        }
        EXPECT_FALSE(ftp.Connected());
        EXPECT_EQ(server->commands(), QStringList{QStringLiteral("AUTH TLS")});

        // Accepted before: in, and the log says on what grounds.
        ajustar(ftp, [&](FtpSettings& s) { s.acceptedCertificates = {QStringLiteral("00:11"), c.certificate.fingerprint}; });
        ftp.Connect();
        EXPECT_TRUE(ftp.IsSecure());
        EXPECT_TRUE(events.statuses().contains(
            QStringLiteral("Certificado aceito anteriormente pelo usuário (%1; SHA-256 %2)").arg(c.problem, c.certificate.fingerprint)));
        EXPECT_EQ(server->commands().mid(1, kSecureLogin.size()), kSecureLogin);
        ftp.Disconnect();

        // Required: only a verified certificate will do.
        ajustar(ftp, [&](FtpSettings& s) { s.tls = TlsMode::Required; });
        EXPECT_THROW(ftp.Connect(), UntrustedCertificateError);
        EXPECT_EQ(server->commands().count(QStringLiteral("USER caldoria")), 1);
    }
}

// How each mode meets a server with TLS and one without it.
TEST_F(ScriptedTls, ModesAgainstServersWithAndWithoutTls)
{
    const QList<ScriptedFtp::File> files{{QStringLiteral("dados.bin"), 200000}};
    const struct Case {
        const char* name;
        bool serverTls;
        QString scenario;
        TlsMode mode;
        QStringList login;  // the first commands
        QString statusLine; // among the status lines
        QString failure;    // Connect's message; empty when it connects
        bool secure;
    } cases[] = {
        {"never, TLS server", true, QStringLiteral("normal"), TlsMode::Never, {QStringLiteral("USER caldoria")},
         QStringLiteral("Conexão sem criptografia"), {}, false},
        {"if available, TLS server", true, QStringLiteral("normal"), TlsMode::IfAvailable, kSecureLogin,
         QStringLiteral("Conexão segura (TLS 1.3, TLS_AES_256_GCM_SHA384)"), {}, true},
        {"required, TLS server", true, QStringLiteral("normal"), TlsMode::Required, kSecureLogin,
         QStringLiteral("Conexão segura (TLS 1.3, TLS_AES_256_GCM_SHA384)"), {}, true},
        {"if available, plain server", false, QStringLiteral("normal"), TlsMode::IfAvailable,
         {QStringLiteral("AUTH TLS"), QStringLiteral("USER caldoria"), QStringLiteral("PASS vesplodu"), QStringLiteral("TYPE I")},
         QStringLiteral("O servidor não aceitou o AUTH TLS: Unknown command."), {}, false},
        {"required, plain server", false, QStringLiteral("normal"), TlsMode::Required, {QStringLiteral("AUTH TLS")}, {},
         QStringLiteral("O servidor 127.0.0.1 não oferece conexão segura (TLS), que esta instalação exige: Unknown command."), false},
        // The login is encrypted, the files would not be.
        {"if available, data in clear", true, QStringLiteral("prot-refused"), TlsMode::IfAvailable, kSecureLogin,
         QStringLiteral("O servidor recusou a proteção dos dados (PROT P); os arquivos e as listagens seguem sem criptografia: "
                        "Requested PROT level not supported by mechanism."),
         {}, false},
        {"required, data in clear", true, QStringLiteral("prot-refused"), TlsMode::Required, kSecureLogin.mid(0, 5), {},
         QStringLiteral("O servidor recusou a proteção dos dados (PROT P): Requested PROT level not supported by mechanism."), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        events.clear();
        start(c.scenario, c.serverTls ? std::optional(ScriptedFtp::Tls{certificates->server, {}}) : std::nullopt, c.mode, files);
        EXPECT_EQ(messageOf([&] { ftp.Connect(); }), c.failure.isEmpty() ? QStringLiteral("<no error>") : c.failure);
        EXPECT_EQ(server->commands().mid(0, c.login.size()), c.login);
        EXPECT_EQ(ftp.IsSecure(), c.secure);
        if (!c.statusLine.isEmpty()) {
            EXPECT_TRUE(events.statuses().contains(c.statusLine)) << events.statuses().join(QLatin1Char('\n')).toStdString();
        }
        if (!c.failure.isEmpty()) {
            EXPECT_EQ(server->commands(), c.login) << "nothing after the refusal";
            continue;
        }
        // Exactly one of the two lines, once.
        EXPECT_EQ(events.statuses().filter(QRegularExpression(QStringLiteral("^Conexão (segura|sem criptografia)"))).size(), 1);
        QBuffer sink;
        sink.open(QIODevice::WriteOnly);
        ftp.Get(QStringLiteral("dados.bin"), sink);
        EXPECT_EQ(sink.data(), ScriptedFtp::patternBytes(200000));
        ftp.Disconnect();
    }
}

// Our own server known by its key (pins), and a server that spoke TLS before: a
// key that is not pinned, or a server that no longer offers TLS, may be someone on
// the way, who never gets the login. A pinned key stands for the server whatever
// its certificate says. "Never" stays plain.
TEST_F(ScriptedTls, PinnedKeysAndServersThatSpokeTlsBefore)
{
    TestCa::Options foreign; // self-signed, expired, and for another name: only the key counts
    foreign.selfSigned = true;
    foreign.ips = {};
    foreign.dnsNames = {QStringLiteral("ftp.outro.example")};
    foreign.notBeforeDays = -30;
    foreign.notAfterDays = -1;
    const ServerCertificate proprio = certificates->ca->issue(QStringLiteral("proprio"), foreign);
    const auto pin = [](const ServerCertificate& c) { return QByteArray::fromBase64(c.keyPin.mid(8).toLatin1()); };
    const QList<QByteArray> pinned{QByteArray(32, 'x'), pin(proprio)};
    const QStringList plainLogin{QStringLiteral("AUTH TLS"), QStringLiteral("USER caldoria"), QStringLiteral("PASS vesplodu"),
                                 QStringLiteral("TYPE I")};
    const QString interception = QStringLiteral("possível interceptação da conexão");
    const struct Case {
        const char* name;
        std::optional<ServerCertificate> certificate; // none: a server without TLS
        QString scenario;
        TlsMode mode;
        QList<QByteArray> pins;
        bool tlsSeenBefore;
        QStringList commands; // all the server got
        QString failure;      // part of Connect's message; empty when it connects
        QString statusLine;
    } cases[] = {
        {"pinned key, certificate that verifies nothing", proprio, QStringLiteral("normal"), TlsMode::IfAvailable, pinned, false,
         kSecureLogin, {}, QStringLiteral("Conexão segura (TLS 1.3, TLS_AES_256_GCM_SHA384, chave fixada)")},
        {"pinned key, TLS required", proprio, QStringLiteral("normal"), TlsMode::Required, pinned, false, kSecureLogin, {},
         QStringLiteral("Conexão segura (TLS 1.3, TLS_AES_256_GCM_SHA384, chave fixada)")},
        {"verified certificate with a key that is not pinned", certificates->server, QStringLiteral("normal"), TlsMode::IfAvailable,
         pinned, false, {QStringLiteral("AUTH TLS")},
         QStringLiteral("não é a chave fixada nesta instalação: possível interceptação da conexão. O login não foi enviado."), {}},
        {"not pinned, required", certificates->server, QStringLiteral("normal"), TlsMode::Required, {QByteArray(32, 'x')}, false,
         {QStringLiteral("AUTH TLS")}, interception, {}},
        {"pinned, server without TLS", std::nullopt, QStringLiteral("normal"), TlsMode::IfAvailable, pinned, false,
         {QStringLiteral("AUTH TLS")}, QStringLiteral("não aceitou a conexão segura (AUTH TLS), e esta instalação só fala com ele"), {}},
        {"TLS before, server without TLS now", std::nullopt, QStringLiteral("normal"), TlsMode::IfAvailable, {}, true,
         {QStringLiteral("AUTH TLS")},
         QStringLiteral("não aceitou a conexão segura (AUTH TLS), embora este serviço tenha concluído uma conexão segura (TLS) "
                        "antes: possível interceptação da conexão. O login não foi enviado. Resposta do servidor: "
                        "Unknown command."),
         {}},
        {"TLS before, data in clear now", certificates->server, QStringLiteral("prot-refused"), TlsMode::IfAvailable, {}, true,
         kSecureLogin.mid(0, 5), QStringLiteral("recusou a proteção dos dados (PROT P)"), {}},
        {"TLS before, never", std::nullopt, QStringLiteral("normal"), TlsMode::Never, {}, true, plainLogin.mid(1), {},
         QStringLiteral("Conexão sem criptografia")},
        {"TLS before, TLS now", certificates->server, QStringLiteral("normal"), TlsMode::IfAvailable, {}, true, kSecureLogin, {},
         QStringLiteral("Conexão segura (TLS 1.3, TLS_AES_256_GCM_SHA384)")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        events.clear();
        start(c.scenario, c.certificate ? std::optional(ScriptedFtp::Tls{*c.certificate, {}}) : std::nullopt, c.mode);
        ajustar(ftp, [&](FtpSettings& s) {
            s.pinnedKeys = c.pins;
            s.tlsSeenBefore = c.tlsSeenBefore;
        });
        const QString message = messageOf([&] { ftp.Connect(); });
        if (c.failure.isEmpty()) {
            EXPECT_EQ(message, QStringLiteral("<no error>"));
            EXPECT_TRUE(events.statuses().contains(c.statusLine)) << events.statuses().join(QLatin1Char('\n')).toStdString();
            EXPECT_EQ(ftp.IsKeyPinned(), !c.pins.isEmpty());
            EXPECT_EQ(server->commands().mid(0, c.commands.size()), c.commands);
        } else {
            EXPECT_TRUE(message.contains(c.failure)) << message.toStdString();
            EXPECT_TRUE(message.contains(QStringLiteral("127.0.0.1:%1").arg(server->port()))) << message.toStdString();
            EXPECT_FALSE(ftp.Connected());
            EXPECT_EQ(server->commands(), c.commands);
        }
        ftp.Disconnect();
    }
}

// The name the certificate must carry may differ from the host connected to (an
// address): it is what is checked, and what the server is told it is wanted as (SNI).
TEST_F(ScriptedTls, ACertificateIsCheckedAgainstTheTlsName)
{
    TestCa::Options namesOnly;
    namesOnly.ips = {};
    namesOnly.dnsNames = {QStringLiteral("ftp.quintara.example")};
    start(QStringLiteral("normal"), ScriptedFtp::Tls{certificates->ca->issue(QStringLiteral("por-nome"), namesOnly), {}},
          TlsMode::Required, {{QStringLiteral("dados.bin"), 1000}});
    EXPECT_THROW(ftp.Connect(), UntrustedCertificateError);
    ajustar(ftp, [&](FtpSettings& s) { s.tlsName = QStringLiteral("ftp.quintara.example"); });
    ftp.Connect();
    EXPECT_TRUE(ftp.IsSecure());
    QBuffer sink;
    sink.open(QIODevice::WriteOnly);
    ftp.Get(QStringLiteral("dados.bin"), sink); // the data connection checks the same name
    EXPECT_EQ(sink.data(), ScriptedFtp::patternBytes(1000));
    // An address is never sent as SNI: the first attempt sent no name at all; then
    // the control connection and the data connection sent the name.
    EXPECT_EQ(server->notes().filter(QRegularExpression(QStringLiteral("^sni "))),
              (QStringList{QStringLiteral("sni -"), QStringLiteral("sni ftp.quintara.example"), QStringLiteral("sni ftp.quintara.example")}));
}

// A data connection that resumed nothing must at least show the control
// connection's certificate; another one could be anyone's who took the data port.
TEST_F(ScriptedTls, DataConnectionWithAnotherCertificateIsRefused)
{
    start(QStringLiteral("normal"), ScriptedFtp::Tls{certificates->server, certificates->ca->issue(QStringLiteral("outro"))},
          TlsMode::Required, {{QStringLiteral("dados.bin"), 1000}});
    ftp.Connect();
    QBuffer sink;
    sink.open(QIODevice::WriteOnly);
    // The server's own reply follows in brackets when it reports the broken
    // connection, which depends on who was quicker.
    const QString message = messageOf([&] { ftp.Get(QStringLiteral("dados.bin"), sink); });
    EXPECT_TRUE(message.startsWith(QStringLiteral("Falha na conexão segura de dados: a conexão de dados apresentou um "
                                                  "certificado diferente do da conexão de controle")))
        << message.toStdString();
    EXPECT_TRUE(sink.data().isEmpty());
    // The control connection is still in step.
    EXPECT_TRUE(ftp.Connected());
    EXPECT_EQ(ftp.RetrieveCurrentDir(), QStringLiteral("/"));
}

// Over TLS a file's end is the server's close_notify. A data connection that just
// stops, from a server that told no size, has delivered part of a file at best; the
// same server's listing, which nothing else can check, still reads.
TEST_F(ScriptedTls, AFileCutWithoutCloseNotifyIsBrokenWhenNoSizeTells)
{
    start(QStringLiteral("tls-cut-no-size"), ScriptedFtp::Tls{certificates->server, {}}, TlsMode::Required,
          {{QStringLiteral("dados.bin"), 200000}});
    ftp.Connect();
    QBuffer sink;
    sink.open(QIODevice::WriteOnly);
    try {
        ftp.Get(QStringLiteral("dados.bin"), sink);
        ADD_FAILURE() << "half a file taken as whole";
    } catch (const EIdFTPTransferBroken& e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("close_notify"))) << e.Message().toStdString();
    }
    EXPECT_EQ(sink.data(), ScriptedFtp::patternBytes(100000));
    EXPECT_TRUE(ftp.Connected());
    ftp.List();
    EXPECT_EQ(ftp.DirectoryListing().size(), 1u);
}

// Plain text the server (or anyone on the way) sent behind its 234 is never read
// as part of the encrypted conversation.
TEST_F(ScriptedTls, TextBehindTheAuthReplyEndsTheConnection)
{
    start(QStringLiteral("tls-injected"), ScriptedFtp::Tls{certificates->server, {}}, TlsMode::IfAvailable);
    EXPECT_EQ(messageOf([&] { ftp.Connect(); }), QStringLiteral("O servidor enviou dados inesperados após aceitar o AUTH TLS"));
    EXPECT_FALSE(ftp.Connected());
    EXPECT_EQ(server->commands(), QStringList{QStringLiteral("AUTH TLS")});
}

// TLS waits end like plain ones: at the time-out, or at once on Abort.
TEST_F(ScriptedTls, SilentPeersTimeOutAndAbortBreaksOff)
{
    QTemporaryDir local;
    const QString upload = local.filePath(QStringLiteral("grande.bin"));
    writeFile(upload, randomBytes(8 << 20, 3));
    const auto download = [](TIdFTP& f) {
        QBuffer sink;
        sink.open(QIODevice::WriteOnly);
        f.Get(QStringLiteral("dados.bin"), sink);
    };
    const struct Case {
        const char* name;
        QString scenario;
        QString lastCommand; // the stall begins once the server has it
        std::function<void(TIdFTP&)> operation;
        QString timeout;     // the message with a read time-out of 1 s
    } cases[] = {
        {"handshake", QStringLiteral("tls-silent"), QStringLiteral("AUTH TLS"), [](TIdFTP&) {},
         QStringLiteral("Tempo esgotado: o servidor não concluiu a negociação TLS em 1 s")},
        {"download", QStringLiteral("data-stall"), QStringLiteral("RETR dados.bin"), download,
         QStringLiteral("Tempo esgotado: a transferência de dados ficou parada por 1 s")},
        {"upload", QStringLiteral("store-stall"), QStringLiteral("STOR grande.bin"), [&](TIdFTP& f) { f.Put(upload); },
         QStringLiteral("Tempo esgotado: a transferência de dados ficou parada por 1 s")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const bool abort : {false, true}) {
            start(c.scenario, ScriptedFtp::Tls{certificates->server, {}}, TlsMode::Required, {{QStringLiteral("dados.bin"), 1 << 20}});
            // With the Abort the wait would otherwise end only after a minute, and
            // the message would be the time-out's.
            ajustar(ftp, [&](FtpSettings& s) { s.readTimeout = abort ? 60s : 1s; });
            std::thread aborter([&] {
                if (!abort)
                    return;
                for (int i = 0; i < 1000 && !server->commands().contains(c.lastCommand); ++i)
                    std::this_thread::sleep_for(10ms);
                std::this_thread::sleep_for(300ms);
                ftp.Abort();
            });
            EXPECT_EQ(messageOf([&] {
                          ftp.Connect();
                          c.operation(ftp);
                      }),
                      abort ? QStringLiteral("Operação cancelada") : c.timeout);
            aborter.join();
            EXPECT_FALSE(ftp.Connected());
        }
    }
}

}

#ifdef _WIN32
namespace {

// OpenSSL's default trust store is a folder no Windows machine has: what Windows
// trusts comes from its ROOT store (under Wine, the host's authorities).
TEST(WindowsTrustStore, HoldsTheSystemRootStore)
{
    qputenv("SSL_CERT_FILE", "C:\\\\no-such-file.pem");
    qputenv("SSL_CERT_DIR", "C:\\\\no-such-folder");
    const ftp::TlsContext context;
    certificates->ca->trustOnly();
    EXPECT_GT(sk_X509_OBJECT_num(X509_STORE_get0_objects(SSL_CTX_get_cert_store(context.native()))), 0);
}

}
#endif

// The component against our scripted server: the faults real servers do not make
// on demand, and the exact commands the component sends.
#include "FtpServers.h"
#include "FtpTestHelpers.h"
#include "IdFTP.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <thread>

using namespace testsupport;
using namespace ftptest;
using namespace std::chrono_literals;

namespace {

class Scripted : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(local.isValid()); }
    void TearDown() override { ftp.Disconnect(); }

    void start(const QString& scenario, const QList<ScriptedFtp::File>& files = {})
    {
        server = std::make_unique<ScriptedFtp>(scenario, files);
        ftp.Host = QStringLiteral("127.0.0.1");
        ftp.Port = server->port();
        ftp.Username = kFtpUser;
        ftp.Password = kFtpPassword;
        ftp.ConnectTimeout = 5s;
        ftp.ReadTimeout = 10s;
        ftp.SetEvents(&events);
    }
    QString localPath(const QString& name) const { return local.filePath(name); }

    TIdFTP ftp;
    EventRecorder events;
    QTemporaryDir local;
    std::unique_ptr<ScriptedFtp> server;
};

QString messageOf(const std::function<void()>& operation)
{
    try {
        operation();
    } catch (const EIdFTPError& e) {
        return e.Message();
    }
    return QStringLiteral("<no error>");
}

TEST_F(Scripted, LoginSendsTheExpectedCommands)
{
    for (const bool fastTrack : {true, false}) {
        SCOPED_TRACE(fastTrack ? "TryNATFastTrack" : "no TryNATFastTrack");
        start(QStringLiteral("normal"));
        ftp.TryNATFastTrack = fastTrack;
        ftp.Connect();
        QStringList expected{QStringLiteral("USER caldoria"), QStringLiteral("PASS vesplodu"), QStringLiteral("TYPE I"),
                             QStringLiteral("FEAT"), QStringLiteral("OPTS UTF8 ON")};
        if (fastTrack)
            expected << QStringLiteral("EPSV ALL");
        EXPECT_EQ(server->commands(), expected);

        // FEAT lists MLST, EPRT and EPSV: the listing goes over EPSV with MLSD.
        ftp.List();
        EXPECT_EQ(server->commands().mid(expected.size()), (QStringList{QStringLiteral("EPSV"), QStringLiteral("MLSD")}));
        ftp.Disconnect();
        EXPECT_TRUE(server->waitForCommands(static_cast<int>(expected.size()) + 3));
        EXPECT_EQ(server->commands().last(), QStringLiteral("QUIT"));
    }
}

TEST_F(Scripted, SilentServerTimesOut)
{
    start(QStringLiteral("silent"));
    ftp.ReadTimeout = 300ms;
    const QString message = messageOf([&] { ftp.Connect(); });
    EXPECT_TRUE(message.startsWith(QStringLiteral("Tempo esgotado"))) << message.toStdString();
    EXPECT_FALSE(ftp.Connected());
}

TEST_F(Scripted, ServerThatStopsAnsweringTimesOutAndIsDropped)
{
    start(QStringLiteral("mute-after-login"));
    ftp.ReadTimeout = 300ms;
    ftp.Connect();
    const QString message = messageOf([&] { ftp.RetrieveCurrentDir(); });
    EXPECT_EQ(message, QStringLiteral("Tempo esgotado: o servidor não respondeu em 300 ms"));
    EXPECT_FALSE(ftp.Connected());
    EXPECT_EQ(ftp.Size(QStringLiteral("x")), -1);
}

TEST_F(Scripted, ConnectTimesOutOnAHostThatDoesNotAccept)
{
    ftp.Host = QStringLiteral("127.0.0.1");
    ftp.Port = unacceptingPort();
    ftp.ConnectTimeout = 300ms;
    const QString message = messageOf([&] { ftp.Connect(); });
    EXPECT_TRUE(message.startsWith(QStringLiteral("Tempo esgotado ao conectar em 127.0.0.1:%1").arg(ftp.Port)))
        << message.toStdString();
    EXPECT_FALSE(ftp.Connected());
}

TEST_F(Scripted, ConnectionClosedByTheServerIsSeen)
{
    start(QStringLiteral("close-after-login"));
    ftp.Connect();
    EXPECT_TRUE(waitUntil([&] { return !ftp.Connected(); }, 5s));
    EXPECT_EQ(ftp.Size(QStringLiteral("x")), -1);
    EXPECT_THROW(ftp.ChangeDir(QStringLiteral("/")), EIdFTPError);

    // Without asking Connected first: the command finds the connection gone.
    ftp.Connect();
    EXPECT_THROW(ftp.ChangeDir(QStringLiteral("/")), EIdFTPError);
    EXPECT_FALSE(ftp.Connected());
}

TEST_F(Scripted, ServerClosingWith421IsAnErrorWithItsText)
{
    start(QStringLiteral("closing-421"));
    ftp.Connect();
    try {
        ftp.RetrieveCurrentDir();
        FAIL() << "PWD succeeded on a closing server";
    } catch (const EIdFTPError& e) {
        EXPECT_EQ(e.Code(), 421);
        EXPECT_EQ(e.Message(), QStringLiteral("Timeout: closing control connection."));
    }
    EXPECT_FALSE(ftp.Connected());
}

TEST_F(Scripted, DataGoesToTheServerNotToThePasvAddress)
{
    const qint64 size = 300000;
    start(QStringLiteral("pasv-foreign"), {{QStringLiteral("data.bin"), size}});
    ftp.Connect();
    ftp.List();
    ASSERT_EQ(ftp.DirectoryListing().size(), 1u);
    EXPECT_EQ(ftp.DirectoryListing()[0].FileName, QStringLiteral("data.bin"));
    ftp.Get(QStringLiteral("data.bin"), localPath(QStringLiteral("data.bin")), false, false);
    EXPECT_EQ(readFile(localPath(QStringLiteral("data.bin"))), ScriptedFtp::patternBytes(size));

    EXPECT_EQ(server->commands().count(QStringLiteral("PASV")), 2);
    EXPECT_FALSE(server->commands().contains(QStringLiteral("EPSV")));
    EXPECT_EQ(server->notes(), (QStringList{QStringLiteral("data connection from 127.0.0.1"),
                                            QStringLiteral("data connection from 127.0.0.1")}));
}

TEST_F(Scripted, RefusedEpsvFallsBackToPasvForGood)
{
    start(QStringLiteral("epsv-refused"));
    ftp.Connect();
    ftp.List();
    ftp.List();
    const QStringList c = server->commands();
    EXPECT_EQ(c.count(QStringLiteral("EPSV")), 1);
    EXPECT_EQ(c.count(QStringLiteral("PASV")), 2);
    EXPECT_EQ(c.count(QStringLiteral("MLSD")), 2);
}

TEST_F(Scripted, UnknownMlsdFallsBackToList)
{
    start(QStringLiteral("mlsd-unknown"), {{QStringLiteral("a.txt"), 5}});
    ftp.Connect();
    ftp.List();
    ASSERT_EQ(ftp.DirectoryListing().size(), 1u);
    EXPECT_EQ(ftp.DirectoryListing()[0].FileName, QStringLiteral("a.txt"));
    EXPECT_EQ(ftp.DirectoryListing()[0].Size, 5);
    ftp.List();
    EXPECT_EQ(server->commands().count(QStringLiteral("MLSD")), 1);
    EXPECT_EQ(server->commands().count(QStringLiteral("LIST")), 2);
}

TEST_F(Scripted, BrokenDownloadFailsAndKeepsTheEarlierFile)
{
    struct Case {
        const char* scenario;
        const char* message; // nullptr: any
        bool staysConnected;
    };
    const qint64 size = 1 << 20;
    for (const Case& c : {Case{"data-drop", "Connection closed; transfer aborted.", true},
                          Case{"short-226", "Transferência incompleta: recebidos 524288 de 1048576 bytes", true},
                          Case{"data-reset", nullptr, false}}) {
        SCOPED_TRACE(c.scenario);
        start(QString::fromUtf8(c.scenario), {{QStringLiteral("base.fbk"), size}});
        writeFile(localPath(QStringLiteral("base.fbk")), "earlier");
        ftp.Connect();
        events.clear();
        const QString message = messageOf([&] { ftp.Get(QStringLiteral("base.fbk"), localPath(QStringLiteral("base.fbk")), true, false); });
        if (c.message)
            EXPECT_EQ(message, QString::fromUtf8(c.message));
        else
            EXPECT_NE(message, QStringLiteral("<no error>"));
        EXPECT_EQ(readFile(localPath(QStringLiteral("base.fbk"))), QByteArray("earlier"));
        EXPECT_TRUE(partFiles(local.path()).isEmpty());
        const auto work = events.work();
        ASSERT_GE(work.size(), 2u);
        EXPECT_EQ(work.front().kind, Event::Begin);
        EXPECT_EQ(work.back().kind, Event::End);
        if (c.staysConnected) {
            EXPECT_TRUE(ftp.Connected());
            EXPECT_EQ(ftp.RetrieveCurrentDir(), QStringLiteral("/"));
        }
        ftp.Disconnect();
    }
}

TEST_F(Scripted, StalledTransferTimesOut)
{
    start(QStringLiteral("data-stall"), {{QStringLiteral("base.fbk"), 1 << 20}});
    ftp.ReadTimeout = 300ms;
    ftp.Connect();
    const QString message = messageOf([&] { ftp.Get(QStringLiteral("base.fbk"), localPath(QStringLiteral("base.fbk")), false, false); });
    EXPECT_EQ(message, QStringLiteral("Tempo esgotado: a transferência de dados ficou parada por 300 ms"));
    const auto work = events.work();
    ASSERT_GE(work.size(), 2u);
    EXPECT_EQ(work.front().kind, Event::Begin);
    EXPECT_EQ(work.back().kind, Event::End);
    EXPECT_FALSE(ftp.Connected());
    EXPECT_FALSE(QFile::exists(localPath(QStringLiteral("base.fbk"))));
    EXPECT_TRUE(partFiles(local.path()).isEmpty());
}

TEST_F(Scripted, AbortFromAnotherThreadStopsATransfer)
{
    start(QStringLiteral("data-stall"), {{QStringLiteral("base.fbk"), 1 << 20}});
    ftp.ReadTimeout = 60s; // only the abort can end it in time
    ftp.Connect();
    QString message;
    std::thread worker([&] {
        message = messageOf([&] { ftp.Get(QStringLiteral("base.fbk"), localPath(QStringLiteral("base.fbk")), false, false); });
    });
    const bool began = waitUntil([&] { return events.seen(Event::Begin); }, 10s);
    ftp.Abort();
    worker.join();
    ASSERT_TRUE(began);
    EXPECT_EQ(message, QStringLiteral("Operação cancelada"));
    EXPECT_EQ(events.work().back().kind, Event::End);
    EXPECT_FALSE(ftp.Connected());
    EXPECT_TRUE(partFiles(local.path()).isEmpty());
}

TEST_F(Scripted, MultiLineRepliesAreReadWhole)
{
    start(QStringLiteral("multiline"));
    ftp.Connect();
    EXPECT_EQ(ftp.RetrieveCurrentDir(), QStringLiteral("/"));
    ftp.MakeDir(QStringLiteral("x"));
    const QString message = messageOf([&] { ftp.MakeDir(QStringLiteral("x")); });
    EXPECT_EQ(message, QStringLiteral("Create directory operation failed:\nthe folder already exists.\n"
                                      "123 inner line with digits\nEnd of reply."));
    EXPECT_TRUE(message.toLower().contains(QStringLiteral("exist")));
    // Still in step: each command got its own reply.
    EXPECT_EQ(ftp.RetrieveCurrentDir(), QStringLiteral("/"));

    ftp.Password = QStringLiteral("wrong");
    EXPECT_EQ(messageOf([&] { ftp.Connect(); }), QStringLiteral("Login incorrect.\nBye."));
}

TEST_F(Scripted, WindowsStyleListing)
{
    start(QStringLiteral("iis-list"));
    ftp.Connect();
    ftp.List();
    const auto& items = ftp.DirectoryListing();
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].FileName, QStringLiteral("backups antigos"));
    EXPECT_TRUE(items[0].IsDirectory);
    EXPECT_EQ(items[0].ModifiedDate, QDateTime(QDate(2020, 1, 2), QTime(15, 4)));
    EXPECT_EQ(items[1].FileName, QStringLiteral("Base Dados 2019.fbk"));
    EXPECT_EQ(items[1].Size, 4096123);
    EXPECT_FALSE(items[1].IsDirectory);
    EXPECT_EQ(items[2].FileName, QStringLiteral("vazio.txt"));
    EXPECT_EQ(items[2].Size, 0);
    EXPECT_TRUE(server->commands().contains(QStringLiteral("LIST")));
    EXPECT_FALSE(server->commands().contains(QStringLiteral("MLSD")));
}

TEST_F(Scripted, LocalRefusalsSendNoCommand)
{
    start(QStringLiteral("normal"), {{QStringLiteral("keep.txt"), 10}});
    writeFile(localPath(QStringLiteral("keep.txt")), "mine");
    ftp.Connect();
    const int before = static_cast<int>(server->commands().size());

    EXPECT_TRUE(messageOf([&] { ftp.Get(QStringLiteral("keep.txt"), localPath(QStringLiteral("keep.txt")), false, false); })
                    .startsWith(QStringLiteral("O arquivo de destino já existe")));
    EXPECT_TRUE(messageOf([&] { ftp.Put(localPath(QStringLiteral("missing.bin")), {}, false, 0); })
                    .startsWith(QStringLiteral("Não foi possível abrir o arquivo local")));
    EXPECT_TRUE(messageOf([&] { ftp.ChangeDir(QStringLiteral("a\r\nDELE keep.txt")); })
                    .startsWith(QStringLiteral("Nome inválido")));
    EXPECT_EQ(readFile(localPath(QStringLiteral("keep.txt"))), QByteArray("mine"));

    EXPECT_EQ(ftp.RetrieveCurrentDir(), QStringLiteral("/"));
    EXPECT_EQ(server->commands().mid(before), QStringList{QStringLiteral("PWD")});
}

TEST_F(Scripted, UploadTheServerCutShortIsAFailure)
{
    start(QStringLiteral("store-truncates"));
    writeFile(localPath(QStringLiteral("up.bin")), QByteArray(100000, 'u'));
    ftp.Connect();
    EXPECT_EQ(messageOf([&] { ftp.Put(localPath(QStringLiteral("up.bin")), {}, false, 0); }),
              QStringLiteral("Envio incompleto: o servidor guardou 50000 de 100000 bytes"));
    EXPECT_TRUE(server->notes().contains(QStringLiteral("stored /up.bin 50000")));
}

}

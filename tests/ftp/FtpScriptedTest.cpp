// The component against our scripted server: the faults real servers do not make
// on demand, and the exact commands the component sends.
#include "FtpCancel.h"
#include "FtpServers.h"
#include "FtpTestHelpers.h"
#include "IdFTP.h"

#include "VisibleText.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QFile>
#include <QTemporaryDir>
#include <QTemporaryFile>

#include <gtest/gtest.h>

#include <thread>

#ifndef _WIN32
#include <sys/stat.h>
#endif

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
        ajustar(ftp, [&](FtpSettings& s) {
            s.host = QStringLiteral("127.0.0.1");
            s.port = server->port();
            s.username = kFtpUser;
            s.password = kFtpPassword;
            s.connectTimeout = 5s;
            s.readTimeout = 10s;
        });
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
        ajustar(ftp, [&](FtpSettings& s) { s.tryNatFastTrack = fastTrack; });
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
    ajustar(ftp, [&](FtpSettings& s) { s.readTimeout = 300ms; });
    const QString message = messageOf([&] { ftp.Connect(); });
    EXPECT_TRUE(message.startsWith(QStringLiteral("Tempo esgotado"))) << message.toStdString();
    EXPECT_FALSE(ftp.Connected());
}

TEST_F(Scripted, ServerThatStopsAnsweringTimesOutAndIsDropped)
{
    start(QStringLiteral("mute-after-login"));
    ajustar(ftp, [&](FtpSettings& s) { s.readTimeout = 300ms; });
    ftp.Connect();
    const QString message = messageOf([&] { ftp.RetrieveCurrentDir(); });
    EXPECT_EQ(message, QStringLiteral("Tempo esgotado: o servidor não respondeu em 300 ms"));
    EXPECT_FALSE(ftp.Connected());
    EXPECT_EQ(ftp.Size(QStringLiteral("x")), -1);
}

TEST_F(Scripted, ConnectTimesOutOnAHostThatDoesNotAccept)
{
    ajustar(ftp, [&](FtpSettings& s) {
        s.host = QStringLiteral("127.0.0.1");
        s.port = unacceptingPort();
        s.connectTimeout = 300ms;
    });
    const QString message = messageOf([&] { ftp.Connect(); });
    EXPECT_TRUE(message.startsWith(QStringLiteral("Tempo esgotado ao conectar em 127.0.0.1:%1").arg(ftp.settings().port)))
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
    ajustar(ftp, [&](FtpSettings& s) { s.readTimeout = 300ms; });
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
    ajustar(ftp, [&](FtpSettings& s) { s.readTimeout = 60s; }); // only the abort can end it in time
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

// The cancel token an operation's owner gives is never cleared by the component: a
// cancel that came before Connect holds for Connect and every call after it, and
// nothing reaches the server. The next operation brings a token of its own.
TEST_F(Scripted, AGivenCancelTokenIsNeverCleared)
{
    start(QStringLiteral("normal"));
    auto token = std::make_shared<ftp::CancelToken>();
    ftp.SetCancel(token);
    token->cancel();
    EXPECT_EQ(messageOf([&] { ftp.Connect(); }), QStringLiteral("Operação cancelada"));
    EXPECT_EQ(messageOf([&] { ftp.Connect(); }), QStringLiteral("Operação cancelada"));
    EXPECT_FALSE(ftp.Connected());
    EXPECT_TRUE(server->commands().isEmpty());

    ftp.SetCancel(std::make_shared<ftp::CancelToken>());
    ftp.Connect();
    EXPECT_EQ(ftp.RetrieveCurrentDir(), QStringLiteral("/"));
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

    ajustar(ftp, [&](FtpSettings& s) { s.password = QStringLiteral("wrong"); });
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

// --- going on from a position, asking about one name, renaming, digests ---------------

// An interrupted transfer goes on from a position: REST then STOR or RETR; where the
// server refuses REST, an upload appends (APPE) and a download cannot go on; where
// it refuses APPE too, neither can the upload.
TEST_F(Scripted, TransfersGoOnFromAPosition)
{
    struct Caso {
        const char* scenario;
        const char* uploadVerb; // nullptr: the upload cannot go on
        bool downloadGoesOn;
    };
    const Caso cases[] = {
        {"normal", "STOR", true},
        {"rest-refused", "APPE", false},
        {"rest-appe-refused", nullptr, false},
    };
    const QByteArray whole = ScriptedFtp::patternBytes(100000);
    for (const Caso& c : cases) {
        SCOPED_TRACE(c.scenario);
        // The server holds the first 40,000 bytes, as an upload broken there leaves them.
        start(QString::fromLatin1(c.scenario), {{QStringLiteral("up.bin"), 40000}, {QStringLiteral("down.bin"), 100000}});
        writeFile(localPath(QStringLiteral("up.bin")), whole);
        ftp.Connect();
        events.clear();
        if (c.uploadVerb) {
            EXPECT_EQ(ftp.Put(localPath(QStringLiteral("up.bin")), QStringLiteral("up.bin"), false, 40000), 60000);
            EXPECT_TRUE(server->notes().contains(QStringLiteral("stored /up.bin 100000"))) << server->notes().join('\n').toStdString();
            EXPECT_TRUE(server->commands().contains(QString::fromLatin1(c.uploadVerb) + QStringLiteral(" up.bin")));
            EXPECT_EQ(transferEventsProblem(events.work(), wmWrite, 60000, 60000), QString());
        } else {
            EXPECT_THROW(ftp.Put(localPath(QStringLiteral("up.bin")), QStringLiteral("up.bin"), false, 40000), EIdFTPRestartRefused);
            EXPECT_TRUE(server->notes().filter(QStringLiteral("stored")).isEmpty());
        }

        QBuffer received;
        received.open(QIODevice::WriteOnly);
        received.write(whole.left(40000));
        if (c.downloadGoesOn) {
            EXPECT_EQ(ftp.Get(QStringLiteral("down.bin"), received, 40000, 100000), 60000);
            EXPECT_EQ(received.data(), whole);
            EXPECT_TRUE(server->commands().contains(QStringLiteral("REST 40000")));
        } else {
            EXPECT_THROW(ftp.Get(QStringLiteral("down.bin"), received, 40000, 100000), EIdFTPRestartRefused);
            EXPECT_TRUE(server->commands().filter(QStringLiteral("RETR")).isEmpty());
        }
        EXPECT_TRUE(ftp.Connected()) << "a refused restart leaves the conversation in step";
        ftp.Disconnect();
    }
}

// Whether a name is there and how large it is, however little of SIZE, MLST and LIST
// the server knows, and the commands each way costs.
TEST_F(Scripted, FileInfoWhereSizeIsRefused)
{
    struct Caso {
        const char* scenario;
        std::int64_t size;    // of a file of 1234 bytes, as found
        const char* lastWay; // the command that told
    };
    const Caso cases[] = {
        {"normal", 1234, "SIZE"},
        {"size-refused", 1234, "MLST"},
        {"size-refused-later", 1234, "MLST"},
        {"size-from-listing", 1234, "LIST"},
        {"size-unknown", -1, "LIST"},
    };
    for (const Caso& c : cases) {
        SCOPED_TRACE(c.scenario);
        start(QString::fromLatin1(c.scenario), {{QStringLiteral("f.bin"), 1234}});
        ftp.Connect();
        if (QByteArray(c.scenario) == "size-refused-later") {
            EXPECT_EQ(ftp.FileInfo(QStringLiteral("f.bin")).size, 1234) << "its one SIZE";
        }
        const int before = static_cast<int>(server->commands().size());
        const RemoteFileInfo there = ftp.FileInfo(QStringLiteral("f.bin"));
        EXPECT_TRUE(there.exists);
        EXPECT_EQ(there.size, c.size);
        EXPECT_TRUE(server->commands().mid(before).last().startsWith(QString::fromLatin1(c.lastWay)))
            << server->commands().mid(before).join(' ').toStdString();
        const RemoteFileInfo missing = ftp.FileInfo(QStringLiteral("nao-ha.bin"));
        EXPECT_FALSE(missing.exists);
        ftp.Disconnect();
    }
}

TEST_F(Scripted, RenameReplacesOrIsRefused)
{
    for (const bool replaces : {true, false}) {
        SCOPED_TRACE(replaces ? "normal" : "rename-no-replace");
        start(replaces ? QStringLiteral("normal") : QStringLiteral("rename-no-replace"),
              {{QStringLiteral("novo.parcial"), 20}, {QStringLiteral("antigo.bin"), 10}, {QStringLiteral("solto.parcial"), 5}});
        ftp.Connect();
        ftp.Rename(QStringLiteral("solto.parcial"), QStringLiteral("livre.bin"));
        EXPECT_EQ(ftp.Size(QStringLiteral("livre.bin")), 5);
        if (replaces) {
            ftp.Rename(QStringLiteral("novo.parcial"), QStringLiteral("antigo.bin"));
            EXPECT_EQ(ftp.Size(QStringLiteral("antigo.bin")), 20);
        } else {
            EXPECT_EQ(messageOf([&] { ftp.Rename(QStringLiteral("novo.parcial"), QStringLiteral("antigo.bin")); }),
                      QStringLiteral("Rename failed: the target exists."));
            EXPECT_EQ(ftp.Size(QStringLiteral("antigo.bin")), 10);
            EXPECT_EQ(ftp.Size(QStringLiteral("novo.parcial")), 20);
        }
        EXPECT_EQ(messageOf([&] { ftp.Rename(QStringLiteral("nao-ha"), QStringLiteral("x")); }), QStringLiteral("No such file or directory."));
        ftp.Disconnect();
    }
}

// The server's digest: HASH, asked for SHA-256 where the server offers it beside the
// one it uses; the older X commands where it offers only those; nothing where it
// offers none.
TEST_F(Scripted, DigestsAsTheServerOffersThem)
{
    const QByteArray content = ScriptedFtp::patternBytes(70000);
    struct Caso {
        const char* scenario;
        const char* algorithm; // nullptr: none offered
        QCryptographicHash::Algorithm qt;
        const char* command;
    };
    const Caso cases[] = {
        {"normal", "SHA-256", QCryptographicHash::Sha256, "HASH f.bin"},
        {"x-hash", "MD5", QCryptographicHash::Md5, "XMD5 f.bin"},
        {"size-from-listing", nullptr, QCryptographicHash::Md5, nullptr},
    };
    for (const Caso& c : cases) {
        SCOPED_TRACE(c.scenario);
        start(QString::fromLatin1(c.scenario), {{QStringLiteral("f.bin"), 70000}});
        ftp.Connect();
        const auto digest = ftp.Hash(QStringLiteral("f.bin"), 10s);
        ASSERT_EQ(digest.has_value(), c.algorithm != nullptr);
        if (digest) {
            EXPECT_EQ(digest->algorithm, QString::fromLatin1(c.algorithm));
            EXPECT_EQ(digest->digest, QCryptographicHash::hash(content, c.qt));
            EXPECT_TRUE(server->commands().contains(QString::fromLatin1(c.command)));
            EXPECT_THROW(ftp.Hash(QStringLiteral("nao-ha.bin"), 10s), EIdFTPError);
        }
        if (QByteArray(c.scenario) == "normal") {
            EXPECT_TRUE(server->commands().contains(QStringLiteral("OPTS HASH SHA-256")));
        }
        ftp.Disconnect();
    }
}

// --- hostile servers ------------------------------------------------------------------

TIdFTPListItem entryNamed(const FtpListing& listing, const QByteArray& raw)
{
    for (const TIdFTPListItem& item : listing)
        if (item.RawName == raw)
            return item;
    ADD_FAILURE() << "no entry named " << raw.toHex().constData();
    return {};
}

QList<QByteArray> rawNames(const FtpListing& listing)
{
    QList<QByteArray> names;
    for (std::size_t i = 0; i < listing.size(); ++i)
        names << listing.rawName(i).toByteArray();
    return names;
}

// Two entries that look alike ("são.txt" named in Latin-1 and in UTF-8) each act
// on their own file, and a name that exists only in Latin-1 can be downloaded and
// deleted: every command sends the entry's own bytes.
TEST_F(Scripted, ListedNamesActOnTheirOwnFile)
{
    start(QStringLiteral("latin1-names"));
    ftp.Connect();
    ftp.List();
    const FtpListing listing = ftp.DirectoryListing();
    ASSERT_EQ(listing.size(), 3u);
    const TIdFTPListItem latin1 = entryNamed(listing, "s\xe3o.txt");
    const TIdFTPListItem utf8 = entryNamed(listing, "s\xc3\xa3o.txt");
    const TIdFTPListItem only = entryNamed(listing, "relat\xf3rio-\xe9.txt");
    EXPECT_EQ(utf8.FileName, QStringLiteral("são.txt"));
    EXPECT_NE(latin1.FileName, utf8.FileName);

    struct Case {
        TIdFTPListItem entry;
        qint64 size;
    };
    int n = 0;
    for (const Case& c : {Case{latin1, 1000}, Case{utf8, 2000}, Case{only, 3000}}) {
        const QString target = localPath(QStringLiteral("down-%1.bin").arg(++n));
        ftp.Get(c.entry, target, false, false);
        EXPECT_EQ(readFile(target), ScriptedFtp::patternBytes(c.size)) << c.entry.RawName.toHex().constData();
        EXPECT_EQ(ftp.Size(c.entry), c.size);
    }

    // The name as shown, passed back as text, names the same file.
    ftp.Get(latin1.FileName, localPath(QStringLiteral("shown.bin")), false, false);
    EXPECT_EQ(readFile(localPath(QStringLiteral("shown.bin"))), ScriptedFtp::patternBytes(1000));

    ftp.Delete(latin1);
    ftp.Delete(only.FileName);
    ftp.List();
    EXPECT_EQ(rawNames(ftp.DirectoryListing()), QList<QByteArray>{utf8.RawName});
    // A typed name goes out as UTF-8, so it names the UTF-8 file.
    EXPECT_EQ(ftp.Size(QStringLiteral("são.txt")), 2000);
}

// However many preliminary replies come, and however slowly, a command's final
// reply has one deadline; a flood of them or a reply of endless lines is cut off
// long before it.
TEST_F(Scripted, PreliminaryRepliesDoNotPostponeTheDeadline)
{
    struct Case {
        const char* scenario;
        bool duringLogin;
        const char* message;
    };
    for (const Case& c : {Case{"greeting-120-forever", true, "Tempo esgotado: o servidor não respondeu em 700 ms"},
                          Case{"preliminary-trickle", false, "Tempo esgotado: o servidor não respondeu em 700 ms"},
                          Case{"preliminary-flood", false, "O servidor enviou mais de 20 respostas preliminares sem a resposta final"},
                          Case{"many-lines", false, "Resposta do servidor com linhas demais (mais de 1000)"}}) {
        SCOPED_TRACE(c.scenario);
        start(QString::fromUtf8(c.scenario));
        ajustar(ftp, [&](FtpSettings& s) { s.readTimeout = 700ms; });
        if (!c.duringLogin)
            ftp.Connect();
        EXPECT_EQ(messageOf([&] {
                      if (c.duringLogin)
                          ftp.Connect();
                      else
                          ftp.RetrieveCurrentDir();
                  }),
                  QString::fromUtf8(c.message));
        EXPECT_FALSE(ftp.Connected());
    }
}

// A data connection that trickles a byte now and then is stalled, in either
// direction; a slow one that keeps going is not.
TEST_F(Scripted, TricklingDataIsAStallSlowDataIsNot)
{
    const auto slowMessage = [](const QString& m) {
        return m.startsWith(QStringLiteral("Transferência de dados lenta demais: "))
            && m.endsWith(QStringLiteral(" bytes em 1 s, abaixo do mínimo de 512 bytes por segundo"));
    };
    start(QStringLiteral("data-trickle"), {{QStringLiteral("t.bin"), 400}});
    ajustar(ftp, [&](FtpSettings& s) { s.readTimeout = 1s; });
    ftp.Connect();
    const QString down = messageOf([&] { ftp.Get(QStringLiteral("t.bin"), localPath(QStringLiteral("t.bin")), false, false); });
    EXPECT_TRUE(slowMessage(down)) << down.toStdString();
    EXPECT_FALSE(QFile::exists(localPath(QStringLiteral("t.bin"))));
    EXPECT_TRUE(partFiles(local.path()).isEmpty());

    start(QStringLiteral("store-trickle"));
    ajustar(ftp, [&](FtpSettings& s) { s.readTimeout = 1s; });
    writeFile(localPath(QStringLiteral("up.bin")), QByteArray(32 << 20, 'u'));
    ftp.Connect();
    // TCP opens no window for a reader that takes a byte at a time (it avoids the
    // "silly window"), so the sender may see nothing move at all.
    const QString up = messageOf([&] { ftp.Put(localPath(QStringLiteral("up.bin"))); });
    EXPECT_TRUE(slowMessage(up) || up == QStringLiteral("Tempo esgotado: a transferência de dados ficou parada por 1 s"))
        << up.toStdString();

    // 40 KB/s, for about 2.5 s.
    start(QStringLiteral("data-slow"), {{QStringLiteral("s.bin"), 100000}});
    ajustar(ftp, [&](FtpSettings& s) { s.readTimeout = 1s; });
    ftp.Connect();
    ftp.Get(QStringLiteral("s.bin"), localPath(QStringLiteral("s.bin")), false, false);
    EXPECT_EQ(readFile(localPath(QStringLiteral("s.bin"))), ScriptedFtp::patternBytes(100000));
}

// What a server says reaches messages with its control characters shown, not
// obeyed; made into a log line, it stays one line.
TEST_F(Scripted, ServerTextShowsItsControlCharacters)
{
    start(QStringLiteral("control-text"));
    ftp.Connect();
    const QString message = messageOf([&] { ftp.MakeDir(QStringLiteral("x")); });
    EXPECT_EQ(message, QStringLiteral("\\x1B[2J\\x1B[31mNo\\x07 such\\x0Dfile\\x00.\n"
                                      "Arquivo enviado com sucesso \\u202Etxt.exe"));
    EXPECT_EQ(visibleText(message), QStringLiteral("\\x1B[2J\\x1B[31mNo\\x07 such\\x0Dfile\\x00.\\n"
                                                   "Arquivo enviado com sucesso \\u202Etxt.exe"));
    EXPECT_TRUE(ftp.Connected());
}

// A listing beyond its bounds fails with a message that says so and leaves no
// entries; the conversation with the server stays in step.
TEST_F(Scripted, ListingsBeyondTheirBoundsFail)
{
    struct Case {
        const char* scenario;
        const char* message;
    };
    for (const Case& c : {Case{"listing-limit", "Listagem grande demais (mais de 500.000 entradas)"},
                          Case{"endless-garbage", "Listagem grande demais (mais de 256 MiB)"}}) {
        SCOPED_TRACE(c.scenario);
        start(QString::fromUtf8(c.scenario));
        ftp.Connect();
        EXPECT_EQ(messageOf([&] { ftp.List(); }), QString::fromUtf8(c.message));
        EXPECT_TRUE(ftp.DirectoryListing().empty());
        EXPECT_EQ(ftp.RetrieveCurrentDir(), QStringLiteral("/"));
    }
}

// Names longer than any file system allows are no entries; the others around them
// are, up to the longest allowed.
TEST_F(Scripted, OverlongNamesAreNoEntries)
{
    start(QStringLiteral("long-names"));
    ftp.Connect();
    ftp.List();
    EXPECT_EQ(rawNames(ftp.DirectoryListing()),
              (QList<QByteArray>{"antes.txt", QByteArray(1024, 'z'), "depois.txt"}));
}

// A file whose name is as long as the file system allows downloads: the temporary
// file beside it has a short name of its own.
TEST_F(Scripted, DownloadsUnderTheLongestLocalName)
{
    const QString name(255, QLatin1Char('n'));
    start(QStringLiteral("normal"), {{name, 5000}});
    ftp.Connect();
    ftp.Get(name, localPath(name), false, false);
    EXPECT_EQ(readFile(localPath(name)), ScriptedFtp::patternBytes(5000));
    EXPECT_TRUE(partFiles(local.path()).isEmpty());
}

#ifndef _WIN32
// Only a regular file (or a new one) is a save target: a named pipe would block the
// download for good, a device is nobody's file. A tool that wants the data streamed
// says so with a device of its own.
TEST_F(Scripted, OnlyRegularFilesAreSaveTargets)
{
    start(QStringLiteral("normal"), {{QStringLiteral("a.bin"), 70000}});
    const QString pipe = localPath(QStringLiteral("pipe"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    ftp.Connect();
    const qsizetype before = server->commands().size();
    for (const QString& target : {pipe, QStringLiteral("/dev/null")}) {
        EXPECT_EQ(messageOf([&] { ftp.Get(QStringLiteral("a.bin"), target, true, false); }),
                  QStringLiteral("O destino não é um arquivo comum: %1").arg(target));
    }
    EXPECT_EQ(server->commands().size(), before);

    QTemporaryFile sink;
    ASSERT_TRUE(sink.open());
    ftp.Get(QStringLiteral("a.bin"), sink);
    sink.flush();
    EXPECT_EQ(readFile(sink.fileName()), ScriptedFtp::patternBytes(70000));
}
#endif

}

// The component against real servers on 127.0.0.1: pyftpdlib (MLSD) and vsftpd
// (LIST only), each started once for the whole program.
#include "FtpServers.h"
#include "FtpTestHelpers.h"
#include "IdFTP.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#ifndef _WIN32
#include <utime.h>
#endif

using namespace testsupport;
using namespace ftptest;
using namespace std::chrono_literals;

namespace {

enum class Kind { Pyftpd, Vsftpd };

// How each server words the refusals the window looks into.
struct ServerTexts {
    QString refusedLogin;
    QString mkdExisting;
    QString cwdMissing;
    bool machineListing; // MLSD, with exact times; else LIST, dates only for old files
};

ServerTexts textsOf(Kind kind)
{
    if (kind == Kind::Pyftpd)
        return {QStringLiteral("Authentication failed."), QStringLiteral("File exists."),
                QStringLiteral("No such file or directory."), true};
    return {QStringLiteral("Login incorrect."), QStringLiteral("Create directory operation failed."),
            QStringLiteral("Failed to change directory."), false};
}

struct Peer {
    QTemporaryDir root;
    std::unique_ptr<PyFtpd> py;
    std::unique_ptr<Vsftpd> vs;

    int port() const { return py ? py->port() : vs->port(); }
    void handOver(const QString& path) const
    {
        if (vs)
            vs->handOver(path);
    }
};

QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QRandomGenerator gen(seed);
    QByteArray out(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        out[i] = static_cast<char>(gen.bounded(256));
    return out;
}

void setModified(const QString& path, const QDateTime& when)
{
#ifdef _WIN32
    // Windows' C runtime sets no folder's time: the servers' side does it.
    ASSERT_EQ(runProgram(QStringLiteral("touch"), {QStringLiteral("-m"), QStringLiteral("-d"),
                                                   QStringLiteral("@%1").arg(when.toSecsSinceEpoch()), hostPath(path)}),
              0)
        << path.toStdString();
#else
    utimbuf t{when.toSecsSinceEpoch(), when.toSecsSinceEpoch()};
    ASSERT_EQ(::utime(QFile::encodeName(path).constData(), &t), 0) << path.toStdString();
#endif
}

class RealServer : public ::testing::TestWithParam<Kind> {
protected:
    static void SetUpTestSuite()
    {
        s_py = std::make_unique<Peer>();
        s_py->py = std::make_unique<PyFtpd>(s_py->root.path());
        s_vs = std::make_unique<Peer>();
        s_vs->vs = std::make_unique<Vsftpd>(s_vs->root.path());
    }
    static void TearDownTestSuite()
    {
        s_py.reset();
        s_vs.reset();
    }

    const Peer& peer() const { return GetParam() == Kind::Pyftpd ? *s_py : *s_vs; }
    ServerTexts texts() const { return textsOf(GetParam()); }

    void SetUp() override
    {
        ASSERT_TRUE(local.isValid());
        ajustar(ftp, [&](FtpSettings& s) {
            s.host = QStringLiteral("127.0.0.1");
            s.port = peer().port();
            s.username = kFtpUser;
            s.password = kFtpPassword;
            s.connectTimeout = 5s;
            s.readTimeout = 10s;
        });
        ftp.SetEvents(&events);
        // Every test works in a folder of its own on the server.
        folder = QString::fromUtf8(::testing::UnitTest::GetInstance()->current_test_info()->name()).replace(QLatin1Char('/'), QLatin1Char('_'));
        ASSERT_TRUE(QDir(peer().root.path()).mkpath(folder));
        peer().handOver(serverPath());
    }

    void TearDown() override { ftp.Disconnect(); }

    QString serverPath(const QString& name = {}) const
    {
        return peer().root.path() + QLatin1Char('/') + folder + (name.isEmpty() ? QString() : QLatin1Char('/') + name);
    }
    // Puts a file into the test's folder on the server, straight into its root.
    void serverFile(const QString& name, const QByteArray& content) const
    {
        writeFile(serverPath(name), content);
        peer().handOver(serverPath());
    }
    void connectIntoFolder()
    {
        ftp.Connect();
        ftp.ChangeDir(QLatin1Char('/') + folder);
    }
    QString localPath(const QString& name) const { return local.filePath(name); }

    static inline std::unique_ptr<Peer> s_py;
    static inline std::unique_ptr<Peer> s_vs;

    TIdFTP ftp;
    EventRecorder events;
    QTemporaryDir local;
    QString folder;
};

TEST_P(RealServer, LogsInAndOut)
{
    ftp.Connect();
    EXPECT_TRUE(ftp.Connected());
    EXPECT_EQ(ftp.RetrieveCurrentDir(), QStringLiteral("/"));
    const QStringList connecting = events.statuses();
    ASSERT_FALSE(connecting.isEmpty());
    EXPECT_TRUE(connecting.first().startsWith(QStringLiteral("Conectando em 127.0.0.1:%1").arg(ftp.settings().port)))
        << connecting.first().toStdString();
    EXPECT_TRUE(connecting.last().startsWith(QStringLiteral("Login efetuado"))) << connecting.last().toStdString();

    ftp.Disconnect();
    EXPECT_FALSE(ftp.Connected());
    EXPECT_EQ(events.statuses().last(), QStringLiteral("Desconectado."));
    EXPECT_TRUE(events.work().empty());
}

TEST_P(RealServer, RefusedLoginCarriesServerTextAndLeavesItDisconnected)
{
    ajustar(ftp, [&](FtpSettings& s) { s.password = QStringLiteral("wrong"); });
    try {
        ftp.Connect();
        FAIL() << "login with a wrong password succeeded";
    } catch (const EIdFTPError& e) {
        EXPECT_EQ(e.Code(), 530);
        EXPECT_EQ(e.Message(), texts().refusedLogin);
    }
    EXPECT_FALSE(ftp.Connected());
    EXPECT_THROW(ftp.RetrieveCurrentDir(), EIdFTPError);
}

TEST_P(RealServer, WalksAndCreatesFolders)
{
    connectIntoFolder();
    ftp.MakeDir(QStringLiteral("gCALDORIA"));
    ftp.ChangeDir(QStringLiteral("gCALDORIA"));
    ftp.MakeDir(QStringLiteral("SAO PAULO-SP"));
    ftp.ChangeDir(QStringLiteral("SAO PAULO-SP"));
    EXPECT_EQ(ftp.RetrieveCurrentDir(), QStringLiteral("/%1/gCALDORIA/SAO PAULO-SP").arg(folder));
    EXPECT_TRUE(QDir(serverPath(QStringLiteral("gCALDORIA/SAO PAULO-SP"))).exists());
    ftp.ChangeDir(QStringLiteral("/"));
    EXPECT_EQ(ftp.RetrieveCurrentDir(), QStringLiteral("/"));
}

TEST_P(RealServer, RefusalsCarryServerText)
{
    connectIntoFolder();
    ftp.MakeDir(QStringLiteral("twice"));
    try {
        ftp.MakeDir(QStringLiteral("twice"));
        FAIL() << "MKD of an existing folder succeeded";
    } catch (const EIdFTPError& e) {
        EXPECT_EQ(e.Code(), 550);
        EXPECT_EQ(e.Message(), texts().mkdExisting);
    }
    try {
        ftp.ChangeDir(QStringLiteral("missing"));
        FAIL() << "CWD to a missing folder succeeded";
    } catch (const EIdFTPError& e) {
        EXPECT_EQ(e.Code(), 550);
        EXPECT_EQ(e.Message(), texts().cwdMissing);
    }
    EXPECT_THROW(ftp.Delete(QStringLiteral("missing.txt")), EIdFTPError);
    // Refusals leave the connection as it was.
    EXPECT_TRUE(ftp.Connected());
    EXPECT_EQ(ftp.RetrieveCurrentDir(), QLatin1Char('/') + folder);
}

TEST_P(RealServer, ListsNamesSizesKindsAndTimes)
{
    const QDateTime when(QDate(2020, 1, 2), QTime(3, 4, 5));
    serverFile(QStringLiteral("empty.txt"), {});
    serverFile(QStringLiteral("small.bin"), QByteArray(1234, 'x'));
    serverFile(QStringLiteral("name with blanks.txt"), QByteArray(10, 'y'));
    ASSERT_TRUE(QDir(serverPath()).mkdir(QStringLiteral("docs")));
    peer().handOver(serverPath());
    for (const char* name : {"empty.txt", "small.bin", "name with blanks.txt", "docs"})
        setModified(serverPath(QString::fromUtf8(name)), when);

    connectIntoFolder();
    events.clear();
    ftp.List();
    std::map<QString, TIdFTPListItem> byName;
    for (const TIdFTPListItem& item : ftp.DirectoryListing())
        byName[item.FileName] = item;

    struct Expected {
        const char* name;
        std::int64_t size;
        bool dir;
    };
    for (const Expected& x : {Expected{"empty.txt", 0, false}, Expected{"small.bin", 1234, false},
                              Expected{"name with blanks.txt", 10, false}, Expected{"docs", -1, true}}) {
        SCOPED_TRACE(x.name);
        const auto it = byName.find(QString::fromUtf8(x.name));
        ASSERT_NE(it, byName.end());
        EXPECT_EQ(it->second.IsDirectory, x.dir);
        if (x.size >= 0) {
            EXPECT_EQ(it->second.Size, x.size);
        }
        // LIST gives old files a year and no time.
        const QDateTime shown = texts().machineListing ? when : QDateTime(when.date(), QTime(0, 0));
        EXPECT_EQ(it->second.ModifiedDate, shown);
    }
    // A listing is a data transfer too.
    const auto work = events.work();
    ASSERT_GE(work.size(), 3u);
    EXPECT_EQ(work.front().kind, Event::Begin);
    EXPECT_EQ(work.back().kind, Event::End);
}

TEST_P(RealServer, SizeOfFileMissingFileAndFolder)
{
    serverFile(QStringLiteral("thirteen.txt"), QByteArray("Hello, world!"));
    ASSERT_TRUE(QDir(serverPath()).mkdir(QStringLiteral("folder")));
    peer().handOver(serverPath());
    connectIntoFolder();
    EXPECT_EQ(ftp.Size(QStringLiteral("thirteen.txt")), 13);
    EXPECT_EQ(ftp.Size(QStringLiteral("missing.txt")), -1);
    EXPECT_EQ(ftp.Size(QStringLiteral("folder")), -1);
    EXPECT_TRUE(ftp.Connected());
}

TEST_P(RealServer, UploadsAndDownloadsByteForByte)
{
    connectIntoFolder();
    for (const qsizetype size : {qsizetype(0), qsizetype(1000)}) {
        SCOPED_TRACE(size);
        const QString name = QStringLiteral("file-%1.bin").arg(size);
        const QByteArray content = randomBytes(size, static_cast<quint32>(size) + 1);
        writeFile(localPath(name), content);
        ftp.Put(localPath(name), {}, false, 0); // empty remote name: the local bare name
        EXPECT_EQ(readFile(serverPath(name)), content);
        EXPECT_EQ(ftp.Size(name), size);

        const QString back = localPath(QStringLiteral("back-") + name);
        ftp.Get(name, back, false, false);
        EXPECT_EQ(readFile(back), content);
    }
    EXPECT_TRUE(partFiles(local.path()).isEmpty());
}

TEST_P(RealServer, MediumTransferReportsProgressInOrder)
{
    const qsizetype size = 3 * 1024 * 1024 + 17;
    const QByteArray content = randomBytes(size, 7);
    writeFile(localPath(QStringLiteral("medium.bin")), content);
    connectIntoFolder();

    events.clear();
    ftp.Put(localPath(QStringLiteral("medium.bin")), QStringLiteral("remote medium.bin"), false, 0);
    QString problem = transferEventsProblem(events.work(), wmWrite, size, size);
    EXPECT_TRUE(problem.isEmpty()) << problem.toStdString();
    EXPECT_EQ(readFile(serverPath(QStringLiteral("remote medium.bin"))), content);

    events.clear();
    ftp.Get(QStringLiteral("remote medium.bin"), localPath(QStringLiteral("back.bin")), false, false);
    problem = transferEventsProblem(events.work(), wmRead, 0, size);
    EXPECT_TRUE(problem.isEmpty()) << problem.toStdString();
    EXPECT_EQ(readFile(localPath(QStringLiteral("back.bin"))), content);
}

TEST_P(RealServer, BrokenTransfersEndTheirEventsAndKeepTheEarlierFile)
{
    const qsizetype size = 4 * 1024 * 1024;
    serverFile(QStringLiteral("big.bin"), randomBytes(size, 11));
    writeFile(localPath(QStringLiteral("big.bin")), "earlier content");
    writeFile(localPath(QStringLiteral("up.bin")), randomBytes(size, 12));
    // The window's close button, in effect: Abort as soon as the data flows.
    events.onEvent = [this](const Event& e) {
        if (e.kind == Event::Begin)
            ftp.Abort();
    };

    for (const TWorkMode mode : {wmRead, wmWrite}) {
        SCOPED_TRACE(mode == wmRead ? "download" : "upload");
        connectIntoFolder();
        events.clear();
        try {
            if (mode == wmRead)
                ftp.Get(QStringLiteral("big.bin"), localPath(QStringLiteral("big.bin")), true, false);
            else
                ftp.Put(localPath(QStringLiteral("up.bin")), {}, false, 0);
            FAIL() << "the transfer went through despite Abort";
        } catch (const EIdFTPError& e) {
            EXPECT_EQ(e.Message(), QStringLiteral("Operação cancelada"));
        }
        const auto work = events.work();
        ASSERT_GE(work.size(), 2u);
        EXPECT_EQ(work.front().kind, Event::Begin);
        EXPECT_EQ(work.back().kind, Event::End);
        EXPECT_EQ(work.back().mode, mode);
        EXPECT_FALSE(ftp.Connected());
        EXPECT_THROW(ftp.RetrieveCurrentDir(), EIdFTPError);
    }
    EXPECT_EQ(readFile(localPath(QStringLiteral("big.bin"))), QByteArray("earlier content"));
    EXPECT_TRUE(partFiles(local.path()).isEmpty()) << partFiles(local.path()).join(' ').toStdString();

    // A new Connect makes the component usable again.
    events.onEvent = nullptr;
    connectIntoFolder();
    EXPECT_EQ(ftp.Size(QStringLiteral("big.bin")), size);
}

TEST_P(RealServer, GetRefusesAnExistingTargetUnlessAllowed)
{
    serverFile(QStringLiteral("keep.txt"), "server copy");
    writeFile(localPath(QStringLiteral("keep.txt")), "mine");
    connectIntoFolder();
    events.clear();
    try {
        ftp.Get(QStringLiteral("keep.txt"), localPath(QStringLiteral("keep.txt")), false, false);
        FAIL() << "an existing local file was replaced without permission";
    } catch (const EIdFTPError& e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("já existe"))) << e.what();
    }
    EXPECT_EQ(readFile(localPath(QStringLiteral("keep.txt"))), QByteArray("mine"));
    EXPECT_TRUE(events.work().empty());

    ftp.Get(QStringLiteral("keep.txt"), localPath(QStringLiteral("keep.txt")), true, false);
    EXPECT_EQ(readFile(localPath(QStringLiteral("keep.txt"))), QByteArray("server copy"));
    EXPECT_TRUE(partFiles(local.path()).isEmpty());
}

TEST_P(RealServer, RefusedDownloadLeavesNoFile)
{
    connectIntoFolder();
    EXPECT_THROW(ftp.Get(QStringLiteral("missing.bin"), localPath(QStringLiteral("missing.bin")), false, false), EIdFTPError);
    EXPECT_FALSE(QFile::exists(localPath(QStringLiteral("missing.bin"))));
    EXPECT_TRUE(partFiles(local.path()).isEmpty());
    EXPECT_TRUE(events.work().empty()) << "no data moved, so no transfer events";
    EXPECT_TRUE(ftp.Connected());
}

TEST_P(RealServer, PutOfMissingLocalFileFailsAndDeleteRemoves)
{
    connectIntoFolder();
    try {
        ftp.Put(localPath(QStringLiteral("not-there.bin")), {}, false, 0);
        FAIL() << "Put of a missing file succeeded";
    } catch (const EIdFTPError& e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("not-there.bin"))) << e.what();
    }
    EXPECT_FALSE(QFile::exists(serverPath(QStringLiteral("not-there.bin"))));
    EXPECT_TRUE(ftp.Connected());

    writeFile(localPath(QStringLiteral("gone.txt")), "x");
    ftp.Put(localPath(QStringLiteral("gone.txt")), {}, false, 0);
    ASSERT_TRUE(QFile::exists(serverPath(QStringLiteral("gone.txt"))));
    ftp.Delete(QStringLiteral("gone.txt"));
    EXPECT_FALSE(QFile::exists(serverPath(QStringLiteral("gone.txt"))));
    EXPECT_EQ(ftp.Size(QStringLiteral("gone.txt")), -1);
}

// Files whose names were stored by other programs in other encodings: two that
// look alike ("são.txt" in Latin-1 and in UTF-8) and one whose name exists only in
// Latin-1. Each entry downloads and deletes its own file. pyftpdlib announces UTF8
// (so the client sends OPTS UTF8 ON), vsftpd does not; both keep names as bytes.
// What an interrupted and later continued transfer needs of a real server: REST
// before STOR and RETR, APPE, a rename that replaces, and whether a name is there.
TEST_P(RealServer, GoesOnFromAPositionRenamesAndTellsWhatIsThere)
{
    const QByteArray whole = randomBytes(300000, 7);
    writeFile(localPath(QStringLiteral("base.fbk")), whole);
    serverFile(QStringLiteral("base.fbk.parcial"), whole.left(120000));
    serverFile(QStringLiteral("base.fbk"), "a cópia anterior");
    connectIntoFolder();

    const RemoteFileInfo partial = ftp.FileInfo(QStringLiteral("base.fbk.parcial"));
    EXPECT_TRUE(partial.exists);
    EXPECT_EQ(partial.size, 120000);
    EXPECT_FALSE(ftp.FileInfo(QStringLiteral("nao-ha.fbk")).exists);

    EXPECT_EQ(ftp.Put(localPath(QStringLiteral("base.fbk")), QStringLiteral("base.fbk.parcial"), false, 120000), 180000);
    EXPECT_EQ(readFile(serverPath(QStringLiteral("base.fbk.parcial"))), whole);
    // APPE of the rest onto the first part, as where REST before STOR is refused.
    writeFile(serverPath(QStringLiteral("apendice.bin")), whole.left(250000));
    peer().handOver(serverPath());
    ftp.Put(localPath(QStringLiteral("base.fbk")), QStringLiteral("apendice.bin"), true, 250000);
    EXPECT_EQ(readFile(serverPath(QStringLiteral("apendice.bin"))), whole);

    ftp.Rename(QStringLiteral("base.fbk.parcial"), QStringLiteral("base.fbk"));
    EXPECT_EQ(readFile(serverPath(QStringLiteral("base.fbk"))), whole);
    EXPECT_FALSE(QFileInfo::exists(serverPath(QStringLiteral("base.fbk.parcial"))));

    QBuffer received;
    received.open(QIODevice::WriteOnly);
    received.write(whole.left(99999));
    EXPECT_EQ(ftp.Get(QStringLiteral("base.fbk"), received, 99999, whole.size()), whole.size() - 99999);
    EXPECT_EQ(received.data(), whole);
}

TEST_P(RealServer, ListedNamesActOnTheirOwnFile)
{
#ifdef _WIN32
    GTEST_SKIP() << "a Windows program cannot name the server's files by bytes that are not UTF-8";
#endif
    struct File {
        QByteArray name;
        QByteArray content;
    };
    const File files[] = {{"s\xe3o.txt", "latin-1"}, {"s\xc3\xa3o.txt", "utf-8"}, {"relat\xf3rio.txt", "only latin-1"}};
    const auto onServer = [this](const QByteArray& name) {
        return std::filesystem::path(QFile::encodeName(serverPath()).toStdString() + '/' + name.toStdString());
    };
    for (const File& f : files) {
        std::ofstream out(onServer(f.name), std::ios::binary);
        out << f.content.toStdString();
    }
    peer().handOver(serverPath());

    connectIntoFolder();
    ftp.List();
    std::map<QByteArray, TIdFTPListItem> byRawName;
    for (const TIdFTPListItem& item : ftp.DirectoryListing())
        byRawName[item.RawName] = item;
    ASSERT_EQ(byRawName.size(), 3u);
    EXPECT_EQ(byRawName["s\xc3\xa3o.txt"].FileName, QStringLiteral("são.txt"));
    EXPECT_NE(byRawName["s\xe3o.txt"].FileName, QStringLiteral("são.txt"));

    int n = 0;
    for (const File& f : files) {
        SCOPED_TRACE(f.name.toHex().constData());
        const QString target = localPath(QStringLiteral("down-%1.txt").arg(++n));
        ftp.Get(byRawName[f.name], target, false, false);
        EXPECT_EQ(readFile(target), f.content);
    }
    ftp.Delete(byRawName["s\xe3o.txt"]);
    ftp.Delete(byRawName["relat\xf3rio.txt"]);
    EXPECT_FALSE(std::filesystem::exists(onServer("s\xe3o.txt")));
    EXPECT_FALSE(std::filesystem::exists(onServer("relat\xf3rio.txt")));
    EXPECT_TRUE(std::filesystem::exists(onServer("s\xc3\xa3o.txt")));
    // A typed name goes out as UTF-8, and so names the UTF-8 file.
    EXPECT_EQ(ftp.Size(QStringLiteral("são.txt")), 5);
}

TEST(PyFtpdReadOnlyFolder, RefusesCreatingAndStoringBeforeAnyTransfer)
{
    QTemporaryDir root;
    QTemporaryDir local;
    ASSERT_TRUE(QDir(root.path()).mkdir(QStringLiteral("readonly")));
    PyFtpd server(root.path(), kFtpUser, kFtpPassword, {QStringLiteral("readonly")});
    TIdFTP ftp;
    EventRecorder events;
    ftp.SetEvents(&events);
    ajustar(ftp, [&](FtpSettings& s) {
        s.host = QStringLiteral("127.0.0.1");
        s.port = server.port();
        s.username = kFtpUser;
        s.password = kFtpPassword;
        s.readTimeout = 10s;
    });
    ftp.Connect();
    ftp.ChangeDir(QStringLiteral("readonly"));
    try {
        ftp.MakeDir(QStringLiteral("new"));
        FAIL() << "MKD in a read-only folder succeeded";
    } catch (const EIdFTPError& e) {
        EXPECT_EQ(e.Code(), 550);
        EXPECT_EQ(e.Message(), QStringLiteral("Not enough privileges."));
    }
    writeFile(local.filePath(QStringLiteral("up.bin")), "data");
    EXPECT_THROW(ftp.Put(local.filePath(QStringLiteral("up.bin")), {}, false, 0), EIdFTPError);
    EXPECT_TRUE(events.work().empty()) << "a refused STOR moves no data and reports no transfer";
    EXPECT_FALSE(QFile::exists(root.filePath(QStringLiteral("readonly/up.bin"))));
    EXPECT_TRUE(ftp.Connected());
    ftp.Disconnect();
}

INSTANTIATE_TEST_SUITE_P(Peers, RealServer, ::testing::Values(Kind::Pyftpd, Kind::Vsftpd),
                         [](const ::testing::TestParamInfo<Kind>& info) {
                             return info.param == Kind::Pyftpd ? std::string("pyftpdlib") : std::string("vsftpd");
                         });

}

// The scripted server's faults and profiles, as a client meets them: each way of
// making one command go wrong, on the upload of a temporary file and its rename
// over an older copy, with what the server holds afterwards; and the switches for
// what a server may not do. What the other tests build their sweeps and holds on.
#include "FtpServers.h"
#include "FtpTestHelpers.h"
#include "IdFTP.h"

#include <QBuffer>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <thread>

using namespace testsupport;
using namespace std::chrono_literals;

namespace {

using Fault = ScriptedFtp::Fault;
using Files = QMap<QString, ScriptedFtp::Stored>;

const QByteArray kOld = ScriptedFtp::patternBytes(10);
const QByteArray kNew = QByteArray(5000, 'n');

class ScriptedFaults : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(local.isValid());
        writeFile(local.filePath(QStringLiteral("novo.bin")), kNew);
    }
    void TearDown() override { ftp.Disconnect(); }

    void start(const ScriptedFtp::Options& options)
    {
        server = std::make_unique<ScriptedFtp>(QStringLiteral("normal"), options);
        ftptest::ajustar(ftp, [&](FtpSettings& s) {
            s.host = QStringLiteral("127.0.0.1");
            s.port = server->port();
            s.username = kFtpUser;
            s.password = kFtpPassword;
            s.connectTimeout = 5s;
            s.readTimeout = 10s;
        });
    }
    // The step the faults fall on: the new copy under a temporary name, then over the old one.
    void upload() { ftp.Put(local.filePath(QStringLiteral("novo.bin")), QStringLiteral("f.parcial"), false, 0); }
    void rename() { ftp.Rename(QStringLiteral("f.parcial"), QStringLiteral("f.bin")); }

    static Files files(std::initializer_list<std::pair<const char*, QByteArray>> contents)
    {
        Files out;
        for (const auto& [name, content] : contents)
            out.insert(QString::fromLatin1(name), ScriptedFtp::storedOf(content));
        return out;
    }

    QTemporaryDir local;
    TIdFTP ftp;
    std::unique_ptr<ScriptedFtp> server;
};

// What a step's failure says: its code and text, or "ok".
QString outcome(const std::function<void()>& step)
{
    try {
        step();
    } catch (const EIdFTPError& e) {
        return QStringLiteral("%1 %2").arg(e.Code()).arg(e.Message());
    }
    return QStringLiteral("ok");
}

// Each fault ends the step it falls on as a real server's would, and leaves the
// server's files as the fault says: a refusal does nothing, a drop before the
// command does nothing, a lost reply does the command, a cut upload keeps its bytes.
TEST_F(ScriptedFaults, EachFaultAsTheClientMeetsIt)
{
    struct Caso {
        const char* name;
        Fault fault;
        const char* upload; // outcome() of the upload: "ok", or its start
        const char* rename; // of the rename that follows a good upload
        Files after;
    };
    const QByteArray cut = kNew.left(1000);
    const Caso cases[] = {
        {"a 4xx", Fault::reply(QStringLiteral("RNFR#1"), QStringLiteral("450 Busy, try later.")), "ok", "450 Busy, try later.",
         files({{"/f.bin", kOld}, {"/f.parcial", kNew}})},
        {"a 5xx about the file", Fault::reply(QStringLiteral("RNTO#1"), QStringLiteral("550 The process cannot access the file.")), "ok",
         "550 The process cannot access the file.", files({{"/f.bin", kOld}, {"/f.parcial", kNew}})},
        {"a 452 on the upload", Fault::reply(QStringLiteral("STOR#1"), QStringLiteral("452 Quota exceeded.")), "452 Quota exceeded.",
         nullptr, files({{"/f.bin", kOld}})},
        {"dropped before the rename", Fault::drop(QStringLiteral("RNTO#1")), "ok", "0 ", files({{"/f.bin", kOld}, {"/f.parcial", kNew}})},
        {"the rename done, its reply lost", Fault::replyLost(QStringLiteral("RNTO#1")), "ok", "0 ", files({{"/f.bin", kNew}})},
        {"the upload stored, its reply lost", Fault::replyLost(QStringLiteral("STOR#1")), "0 ", nullptr,
         files({{"/f.bin", kOld}, {"/f.parcial", kNew}})},
        {"the upload cut at 1000 bytes", Fault::dropAt(QStringLiteral("STOR#1"), 1000), "0 ", nullptr,
         files({{"/f.bin", kOld}, {"/f.parcial", cut}})},
        {"a glob names the file", Fault::reply(QStringLiteral("STOR:*.parcial#1"), QStringLiteral("553 Bad name.")), "553 Bad name.", nullptr,
         files({{"/f.bin", kOld}})},
        {"a glob that names another file", Fault::reply(QStringLiteral("STOR:*.bin#1"), QStringLiteral("553 Bad name.")), "ok", "ok",
         files({{"/f.bin", kNew}})},
    };
    for (const Caso& c : cases) {
        SCOPED_TRACE(c.name);
        start({.files = {{QStringLiteral("f.bin"), 10}}, .faults = {c.fault}});
        ftp.Connect();
        const QString up = outcome([&] { upload(); });
        EXPECT_TRUE(up.startsWith(QString::fromLatin1(c.upload))) << up.toStdString();
        if (c.rename) {
            const QString rn = outcome([&] { rename(); });
            EXPECT_TRUE(rn.startsWith(QString::fromLatin1(c.rename))) << rn.toStdString();
        }
        EXPECT_EQ(server->files(), c.after);
        const QStringList fired = server->notes().filter(QRegularExpression(QStringLiteral("^fault ")));
        EXPECT_EQ(fired.size(), QByteArray(c.name).contains("another") ? 0 : 1) << fired.join('\n').toStdString();
        ftp.Disconnect();
    }
}

// K counts every command from the moment the fault is armed, in the transcript's
// order: a sweep that counted a clean run's commands reaches each one of them.
TEST_F(ScriptedFaults, TheKthCommandFromWhenItIsArmed)
{
    start({});
    ftp.Connect();
    const QStringList clean = server->commands();
    // QUIT waits for its reply: every command of a connection is in before the next one's.
    ftp.Disconnect();
    ASSERT_GE(clean.size(), 4) << clean.join(' ').toStdString();
    for (int k = 1; k <= clean.size(); ++k) {
        SCOPED_TRACE(k);
        const qsizetype before = server->arm(Fault::reply(QString::number(k), QStringLiteral("421 Not now.")));
        EXPECT_EQ(before, server->commands().size());
        EXPECT_EQ(outcome([&] { ftp.Connect(); }), QStringLiteral("421 Not now."));
        ftp.Disconnect();
        const QStringList since = server->commands().mid(before);
        ASSERT_GE(since.size(), k);
        EXPECT_EQ(since[k - 1], clean[k - 1]);
        EXPECT_TRUE(server->notes().contains(QStringLiteral("fault %1 %2 reply:421 Not now.").arg(before + k).arg(clean[k - 1].section(' ', 0, 0))))
            << server->notes().join('\n').toStdString();
    }
}

// A held command waits for the test: before it is done ("hold"), done but
// unanswered ("hold-done"), or after part of its data ("hold@N", what came so far on
// the server meanwhile). Released, it goes on as if nothing had happened.
TEST_F(ScriptedFaults, AHoldWaitsForTheTest)
{
    struct Caso {
        const char* name;
        Fault fault;
        bool renaming;
        const char* heldLine;
        Files whileHeld;
    };
    const Caso cases[] = {
        {"before the rename", Fault::hold(QStringLiteral("RNTO#1")), true, "RNTO f.bin", files({{"/f.bin", kOld}, {"/f.parcial", kNew}})},
        {"the rename done, before its reply", Fault::holdReply(QStringLiteral("RNTO#1")), true, "RNTO f.bin", files({{"/f.bin", kNew}})},
        {"the upload after 1000 bytes", Fault::holdAt(QStringLiteral("STOR#1"), 1000), false, "STOR f.parcial",
         files({{"/f.bin", kOld}, {"/f.parcial", kNew.left(1000)}})},
    };
    for (const Caso& c : cases) {
        SCOPED_TRACE(c.name);
        start({.files = {{QStringLiteral("f.bin"), 10}}, .faults = {c.fault}});
        ftp.Connect();
        if (c.renaming)
            upload();
        EXPECT_TRUE(server->held().isEmpty());
        QString result;
        std::thread step([&] { result = outcome([&] { c.renaming ? rename() : upload(); }); });
        EXPECT_EQ(server->waitForHold(), QString::fromLatin1(c.heldLine));
        EXPECT_EQ(server->files(), c.whileHeld);
        EXPECT_TRUE(server->notes().filter(QStringLiteral("holding ")).size() == 1);
        EXPECT_EQ(server->release(), 1);
        step.join();
        EXPECT_EQ(result, QStringLiteral("ok"));
        EXPECT_EQ(server->files(), c.renaming ? files({{"/f.bin", kNew}}) : files({{"/f.bin", kOld}, {"/f.parcial", kNew}}));
        EXPECT_TRUE(server->held().isEmpty());
        ftp.Disconnect();
    }
}

// Faults armed are dropped by clearFaults; files are made and removed by the test.
TEST_F(ScriptedFaults, FaultsClearedAndFilesPutByTheTest)
{
    start({});
    server->putFile({QStringLiteral("pasta/a.bin"), 300});
    server->putFile({QStringLiteral("b.bin"), 1});
    server->removeFile(QStringLiteral("b.bin"));
    EXPECT_EQ(server->files(), files({{"/pasta/a.bin", ScriptedFtp::patternBytes(300)}}));
    server->arm(Fault::drop(QStringLiteral("1")));
    server->clearFaults();
    ftp.Connect();
    EXPECT_TRUE(server->notes().filter(QStringLiteral("fault ")).isEmpty());
    EXPECT_THROW(server->arm({QStringLiteral("x"), QStringLiteral("drop")}), std::runtime_error);
}

// The profiles: what a server may not do, with any scenario.
TEST_F(ScriptedFaults, ProfilesRefuseWhatTheServerMayNotDo)
{
    using Renames = ScriptedFtp::Profile::Renames;
    struct Caso {
        const char* name;
        ScriptedFtp::Profile profile;
        const char* onto;  // a rename onto the existing name
        const char* free;  // a rename onto a free name
    };
    const Caso cases[] = {
        {"renames replace", {}, "ok", "ok"},
        {"no rename onto an existing name", {.renames = Renames::NotOntoExisting}, "553 Rename failed: the target exists.", "ok"},
        {"no renames (550)", {.renames = Renames::Refused}, "550 Permission denied.", "550 Permission denied."},
        {"no renames (502)", {.renames = Renames::NotImplemented}, "502 Command not implemented.", "502 Command not implemented."},
    };
    for (const Caso& c : cases) {
        SCOPED_TRACE(c.name);
        start({.files = {{QStringLiteral("f.bin"), 10}, {QStringLiteral("f.parcial"), 20}, {QStringLiteral("g.parcial"), 30}}, .profile = c.profile});
        ftp.Connect();
        EXPECT_EQ(outcome([&] { rename(); }), QString::fromLatin1(c.onto));
        EXPECT_EQ(outcome([&] { ftp.Rename(QStringLiteral("g.parcial"), QStringLiteral("livre.bin")); }), QString::fromLatin1(c.free));
        ftp.Disconnect();
    }

    SCOPED_TRACE("no REST, no digest");
    start({.files = {{QStringLiteral("f.bin"), 1000}}, .profile = {.rest = false, .digest = false}});
    ftp.Connect();
    EXPECT_FALSE(ftp.Hash(QStringLiteral("f.bin"), 10s).has_value());
    QBuffer destino;
    destino.open(QIODevice::WriteOnly);
    EXPECT_THROW(ftp.Get(QStringLiteral("f.bin"), destino, 100), EIdFTPRestartRefused);
    EXPECT_TRUE(server->commands().filter(QRegularExpression(QStringLiteral("^(HASH|X[A-Z0-9]+) "))).isEmpty())
        << server->commands().join(' ').toStdString();
    EXPECT_TRUE(server->commands().contains(QStringLiteral("REST 100")));
    ftp.Disconnect();
}

// Every reply waits as long as the profile says: longer than the client waits, no
// greeting comes in time.
TEST_F(ScriptedFaults, RepliesDelayed)
{
    start({.profile = {.replyDelaySeconds = 3}});
    ftptest::ajustar(ftp, [](FtpSettings& s) { s.readTimeout = 300ms; });
    EXPECT_THROW(ftp.Connect(), EIdFTPError);
}

} // namespace

// The system's text for a socket error, as messages show it: Winsock's codes on
// Windows (which MinGW's std::system_category() does not know), errno elsewhere;
// and the keep-alive every connection carries.
#include "SocketPlatform.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#ifdef _WIN32
#include <winsock2.h>
#else
#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#endif

using namespace ftp;

namespace {

struct ErrorTextCase {
    const char* name;
    int code;
    // The text holds at least one of them: the program's own Portuguese words where
    // it knows the code, else the system's (in the system's language).
    std::vector<std::string> words;
};

void PrintTo(const ErrorTextCase& c, std::ostream* os) { *os << c.name << " (" << c.code << ")"; }

class SocketErrorText : public ::testing::TestWithParam<ErrorTextCase> {};

TEST_P(SocketErrorText, SaysWhatHappened)
{
    const ErrorTextCase& c = GetParam();
    const QString text = socketErrorText(c.code);
    bool found = false;
    for (const std::string& word : c.words)
        found = found || text.contains(QString::fromStdString(word), Qt::CaseInsensitive);
    EXPECT_TRUE(found) << text.toStdString();
}

const ErrorTextCase kErrorTexts[] = {
#ifdef _WIN32
    {"refused", WSAECONNREFUSED, {"refused", "recus"}},
    {"reset", WSAECONNRESET, {"reiniciada"}},
#else
    {"refused", ECONNREFUSED, {"refused", "recus"}},
    {"reset", ECONNRESET, {"reset", "fechad", "reinici"}},
    {"timed_out", ETIMEDOUT, {"timed out", "tempo"}},
#endif
    // No system knows it: the message still names the code.
    {"unknown", 99999, {"99999"}},
};

INSTANTIATE_TEST_SUITE_P(Table, SocketErrorText, ::testing::ValuesIn(kErrorTexts),
                         [](const ::testing::TestParamInfo<ErrorTextCase>& info) { return std::string(info.param.name); });

// A failed socket call breaks the connection: it is raised as the kind that closes
// it, with the system's words in the message.
TEST(SocketError, IsALinkErrorWithTheSystemsText)
{
#ifdef _WIN32
    const int refused = WSAECONNREFUSED;
#else
    const int refused = ECONNREFUSED;
#endif
    try {
        throwSocketError(refused);
    } catch (const LinkError& e) {
        EXPECT_TRUE(e.Message().contains(socketErrorText(refused))) << e.Message().toStdString();
        return;
    }
    ADD_FAILURE() << "no LinkError";
}

// Every connection the component opens (control and data go through the same
// call) carries TCP keep-alive, with the system's defaults (two hours of silence
// before the first probe on Linux and Windows) replaced by ours.
TEST(KeepAlive, IsOnWithOurTimesOnEveryConnection)
{
    const std::atomic<bool> cancel{false};
    const Socket s = Socket::connectTo({0x7F000001, static_cast<std::uint16_t>(testsupport::silentPort())}, Millis(5000), cancel);
    const auto option = [&s](int level, int name) {
        int value = -1;
#ifdef _WIN32
        int size = sizeof value;
        EXPECT_EQ(::getsockopt(static_cast<SOCKET>(s.handle()), level, name, reinterpret_cast<char*>(&value), &size), 0);
#else
        socklen_t size = sizeof value;
        EXPECT_EQ(::getsockopt(s.handle(), level, name, &value, &size), 0);
#endif
        return value;
    };
    EXPECT_NE(option(SOL_SOCKET, SO_KEEPALIVE), 0);
#ifndef _WIN32
    // Windows has no way to read them back (they are set with SIO_KEEPALIVE_VALS);
    // under Wine the end-to-end test sees them on the host's side of its sockets.
    EXPECT_EQ(option(IPPROTO_TCP, TCP_KEEPIDLE), 30);
    EXPECT_EQ(option(IPPROTO_TCP, TCP_KEEPINTVL), 10);
    EXPECT_EQ(option(IPPROTO_TCP, TCP_KEEPCNT), 6);
#endif
}

}

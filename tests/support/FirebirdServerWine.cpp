// The Windows build has no Firebird client library (fbclient.dll) to reach a
// server with, so its tests never get a Firebird server: the tests that need one
// are left out of the Wine run (see ftpc_wine_gtest_filter) and run in the Linux
// build. A test that asks for one all the same fails with this message.
#include "FirebirdServer.h"

#include <stdexcept>

namespace testsupport {

FirebirdServer::FirebirdServer()
{
    throw std::runtime_error("no Firebird server under Wine: the Windows build has no fbclient.dll; "
                             "the database tests run in the Linux build");
}

FirebirdServer::~FirebirdServer() = default;
QString FirebirdServer::serverAndPort() const { return {}; }
QString FirebirdServer::connectionString(const QString&) const { return {}; }
QString FirebirdServer::folder() const { return {}; }
void FirebirdServer::createDatabase(const QString&, const QString&, const QString&, const QString&) {}
void FirebirdServer::execute(const QString&, const QString&) {}
QString FirebirdServer::fixtureScript(const QString&) { return {}; }
void FirebirdServer::runIsql(const QString&, const QString&) {}

}

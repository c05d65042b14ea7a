#pragma once
// A real Firebird 3 server for the tests, private to one test program: started on
// a free loopback port with its own configuration, security database and lock
// folder under a temporary folder (tests/fixtures/firebird/start-firebird.sh), and
// stopped when the object goes. It knows the logins of the maker's systems:
// SYSDBA/plunderow, QNCKORV8/vokt, QNCMUR/brelox, QNCTEL/zub.
//
// Databases are built from SQL scripts through isql connected in UTF-8, so
// accented text in a script is stored right whatever the database's character set.
#include "TestSupport.h"

#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace testsupport {

class FirebirdServer {
public:
    // Starts the server; throws std::runtime_error with the server's output when it
    // does not come up.
    FirebirdServer();
    ~FirebirdServer();
    FirebirdServer(const FirebirdServer&) = delete;
    FirebirdServer& operator=(const FirebirdServer&) = delete;

    int port() const { return m_port; }
    // "127.0.0.1/<port>", as an installed system's INI file gives it.
    QString serverAndPort() const;
    // "127.0.0.1/<port>:<path>"
    QString connectionString(const QString& databasePath) const;
    // A temporary folder that goes with the server: a place for databases and
    // fake installations.
    QString folder() const;

    // Creates a WIN1252 database at databasePath (missing folders are made, an
    // existing file is replaced), runs sqlScript in it as SYSDBA, then makes sure
    // the login user/password exists and may SELECT from every table of it. User
    // names are plain (unquoted) identifiers.
    // Throws std::runtime_error with isql's output on any failure.
    void createDatabase(const QString& databasePath, const QString& sqlScript, const QString& user,
                        const QString& password);

    // Runs statements (separated by ";") in an existing database as SYSDBA and
    // commits them. Logins can be changed this way too ("alter user ... password").
    void execute(const QString& databasePath, const QString& sql);

    // The text of a script in tests/fixtures/firebird.
    static QString fixtureScript(const QString& fileName);

    static QString sysdbaUser() { return QStringLiteral("SYSDBA"); }
    static QString sysdbaPassword() { return QStringLiteral("plunderow"); }

private:
    // Feeds script to isql-fb (UTF-8 connection, stops at the first error).
    void runIsql(const QString& script, const QString& databaseArgument = {});

    QTemporaryDir m_dir;
    int m_port = 0;
    std::unique_ptr<ServerProcess> m_process;
};

}

#include "FirebirdServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <stdexcept>

namespace testsupport {

namespace {

QString quoted(const QString& text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QLatin1Char('\'') + escaped + QLatin1Char('\'');
}

bool accepts(int port)
{
    const int fd = connectLoopback(port);
    if (fd >= 0)
        closeSocket(fd);
    return fd >= 0;
}

}

FirebirdServer::FirebirdServer()
{
    if (!m_dir.isValid())
        throw std::runtime_error("cannot create a temporary folder for Firebird");
    QDir().mkpath(m_dir.filePath(QStringLiteral("server")));
    QDir().mkpath(m_dir.filePath(QStringLiteral("data")));
    m_port = freePort();
    const QString script = QStringLiteral(FTPC_FIXTURES_DIR "/firebird/start-firebird.sh");
    // The server is a Linux program, also for the Windows build's tests under Wine:
    // it sees every path as Linux names it.
    m_process = std::make_unique<ServerProcess>(
        QStringLiteral("/bin/bash"), QStringList{script, hostPath(m_dir.filePath(QStringLiteral("server"))), QString::number(m_port)});
    // The script reports before it turns into the server; from then on the server
    // is up when its port accepts.
    m_process->waitForLine(QStringLiteral("start-firebird: starting"), std::chrono::seconds(20));
    const bool up = waitUntil([&] { return accepts(m_port) || m_process->pid() == 0; }, std::chrono::seconds(15));
    if (!up || !accepts(m_port))
        throw std::runtime_error("Firebird did not start; output:\n" + m_process->output().toStdString());
}

FirebirdServer::~FirebirdServer()
{
    if (m_process)
        m_process->stop();
}

QString FirebirdServer::serverAndPort() const { return QStringLiteral("127.0.0.1/%1").arg(m_port); }

QString FirebirdServer::connectionString(const QString& databasePath) const
{
    return serverAndPort() + QLatin1Char(':') + hostPath(databasePath);
}

QString FirebirdServer::folder() const { return m_dir.filePath(QStringLiteral("data")); }

QString FirebirdServer::fixtureScript(const QString& fileName)
{
    return QString::fromUtf8(readFile(QStringLiteral(FTPC_FIXTURES_DIR "/firebird/") + fileName));
}

void FirebirdServer::runIsql(const QString& script, const QString& databaseArgument)
{
    // isql reads its own messages from the server's root, and drops every non-ASCII
    // byte it reads when the locale that LANG names is not installed: the C
    // locale's UTF-8 form is always there.
    QStringList args{QStringLiteral("FIREBIRD=") + hostPath(m_dir.filePath(QStringLiteral("server/root"))),
                     QStringLiteral("LC_ALL=C.UTF-8"),
                     QStringLiteral("isql-fb"),
                     QStringLiteral("-q"),
                     QStringLiteral("-b"),
                     QStringLiteral("-ch"),
                     QStringLiteral("UTF8"),
                     QStringLiteral("-user"),
                     sysdbaUser(),
                     QStringLiteral("-password"),
                     sysdbaPassword()};
    if (!databaseArgument.isEmpty())
        args << databaseArgument;
    QByteArray output;
    const int code = runProgram(QStringLiteral("/usr/bin/env"), args, script.toUtf8(), &output);
    if (code != 0 || output.contains("Statement failed"))
        throw std::runtime_error("isql-fb failed (" + std::to_string(code) + "):\n" + output.toStdString() + "\nscript:\n" +
                                 script.toStdString());
}

void FirebirdServer::createDatabase(const QString& databasePath, const QString& sqlScript, const QString& user,
                                    const QString& password)
{
    QDir().mkpath(QFileInfo(databasePath).absolutePath());
    if (QFileInfo::exists(databasePath) && !QFile::remove(databasePath))
        throw std::runtime_error(("cannot replace " + databasePath).toStdString());

    QString script = QStringLiteral("create database %1 default character set WIN1252;\n")
                         .arg(quoted(connectionString(databasePath)));
    script += sqlScript;
    script += QStringLiteral("\ncommit;\n");
    if (user.compare(sysdbaUser(), Qt::CaseInsensitive) != 0) {
        script += QStringLiteral("create or alter user %1 password %2;\ncommit;\n").arg(user, quoted(password));
        // What an installation grants its system's login: reading every table.
        script += QStringLiteral(
                      "set term ^ ;\n"
                      "execute block as\n"
                      "  declare tabela varchar(63);\n"
                      "begin\n"
                      "  for select trim(rdb$relation_name) from rdb$relations\n"
                      "      where coalesce(rdb$system_flag, 0) = 0 and rdb$view_blr is null into :tabela do\n"
                      "    execute statement 'grant select on \"' || tabela || '\" to \"' || %1 || '\"';\n"
                      "end^\n"
                      "set term ; ^\n"
                      "commit;\n")
                      .arg(quoted(user.toUpper()));
    }
    runIsql(script);
}

void FirebirdServer::execute(const QString& databasePath, const QString& sql)
{
    runIsql(sql + QStringLiteral("\ncommit;\n"), connectionString(databasePath));
}

}

#include "FirebirdServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>

#include <stdexcept>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

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
        ::close(fd);
    return fd >= 0;
}

QString isqlProgram()
{
    for (const char* candidate : {"/usr/bin/isql-fb", "/usr/bin/isql", "/opt/firebird/bin/isql"}) {
        if (QFileInfo(QString::fromLatin1(candidate)).isExecutable())
            return QString::fromLatin1(candidate);
    }
    throw std::runtime_error("isql-fb not found (package firebird3.0-utils)");
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
    m_process = std::make_unique<ServerProcess>(
        QStringLiteral("/bin/bash"), QStringList{script, m_dir.filePath(QStringLiteral("server")), QString::number(m_port)});
    // The script reports before it turns into the server; from then on the server
    // is up when its port accepts.
    m_process->waitForLine(QStringLiteral("start-firebird: starting"), std::chrono::seconds(20));
    const qint64 pid = m_process->pid();
    const bool up = waitUntil(
        [&] { return accepts(m_port) || (pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0); },
        std::chrono::seconds(15));
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
    return serverAndPort() + QLatin1Char(':') + databasePath;
}

QString FirebirdServer::folder() const { return m_dir.filePath(QStringLiteral("data")); }

QString FirebirdServer::fixtureScript(const QString& fileName)
{
    return QString::fromUtf8(readFile(QStringLiteral(FTPC_FIXTURES_DIR "/firebird/") + fileName));
}

void FirebirdServer::runIsql(const QString& script, const QString& databaseArgument)
{
    QProcess isql;
    isql.setProcessChannelMode(QProcess::MergedChannels);
    QStringList args{QStringLiteral("-q"), QStringLiteral("-b"), QStringLiteral("-ch"), QStringLiteral("UTF8"),
                     QStringLiteral("-user"), sysdbaUser(), QStringLiteral("-password"), sysdbaPassword()};
    if (!databaseArgument.isEmpty())
        args << databaseArgument;
    // isql reads its own messages from the server's root.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("FIREBIRD"), m_dir.filePath(QStringLiteral("server/root")));
    // isql drops every non-ASCII byte it reads when the locale that LANG names is not
    // installed; the C locale's UTF-8 form is always there.
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    isql.setProcessEnvironment(env);
    isql.start(isqlProgram(), args);
    if (!isql.waitForStarted(10000))
        throw std::runtime_error("cannot start isql-fb");
    isql.write(script.toUtf8());
    isql.closeWriteChannel();
    if (!isql.waitForFinished(60000)) {
        isql.kill();
        isql.waitForFinished(5000);
        throw std::runtime_error("isql-fb did not finish");
    }
    const QByteArray output = isql.readAll();
    if (isql.exitStatus() != QProcess::NormalExit || isql.exitCode() != 0 || output.contains("Statement failed"))
        throw std::runtime_error("isql-fb failed:\n" + output.toStdString() + "\nscript:\n" + script.toStdString());
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

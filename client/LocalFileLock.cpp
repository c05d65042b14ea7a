#include "LocalFileLock.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>

namespace {

// The same file by whatever path it was named: its links followed, and on Windows
// without regard to the letters' case, as the file system has it.
QString identityOf(const QString& localPath)
{
    const QFileInfo info(localPath);
    QString path = info.canonicalFilePath();
    if (path.isEmpty())
        path = info.absoluteFilePath();
#ifdef _WIN32
    path = path.toLower();
#endif
    return path;
}

}

QString LocalFileLock::folder()
{
#ifdef _WIN32
    // The user's own temporary folder (a service account's too).
    return QDir::tempPath() + QStringLiteral("/FTPCaldoria-travas");
#else
    // The runtime folder is the user's alone and emptied at each start; without one
    // (under cron) a folder in the user's cache, never one others could plant in /tmp.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
        return runtime + QStringLiteral("/ftpcaldoria");
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/ftpcaldoria/travas");
#endif
}

QString LocalFileLock::lockFileOf(const QString& localPath)
{
    const QByteArray hash = QCryptographicHash::hash(identityOf(localPath).toUtf8(), QCryptographicHash::Sha256).toHex().left(24);
    return folder() + QStringLiteral("/envio-") + QString::fromLatin1(hash) + QStringLiteral(".lock");
}

LocalFileLock::LocalFileLock(const QString& localPath) : m_lock(std::make_unique<QLockFile>(lockFileOf(localPath)))
{
    // Stale only when its process is gone: an upload of hours holds it all along.
    m_lock->setStaleLockTime(0);
}

LocalFileLock::~LocalFileLock() = default;

bool LocalFileLock::tryLock()
{
    if (m_lock->isLocked())
        return true;
    QDir().mkpath(folder());
    return m_lock->tryLock(0);
}

bool LocalFileLock::isLocked() const
{
    return m_lock->isLocked();
}

void LocalFileLock::unlock()
{
    m_lock->unlock();
}

QString LocalFileLock::holder() const
{
    qint64 pid = 0;
    QString host;
    QString app;
    if (!m_lock->getLockInfo(&pid, &host, &app) || pid <= 0)
        return {};
    return QStringLiteral("o processo %1").arg(pid);
}

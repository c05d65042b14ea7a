#include "LogText.h"

#include "SystemErrorText.h"
#include "VisibleText.h"

#include <QDir>
#include <QFileInfo>

#ifndef _WIN32
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

QStringList logLines(const QString& message)
{
    QStringList lines = visibleText(message, LineBreaks::Keep).split(QLatin1Char('\n'));
    for (qsizetype i = 1; i < lines.size(); ++i)
        lines[i].prepend(QLatin1String("  "));
    if (lines.first().startsWith(kOutcomeTag))
        lines.first().prepend(QLatin1String("  "));
    return lines;
}

QStringList outcomeLines(const QDateTime& when, const QString& message)
{
    QStringList lines = logLines(message);
    lines.first() = QStringLiteral("%1 %2 RESULTADO: %3")
                        .arg(kOutcomeTag, when.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")), lines.first().trimmed());
    return lines;
}

namespace {

QString notRegularText(const QString& path, const QString& what)
{
    return QStringLiteral("O log não pode ser gravado em %1: %2, não um arquivo comum")
        .arg(QDir::toNativeSeparators(path), what);
}

}

QString logTargetProblem(const QString& path)
{
#ifdef _WIN32
    const QString nativo = QDir::toNativeSeparators(path);
    if (nativo.startsWith(QLatin1String("\\\\.\\pipe\\"), Qt::CaseInsensitive))
        return notRegularText(path, QStringLiteral("é um pipe nomeado"));
    return {};
#else
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    if (S_ISFIFO(st.st_mode))
        return notRegularText(path, QStringLiteral("é uma fila (FIFO)"));
    if (S_ISSOCK(st.st_mode))
        return notRegularText(path, QStringLiteral("é um soquete"));
    return {};
#endif
}

std::unique_ptr<QFile> openLogFile(const QString& path, QString& error)
{
    error = logTargetProblem(path);
    if (!error.isEmpty())
        return nullptr;
    if (QFileInfo(path).isDir()) {
        error = notRegularText(path, QStringLiteral("é uma pasta"));
        return nullptr;
    }
    auto file = std::make_unique<QFile>(path);
#ifdef _WIN32
    if (!file->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        error = QStringLiteral("Não foi possível abrir o arquivo de log %1: %2").arg(QDir::toNativeSeparators(path), systemErrorText(file->errorString()));
        return nullptr;
    }
#else
    // O_NONBLOCK: a FIFO that appeared since the check fails at once (no reader)
    // or is refused below, instead of holding the run up.
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = QStringLiteral("Não foi possível abrir o arquivo de log %1: %2")
                    .arg(QDir::toNativeSeparators(path), systemErrorText(errno));
        return nullptr;
    }
    // A device that takes text (/dev/null, a terminal) is written to; one that
    // stands for a disk never is.
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !(S_ISREG(st.st_mode) || S_ISCHR(st.st_mode))) {
        ::close(fd);
        error = notRegularText(path, S_ISBLK(st.st_mode) ? QStringLiteral("é um dispositivo de disco") : QStringLiteral("é de outro tipo"));
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file->open(fd, QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        error = QStringLiteral("Não foi possível abrir o arquivo de log %1: %2").arg(QDir::toNativeSeparators(path), systemErrorText(file->errorString()));
        return nullptr;
    }
#endif
    return file;
}

#include "FtpPartFile.h"

#include "FtpTypes.h"
#include "SystemErrorText.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <system_error>

namespace ftp {

std::filesystem::path nativePath(const QString& path)
{
#ifdef _WIN32
    return std::filesystem::path(QDir::toNativeSeparators(path).toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

void checkDownloadTarget(const QString& localPath, bool canOverwrite)
{
    // Only a regular file is replaced: opening a named pipe would block until some
    // other program opened its other end, and a device is nobody's download.
    // A link is judged by what it leads to (the download replaces the link itself).
    std::error_code ec;
    auto type = std::filesystem::symlink_status(nativePath(localPath), ec).type();
    if (type == std::filesystem::file_type::symlink) {
        type = std::filesystem::status(nativePath(localPath), ec).type();
        if (type == std::filesystem::file_type::not_found)
            type = std::filesystem::file_type::regular; // a dangling link is replaced like a file
    }
    if (type == std::filesystem::file_type::directory)
        throw EIdFTPError(FtpFailure::LocalFile, QStringLiteral("O destino é uma pasta: %1").arg(QDir::toNativeSeparators(localPath)));
    if (type != std::filesystem::file_type::not_found && type != std::filesystem::file_type::none) {
        if (type != std::filesystem::file_type::regular)
            throw EIdFTPError(FtpFailure::LocalFile, QStringLiteral("O destino não é um arquivo comum: %1").arg(QDir::toNativeSeparators(localPath)));
        if (!canOverwrite)
            throw EIdFTPError(FtpFailure::LocalFile, QStringLiteral("O arquivo de destino já existe: %1").arg(QDir::toNativeSeparators(localPath)));
    }
}

PartFile::PartFile(const QString& target) : m_target(target)
{
    const QFileInfo info(target);
    const QString stem = info.absolutePath() + QLatin1String("/.ftpcaldoria.part-");
    for (int attempt = 0; attempt < 20; ++attempt) {
        QString suffix;
        for (int i = 0; i < 8; ++i)
            suffix.append(QLatin1Char("abcdefghijklmnopqrstuvwxyz0123456789"[QRandomGenerator::global()->bounded(36)]));
        m_file.setFileName(stem + suffix);
        if (m_file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
            return;
        if (m_file.error() != QFileDevice::OpenError || !QFileInfo::exists(m_file.fileName()))
            break;
    }
    throw EIdFTPError(FtpFailure::LocalFile, QStringLiteral("Não foi possível criar o arquivo temporário em %1: %2")
                          .arg(QDir::toNativeSeparators(info.absolutePath()), systemErrorText(m_file.errorString())));
}

PartFile::~PartFile()
{
    if (!m_committed) {
        m_file.close();
        QFile::remove(m_file.fileName());
    }
}

void PartFile::commitAs(const QString& target)
{
    m_file.close();
    if (m_file.error() != QFileDevice::NoError)
        throw EIdFTPError(FtpFailure::LocalFile, QStringLiteral("Erro ao gravar o arquivo local %1: %2")
                              .arg(QDir::toNativeSeparators(target), systemErrorText(m_file.errorString())));
    std::error_code ec;
    std::filesystem::rename(nativePath(m_file.fileName()), nativePath(target), ec);
    if (ec)
        throw EIdFTPError(FtpFailure::LocalFile, QStringLiteral("Não foi possível gravar o arquivo %1: %2")
                              .arg(QDir::toNativeSeparators(target), QString::fromStdString(ec.message())));
    m_committed = true;
}

}

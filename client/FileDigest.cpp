#include "FileDigest.h"

#include "SessionFailure.h"
#include "SystemErrorText.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>

#include <algorithm>
#include <limits>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace {

class Crc32 {
public:
    void add(const char* data, qint64 size)
    {
        static const std::array<std::uint32_t, 256> table = [] {
            std::array<std::uint32_t, 256> t{};
            for (std::uint32_t i = 0; i < 256; ++i) {
                std::uint32_t c = i;
                for (int k = 0; k < 8; ++k)
                    c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
                t[i] = c;
            }
            return t;
        }();
        for (qint64 i = 0; i < size; ++i)
            m_crc = table[(m_crc ^ static_cast<unsigned char>(data[i])) & 0xFF] ^ (m_crc >> 8);
    }
    QByteArray result() const
    {
        const std::uint32_t v = ~m_crc;
        QByteArray out(4, Qt::Uninitialized);
        for (int i = 0; i < 4; ++i)
            out[i] = static_cast<char>(v >> (24 - 8 * i));
        return out;
    }

private:
    std::uint32_t m_crc = 0xFFFFFFFFu;
};

}

QByteArray fileDigest(const QString& path, const QString& algorithm, const std::atomic<bool>& cancel, std::int64_t length)
{
    std::optional<QCryptographicHash> hash;
    std::optional<Crc32> crc;
    if (algorithm == QLatin1String("SHA-256"))
        hash.emplace(QCryptographicHash::Sha256);
    else if (algorithm == QLatin1String("SHA-1"))
        hash.emplace(QCryptographicHash::Sha1);
    else if (algorithm == QLatin1String("MD5"))
        hash.emplace(QCryptographicHash::Md5);
    else if (algorithm == QLatin1String("CRC32"))
        crc.emplace();
    else
        throw ESessionFailure(FailureKind::LocalFileError, QStringLiteral("Algoritmo de conferência desconhecido: %1").arg(algorithm));

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw ESessionFailure(FailureKind::LocalFileError, QStringLiteral("Não foi possível ler o arquivo local %1: %2").arg(QDir::toNativeSeparators(path), systemErrorText(file.errorString())));
    std::vector<char> buffer(std::size_t(1) << 20);
    std::int64_t left = length < 0 ? std::numeric_limits<std::int64_t>::max() : length;
    for (;;) {
        if (cancel.load())
            throw ESessionFailure(FailureKind::Cancelled, QStringLiteral("Operação cancelada"));
        const qint64 n = file.read(buffer.data(), std::min<qint64>(static_cast<qint64>(buffer.size()), left));
        if (n < 0)
            throw ESessionFailure(FailureKind::LocalFileError, QStringLiteral("Erro ao ler o arquivo local %1: %2").arg(QDir::toNativeSeparators(path), systemErrorText(file.errorString())));
        if (n == 0)
            break;
        left -= n;
        if (hash)
            hash->addData(QByteArrayView(buffer.data(), n));
        else
            crc->add(buffer.data(), n);
    }
    return hash ? hash->result() : crc->result();
}

#include "FtpText.h"

#include "Cp1252.h"

#include <QStringDecoder>

namespace ftp {

QString decodeServerText(QByteArrayView bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    return cp1252::decode(bytes.data(), bytes.size());
}

}

// Names and text from a server as the program shows them. A name of any bytes is
// shown so that the bytes can be read back from what is shown (so no two names show
// alike), and the component reads them back from that text; any text made visible
// for a log holds no control character.
#include "FtpText.h"
#include "FtpTypes.h"
#include "VisibleText.h"

#include "Cp1252.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <optional>

namespace {

int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

// The bytes a shown name stands for, as ftp::displayName describes it.
QByteArray bytesOf(const QString& shown)
{
    QByteArray out;
    for (qsizetype i = 0; i < shown.size(); ++i) {
        if (shown[i].unicode() != ftp::kForeignByteMark) {
            const qsizetype n = shown[i].isHighSurrogate() && i + 1 < shown.size() ? 2 : 1;
            out += QStringView(shown).sliced(i, n).toUtf8();
            i += n - 1;
            continue;
        }
        if (i + 1 >= shown.size())
            __builtin_trap();
        const int high = hexDigit(shown[i + 1]);
        if (high >= 0) {
            if (i + 2 >= shown.size() || hexDigit(shown[i + 2]) < 0)
                __builtin_trap();
            out += static_cast<char>(high * 16 + hexDigit(shown[i + 2]));
            i += 2;
            continue;
        }
        const QByteArray one = cp1252::encode(QString(shown[i + 1]));
        if (one.size() != 1 || static_cast<unsigned char>(one[0]) < 0x80)
            __builtin_trap();
        out += one;
        i += 1;
    }
    return out;
}

bool isHidden(char16_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x2028 && c <= 0x202E)
        || (c >= 0x2066 && c <= 0x2069);
}

}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray raw(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString shown = ftp::displayName(raw);
    if (bytesOf(shown) != raw)
        __builtin_trap();
    if (RemoteName::fromBytes(raw).displayText() != shown)
        __builtin_trap();
    // What is shown, passed back as text (as the window does), names the same bytes.
    if (RemoteName(shown).bytes() != raw)
        __builtin_trap();
    // Text is either a shown name, standing for bytes that show as it, or UTF-8.
    const QString text = QString::fromUtf8(raw);
    const std::optional<QByteArray> back = ftp::bytesOfDisplayName(text);
    if (back && ftp::displayName(*back) != text)
        __builtin_trap();

    for (const QString& text : {shown, ftp::decodeServerText(raw)}) {
        const QString line = visibleText(text);
        for (const QChar c : line)
            if (isHidden(c.unicode()))
                __builtin_trap();
        const QString kept = visibleText(text, LineBreaks::Keep);
        if (kept.count(QLatin1Char('\n')) != text.count(QLatin1Char('\n')))
            __builtin_trap();
    }
    return 0;
}

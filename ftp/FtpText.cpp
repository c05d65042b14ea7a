#include "FtpText.h"

#include "Cp1252.h"
#include "FtpTypes.h"

#include <QStringDecoder>

namespace ftp {

namespace {

bool continuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// Length of the well-formed UTF-8 sequence at p (RFC 3629: no overlong forms, no
// surrogates, nothing above U+10FFFF), and its code point; 0 when none starts there.
int sequenceAt(const unsigned char* p, qsizetype left, char32_t& code)
{
    const unsigned char b = p[0];
    if (b < 0x80) {
        code = b;
        return 1;
    }
    if (b >= 0xC2 && b <= 0xDF) {
        if (left < 2 || !continuation(p[1]))
            return 0;
        code = char32_t(b & 0x1F) << 6 | (p[1] & 0x3F);
        return 2;
    }
    if (b >= 0xE0 && b <= 0xEF) {
        if (left < 3 || !continuation(p[1]) || !continuation(p[2]))
            return 0;
        if ((b == 0xE0 && p[1] < 0xA0) || (b == 0xED && p[1] > 0x9F))
            return 0;
        code = char32_t(b & 0x0F) << 12 | char32_t(p[1] & 0x3F) << 6 | (p[2] & 0x3F);
        return 3;
    }
    if (b >= 0xF0 && b <= 0xF4) {
        if (left < 4 || !continuation(p[1]) || !continuation(p[2]) || !continuation(p[3]))
            return 0;
        if ((b == 0xF0 && p[1] < 0x90) || (b == 0xF4 && p[1] > 0x8F))
            return 0;
        code = char32_t(b & 0x07) << 18 | char32_t(p[1] & 0x3F) << 12 | char32_t(p[2] & 0x3F) << 6 | (p[3] & 0x3F);
        return 4;
    }
    return 0;
}

void appendCode(QString& out, char32_t code)
{
    if (code < 0x10000) {
        out += QChar(static_cast<char16_t>(code));
    } else {
        out += QChar(QChar::highSurrogate(code));
        out += QChar(QChar::lowSurrogate(code));
    }
}

void appendForeignByte(QString& out, unsigned char b)
{
    out += QChar(kForeignByteMark);
    // Always at or above 0x80: ASCII is valid UTF-8.
    const QChar shown = cp1252::decode(reinterpret_cast<const char*>(&b), 1).at(0);
    const char16_t u = shown.unicode();
    if (u > 0xA0 && u != 0xAD) {
        out += shown;
        return;
    }
    static const char hex[] = "0123456789ABCDEF";
    out += QLatin1Char(hex[b >> 4]);
    out += QLatin1Char(hex[b & 0xF]);
}

}

QString decodeServerText(QByteArrayView bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    return cp1252::decode(bytes.data(), bytes.size());
}

QString displayName(QByteArrayView raw)
{
    const auto* p = reinterpret_cast<const unsigned char*>(raw.data());
    const qsizetype n = raw.size();
    QString out;
    out.reserve(n);
    bool clean = true;
    for (qsizetype i = 0; i < n && clean;) {
        char32_t code = 0;
        const int len = sequenceAt(p + i, n - i, code);
        if (len == 0 || code == kForeignByteMark) {
            clean = false;
            break;
        }
        appendCode(out, code);
        i += len;
    }
    if (clean)
        return out;

    out.clear();
    for (qsizetype i = 0; i < n;) {
        char32_t code = 0;
        const int len = sequenceAt(p + i, n - i, code);
        if (len > 0 && code != kForeignByteMark) {
            appendCode(out, code);
            i += len;
        } else {
            appendForeignByte(out, p[i]);
            ++i;
        }
    }
    return out;
}

std::optional<QByteArray> bytesOfDisplayName(QStringView text)
{
    if (!text.contains(QChar(kForeignByteMark)))
        return std::nullopt;
    const auto hexDigit = [](QChar c) {
        const char16_t u = c.unicode();
        return u >= '0' && u <= '9' ? u - '0' : u >= 'A' && u <= 'F' ? u - 'A' + 10 : -1;
    };
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].unicode() != kForeignByteMark) {
            const qsizetype n = text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate() ? 2 : 1;
            out += text.sliced(i, n).toUtf8();
            i += n - 1;
            continue;
        }
        if (i + 1 >= text.size())
            return std::nullopt;
        if (const int high = hexDigit(text[i + 1]); high >= 0) {
            const int low = i + 2 < text.size() ? hexDigit(text[i + 2]) : -1;
            if (low < 0)
                return std::nullopt;
            out += static_cast<char>(high * 16 + low);
            i += 2;
            continue;
        }
        const QByteArray one = cp1252::encode(text.sliced(i + 1, 1).toString());
        if (one.size() != 1 || static_cast<unsigned char>(one[0]) < 0x80 || one[0] == '?')
            return std::nullopt;
        out += one;
        i += 1;
    }
    // Only what displayName() itself would show: anything else is text, not a shown name.
    if (displayName(out) != text)
        return std::nullopt;
    return out;
}

}

RemoteName::RemoteName(const QString& text) : m_bytes(ftp::bytesOfDisplayName(text).value_or(text.toUtf8())) {}

QString RemoteName::displayText() const { return ftp::displayName(m_bytes); }

#include "VisibleText.h"

namespace {

bool isControl(char16_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

bool isInvisibleFormat(char16_t c)
{
    return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x2028 && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

void appendHex(QString& out, char16_t c, int digits)
{
    static const char hex[] = "0123456789ABCDEF";
    out += digits == 2 ? QLatin1String("\\x") : QLatin1String("\\u");
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4)
        out += QLatin1Char(hex[(c >> shift) & 0xF]);
}

}

QString visibleText(QStringView text, LineBreaks lineBreaks)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    const auto needsEscape = [lineBreaks](char16_t c) {
        if (c == u'\n')
            return lineBreaks == LineBreaks::Show;
        return isControl(c) || isInvisibleFormat(c);
    };
    while (i < n && !needsEscape(text[i].unicode()))
        ++i;
    if (i == n)
        return text.toString();

    QString out;
    out.reserve(n + 16);
    out += text.first(i);
    for (; i < n; ++i) {
        const char16_t c = text[i].unicode();
        if (!needsEscape(c))
            out += QChar(c);
        else if (c == u'\n')
            out += QLatin1String("\\n");
        else
            appendHex(out, c, isControl(c) ? 2 : 4);
    }
    return out;
}

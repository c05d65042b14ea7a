#pragma once
// Windows-1252 ("ANSI" on western Windows) to Unicode, exactly as Windows maps it:
// 0x80..0x9F are the typographic characters (0x92 is U+2019, 0x80 is U+20AC);
// the five bytes Windows leaves undefined map to the C1 control of the same value.
#include <QByteArray>
#include <QString>

namespace cp1252 {
QString decode(const char* data, qsizetype size);
inline QString decode(const QByteArray& bytes) { return decode(bytes.constData(), bytes.size()); }
// Characters without a Windows-1252 form become '?'.
QByteArray encode(const QString& text);
}

#include "IniFile.h"

#include "Cp1252.h"

#include <QFile>
#include <QSet>
#include <QStringDecoder>

namespace {

// A profile file holds a few kilobytes; anything far larger is not one of ours, and
// reading it must not be what holds up the start: only its first megabyte is read,
// which takes a fraction of a second however it is laid out (100,000 sections in
// 1.3 MB took 0.35 s on a busy machine).
constexpr qint64 kMaxFileSize = 1024 * 1024;

bool startsWith(const QByteArray& bytes, std::initializer_list<unsigned char> prefix)
{
    if (bytes.size() < static_cast<qsizetype>(prefix.size()))
        return false;
    qsizetype i = 0;
    for (unsigned char b : prefix) {
        if (static_cast<unsigned char>(bytes[i++]) != b)
            return false;
    }
    return true;
}

QString decodeUtf16(const QByteArray& bytes, bool bigEndian)
{
    QString out;
    out.reserve((bytes.size() - 2) / 2);
    for (qsizetype i = 2; i + 1 < bytes.size(); i += 2) {
        const auto lo = static_cast<unsigned char>(bytes[bigEndian ? i + 1 : i]);
        const auto hi = static_cast<unsigned char>(bytes[bigEndian ? i : i + 1]);
        out.append(QChar(static_cast<char16_t>(lo | (hi << 8))));
    }
    return out;
}

// A name as QString::compare(..., Qt::CaseInsensitive) sees it: each character case
// folded on its own, so two names compare equal exactly when these are equal.
QString foldedName(const QString& name)
{
    QString out;
    out.reserve(name.size());
    for (qsizetype i = 0; i < name.size(); ++i) {
        char32_t c = name.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < name.size() && name.at(i + 1).isLowSurrogate()) {
            c = QChar::surrogateToUcs4(name.at(i), name.at(i + 1));
            ++i;
        }
        c = QChar::toCaseFolded(c);
        if (QChar::requiresSurrogates(c)) {
            out += QChar(QChar::highSurrogate(c));
            out += QChar(QChar::lowSurrogate(c));
        } else {
            out += QChar(static_cast<char16_t>(c));
        }
    }
    return out;
}

QString cutValue(QString value)
{
    value = value.trimmed();
    if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
        value = value.mid(1, value.size() - 2);
    if (value.size() > ini::kMaxValueLength) {
        qsizetype n = ini::kMaxValueLength;
        // Never hand out half of a surrogate pair.
        if (value.at(n - 1).isHighSurrogate())
            --n;
        value.truncate(n);
    }
    return value;
}

}

namespace ini {

QString decode(const QByteArray& bytes)
{
    if (startsWith(bytes, {0xFF, 0xFE}))
        return decodeUtf16(bytes, false);
    if (startsWith(bytes, {0xFE, 0xFF}))
        return decodeUtf16(bytes, true);
    if (startsWith(bytes, {0xEF, 0xBB, 0xBF}))
        return QString::fromUtf8(bytes.constData() + 3, bytes.size() - 3);

    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    return cp1252::decode(bytes);
}

Sections parse(const QString& text)
{
    Sections sections;
    Section* current = nullptr;
    QSet<QString> seen;

    qsizetype pos = 0;
    while (pos <= text.size()) {
        qsizetype end = pos;
        while (end < text.size() && text.at(end) != QLatin1Char('\n') && text.at(end) != QLatin1Char('\r'))
            ++end;
        const QString line = text.mid(pos, end - pos).trimmed();
        pos = end + 1;
        if (end < text.size() && text.at(end) == QLatin1Char('\r') && pos < text.size() && text.at(pos) == QLatin1Char('\n'))
            ++pos;

        if (line.isEmpty() || line.startsWith(QLatin1Char(';')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            const qsizetype close = line.indexOf(QLatin1Char(']'));
            const QString name = (close < 0 ? line.mid(1) : line.mid(1, close - 1)).trimmed();
            // The platform's reader stops at the first section of a name, so keys
            // under a repeated header are never seen. The names seen so far are kept
            // in a set: a file of many sections (a hostile one has 100,000 in under
            // a megabyte) must not cost their square.
            const QString key = foldedName(name);
            if (seen.contains(key)) {
                current = nullptr;
                continue;
            }
            seen.insert(key);
            sections.push_back(Section{name, {}});
            current = &sections.back();
            continue;
        }
        if (!current)
            continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq < 0)
            continue;
        const QString key = line.left(eq).trimmed();
        if (key.isEmpty())
            continue;
        current->keys.push_back(Key{key, cutValue(line.mid(eq + 1))});
    }
    return sections;
}

const QString* find(const Sections& sections, const QString& section, const QString& key)
{
    for (const Section& s : sections) {
        if (s.name.compare(section, Qt::CaseInsensitive) != 0)
            continue;
        for (const Key& k : s.keys) {
            if (k.name.compare(key, Qt::CaseInsensitive) == 0)
                return &k.value;
        }
        return nullptr;
    }
    return nullptr;
}

}

IniFile::IniFile(const QString& path)
{
    if (path.isEmpty())
        return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QByteArray bytes = file.read(kMaxFileSize);
    m_sections = ini::parse(bytes);
}

QString IniFile::ReadString(const QString& section, const QString& key, const QString& defaultValue) const
{
    const QString* value = ini::find(m_sections, section, key);
    return value ? *value : defaultValue;
}

int IniFile::ReadInteger(const QString& section, const QString& key, int defaultValue) const
{
    const QString* value = ini::find(m_sections, section, key);
    if (!value)
        return defaultValue;
    bool ok = false;
    const int number = value->toInt(&ok, 10);
    return ok ? number : defaultValue;
}

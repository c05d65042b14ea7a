#pragma once
// Reading of the private-profile INI files that the maker's systems keep beside
// their executables. Reading never fails: a missing file, section or key gives
// the caller's default.
#include <QByteArray>
#include <QString>

#include <utility>
#include <vector>

namespace ini {

// Longest value handed out, as the platform's profile reader does with its
// 2048-character buffer.
constexpr qsizetype kMaxValueLength = 2047;

struct Key {
    QString name;
    QString value;
};

struct Section {
    QString name;
    std::vector<Key> keys;
};

using Sections = std::vector<Section>;

// Text of an INI file as the Windows programs write it: UTF-16LE or UTF-16BE with
// a byte-order mark, UTF-8 with a byte-order mark, UTF-8 without one when the bytes
// are valid UTF-8, and otherwise the ANSI code page (Windows-1252).
QString decode(const QByteArray& bytes);

// Sections in file order. Values are trimmed of surrounding blanks and of one
// pair of surrounding double quotes and cut to kMaxValueLength characters.
// Lines starting with ';' are comments; lines without '=' and keys outside any
// section are ignored.
Sections parse(const QString& text);
inline Sections parse(const QByteArray& bytes) { return parse(decode(bytes)); }

// Looks a value up without regard to case; the first section and the first key
// of a name win, as with the platform's reader.
const QString* find(const Sections& sections, const QString& section, const QString& key);

}

class IniFile {
public:
    // A file that is missing or unreadable reads as empty; of a larger file only the
    // first megabyte is read.
    explicit IniFile(const QString& path);
    explicit IniFile(ini::Sections sections) : m_sections(std::move(sections)) {}

    QString ReadString(const QString& section, const QString& key, const QString& defaultValue) const;
    // A value that is not a whole number within 32 bits gives the default.
    int ReadInteger(const QString& section, const QString& key, int defaultValue) const;

private:
    ini::Sections m_sections;
};

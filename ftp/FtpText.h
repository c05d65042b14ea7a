#pragma once
// How text travels on the wire.
//
// Replies: servers answer in UTF-8 or, older Windows servers above all, in the
// system's ANSI code page; a reply line that is not valid UTF-8 is read as
// Windows-1252.
//
// Names: a name in a listing is kept as the bytes the server sent, and every later
// command about that entry sends those same bytes, whatever their encoding; the
// text is for display only. Names the user typed, or of local files, go out as
// UTF-8 (RFC 2640): after "OPTS UTF8 ON" where FEAT lists UTF8, and also where it
// does not, since that is how this program has always named what it stores and a
// server without UTF8 that keeps names as bytes keeps ours as UTF-8 too.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <optional>

namespace ftp {

QString decodeServerText(QByteArrayView bytes);

// Marks a byte of a name that is not part of valid UTF-8 in displayName().
inline constexpr char16_t kForeignByteMark = 0xFFFD;

// A name as shown: valid UTF-8 reads as what it says. Anything else keeps its valid
// UTF-8 characters, and each other byte is shown as U+FFFD followed by that byte's
// Windows-1252 character, or by two hexadecimal digits when that character would
// not show (undefined, a control, a no-break space or a soft hyphen); a name that
// holds U+FFFD itself is shown the same way. "s\xE3o.txt" (Latin-1) thus shows as
// "s\uFFFDão.txt" beside "são.txt" (UTF-8). Two names that differ in their bytes
// never show the same: the bytes can be read back from what is shown.
QString displayName(QByteArrayView raw);

// The bytes a shown name stands for, when text holds the marks displayName() puts
// in (and only well-formed ones); nothing for any other text. So a name the window
// shows, passed back as text, still names the very file it shows.
std::optional<QByteArray> bytesOfDisplayName(QStringView text);

}

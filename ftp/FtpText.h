#pragma once
// How text travels on the wire. We send UTF-8 (RFC 2640). Servers answer in UTF-8
// or, older Windows servers above all, in the system's ANSI code page; a reply or a
// listing line that is not valid UTF-8 is read as Windows-1252.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace ftp {
QString decodeServerText(QByteArrayView bytes);
}

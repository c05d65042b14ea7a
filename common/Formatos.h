#pragma once
// Texts the window and the command line show for files and transfers, in the
// user's locale.
#include <QDateTime>
#include <QLocale>
#include <QString>

#include <cstdint>

// Size in KiB with grouping and three decimals ("1.024,000 KiB").
QString TextoTamanho(std::int64_t bytes, const QLocale& locale);
// "dd/mm/yyyy hh:nn:ss" with the locale's date and time separators.
QString TextoDataHora(const QDateTime& when, const QLocale& locale);
// An amount of data in decimal units with one decimal: "512 B", "11,8 MB", "3,4 GB".
QString TextoBytes(std::int64_t bytes, const QLocale& locale);
// What a running transfer has done: "1,2 GB de 3,4 GB · 11,8 MB/s · 3 min restantes".
// Speed and time left appear once the transfer has run long enough to tell; seconds
// is how long the data has moved since it stood at startedAt (a resume starts the
// count again). A total below 0 is a size nobody knows: "1,2 GB · 11,8 MB/s".
QString TextoProgresso(std::int64_t soFar, std::int64_t total, double seconds, const QLocale& locale, std::int64_t startedAt = 0);
// What the save dialog is offered for a remote name: its last part, with path
// separators and control characters replaced, so a hostile name from a listing
// cannot point the dialog at another folder.
QString NomeSugeridoParaSalvar(const QString& remoteName);

#pragma once
// Texts the window shows for files and transfers.
#include <QDateTime>
#include <QLocale>
#include <QString>

#include <cstdint>

// Size in KiB with grouping and three decimals in the user's locale ("1.024,000 KiB").
QString TextoTamanho(std::int64_t bytes, const QLocale& locale);
// "dd/mm/yyyy hh:nn:ss" with the locale's date and time separators.
QString TextoDataHora(const QDateTime& when, const QLocale& locale);
// Progress bar text while a transfer runs: "42% · 11,8 MB/s · 3 min restantes".
QString TextoProgresso(std::int64_t soFar, std::int64_t total, double seconds, const QLocale& locale);
// Name of an upload in the shared corrupted-base folder:
// USERDOMAIN "_" USERNAME "-" yyyy-mm-dd_hh-nn-ss "_" bare file name.
QString NomeUnicoBaseCorrompida(const QString& localPath, const QDateTime& now);
// What the save dialog is offered for a remote name: its last part, with path
// separators and control characters replaced, so a hostile name from a listing
// cannot point the dialog at another folder.
QString NomeSugeridoParaSalvar(const QString& remoteName);
// USERNAME, or the login name where the variable is unset (outside Windows).
QString NomeUsuario();

#pragma once
// Texts the window and the command line show for files and transfers.
#include <QDateTime>
#include <QLocale>
#include <QString>

#include <cstdint>

// The locale of what the program writes: its texts are Brazilian Portuguese, and so
// are its numbers and amounts ("11,8 MiB"), whatever the system's locale says, which
// a scheduled task often has none of. The file list's size and date texts alone
// follow the user's locale, as they always did.
const QLocale& programLocale();

// Size in KiB with grouping and three decimals ("1.024,000 KiB").
QString TextoTamanho(std::int64_t bytes, const QLocale& locale);
// "dd/mm/yyyy hh:nn:ss" with the locale's date and time separators.
QString TextoDataHora(const QDateTime& when, const QLocale& locale);
// An amount of data in binary units, as the file list counts (1 MiB = 1.024 KiB),
// with one decimal: "512 B", "11,8 MiB", "3,4 GiB".
QString TextoBytes(std::int64_t bytes, const QLocale& locale);
// What a running transfer has done, in parts: "32 %", "1,2 GiB de 3,4 GiB",
// "11,8 MiB/s", "3 min restantes". The percentage and the time left are there only
// with a known total; the speed and the time left once the transfer has run long
// enough to tell. Arguments as for TextoProgresso.
struct PartesProgresso {
    QString percentual;
    QString quantidades;
    QString velocidade;
    QString restante;
};
PartesProgresso PartesDoProgresso(std::int64_t soFar, std::int64_t total, double seconds, const QLocale& locale, std::int64_t startedAt = 0);
// What a running transfer has done: "1,2 GiB de 3,4 GiB · 11,8 MiB/s · 3 min restantes".
// Speed and time left appear once the transfer has run long enough to tell; seconds
// is how long the data has moved since it stood at startedAt (a resume starts the
// count again). A total below 0 is a size nobody knows: "1,2 GiB · 11,8 MiB/s".
QString TextoProgresso(std::int64_t soFar, std::int64_t total, double seconds, const QLocale& locale, std::int64_t startedAt = 0);

// The pace of one attempt of a transfer, for its speed and time left: the bytes
// moved in this attempt over the time they took to move. Its first report of where
// the data stands is where the attempt starts from, so what was there before (the
// part an earlier run left on the server, the point a resume goes on from) never
// counts as moved; and the time after the last bytes moved (a check, a message box
// left open) never counts as time moving.
class RitmoTransferencia {
public:
    // A new attempt: nothing moved yet.
    void reiniciar();
    // Where the data stands at msecs.
    void registrar(std::int64_t soFar, std::int64_t msecs);
    // Where this attempt started from.
    std::int64_t inicio() const { return m_inicio; }
    // Seconds from the start of the attempt to now (while the data moves) or to the
    // last bytes moved (once it has stopped); 0 before anything moved.
    double segundosAte(std::int64_t msecs) const;
    double segundosMovendo() const { return m_comDados ? segundosAte(m_ultimoMs) : 0.0; }
    // The bytes this attempt has moved.
    std::int64_t movidos() const { return m_comDados ? m_ultimo - m_inicio : 0; }

private:
    bool m_comDados = false;
    std::int64_t m_inicio = 0;
    std::int64_t m_inicioMs = 0;
    std::int64_t m_ultimo = 0;
    std::int64_t m_ultimoMs = 0;
};
// What the save dialog is offered for a remote name: its last part, with path
// separators and control characters replaced, so a hostile name from a listing
// cannot point the dialog at another folder.
QString NomeSugeridoParaSalvar(const QString& remoteName);

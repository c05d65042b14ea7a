#pragma once
// Version of files and of the running executable, and a one-line description
// of the operating system. All state is per process; TVersao is never instantiated.
#include <QString>

#include <cstdint>
#include <functional>

enum TVersaoFase : int {
    ALFA = 0,
    BETA = 1,
    RELEASE_CANDIDATE = 2,
    RELEASE = 3,
};

enum TVersaoSO : int {
    vsoNenhum = 0,
    vsoWin95 = 1,
    vsoWin98 = 2,
    vsoWinXP = 3,
    vsoWinVista = 4,
    vsoWin7 = 5,
    vsoWinCE = 6,
    vsoWin8 = 7,
};

// What the platform tells about itself: the fields of OSVERSIONINFOW that the
// description uses.
struct OsVersionRecord {
    std::uint32_t platformId = 0;
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t build = 0;
};

// Platform id given off Windows and when the platform cannot be asked: outside
// the ids Windows uses (0 to 3), so the kind is vsoNenhum.
constexpr std::uint32_t kPlataformaNaoWindows = 0xFFFFFFFFu;

class TVersao {
public:
    TVersao() = delete;

    // Version of the running executable with phase mark and optional number,
    // e.g. "1.0.10.1/RC" or "1.0.10.1/RC/37"; "0.0.0.0" without a version record.
    static QString GetVersaoExe();
    // Release part (third number) of the running executable's version; 0 when it has none.
    static quint16 GetReleaseExe();
    static QString GetFullVersion(const QString& aFile);
    // File version "a.b.c.d" of any file (never its product version); "0.0.0.0" without one.
    static QString GetVersion(const QString& aFile);

    static TVersaoSO VersaoSO();
    static QString VersaoSODescricao();

    static void SetFase(TVersaoFase value);
    static TVersaoFase GetFase();
    static void SeTdef(std::uint32_t value);

    // The text the last GetVersaoExe produced.
    static QString UltimaVersaoExe();

    // Replaces the platform query behind the OS description; an empty function
    // restores the platform's own.
    static void SetConsultaSO(std::function<OsVersionRecord()> consulta);
    // The platform's own answer.
    static OsVersionRecord ConsultaSOPadrao();

    // Back to the state of a fresh process (tests run many cases in one process).
    static void ResetForTests();

private:
    static bool LerInfoVersao(const QString& aFile, quint16& major, quint16& minor, quint16& release, quint16& build);
    static TVersaoSO IdentificarSO();
    static QString lerVersao(const QString& aFile, bool comFase, bool* lido);

    static inline quint16 FRelease = 0;
    // Whether FRelease came from the running executable rather than from another file.
    static inline bool FReleaseDoExe = false;
    static inline QString FVersaoExe;
    static inline TVersaoSO FVersaoSO = vsoNenhum;
    static inline QString FVersaoSODescricao;
    static inline TVersaoFase FFase = ALFA;
    static inline std::uint32_t FTdef = 0;
    static inline std::function<OsVersionRecord()> FConsultaSO;
};

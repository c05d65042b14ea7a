#include "uTVersao.h"

#include "ExePath.h"

#ifdef _WIN32
#include <windows.h>

#include <vector>
#else
#include "VersionRecord.h"

#include <QStringList>

#include <sys/utsname.h>
#endif

namespace {

QString abreviacao(TVersaoFase fase)
{
    switch (fase) {
    case ALFA: return QStringLiteral("A");
    case BETA: return QStringLiteral("B");
    case RELEASE_CANDIDATE: return QStringLiteral("RC");
    case RELEASE: return QStringLiteral("R");
    }
    return QString();
}

QString nomeSO(TVersaoSO so)
{
    switch (so) {
    case vsoNenhum: return QStringLiteral("N/C");
    case vsoWin95: return QStringLiteral("Windows 95");
    case vsoWin98: return QStringLiteral("Windows 98/95 Osr2");
    case vsoWinXP: return QStringLiteral("Windows XP");
    case vsoWinVista: return QStringLiteral("Windows Vista");
    case vsoWin7: return QStringLiteral("Windows 7");
    case vsoWinCE: return QStringLiteral("Windows CE");
    case vsoWin8: return QStringLiteral("Windows 8");
    }
    return QStringLiteral("N/C");
}

TVersaoSO tipoSO(const OsVersionRecord& r)
{
    switch (r.platformId) {
    case 0: return vsoWin95;
    case 1: return vsoWin98;
    case 2:
        if (r.major == 6) {
            switch (r.minor) {
            case 1: return vsoWin7;
            case 2: return vsoWin8;
            default: return vsoWinVista;
            }
        }
        return vsoWinXP;
    case 3: return vsoWinCE;
    default: return vsoNenhum;
    }
}

}

bool TVersao::LerInfoVersao(const QString& aFile, quint16& major, quint16& minor, quint16& release, quint16& build)
{
#ifdef _WIN32
    const std::wstring path = aFile.toStdWString();
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
    if (size == 0)
        return false;
    std::vector<unsigned char> buffer(size);
    if (!GetFileVersionInfoW(path.c_str(), handle, size, buffer.data()))
        return false;
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(buffer.data(), L"\\", reinterpret_cast<LPVOID*>(&info), &length) || !info || length < sizeof(VS_FIXEDFILEINFO))
        return false;
    // The file version, never the product version.
    major = HIWORD(info->dwFileVersionMS);
    minor = LOWORD(info->dwFileVersionMS);
    release = HIWORD(info->dwFileVersionLS);
    build = LOWORD(info->dwFileVersionLS);
    return true;
#else
    const auto info = versionrecord::readFile(aFile);
    if (!info)
        return false;
    major = info->file.major;
    minor = info->file.minor;
    release = info->file.release;
    build = info->file.build;
    return true;
#endif
}

QString TVersao::lerVersao(const QString& aFile, bool comFase, bool* lido)
{
    quint16 major = 0;
    quint16 minor = 0;
    quint16 build = 0;
    const bool ok = LerInfoVersao(aFile, major, minor, FRelease, build);
    if (lido)
        *lido = ok;
    if (!ok)
        return QStringLiteral("0.0.0.0");
    FReleaseDoExe = false;
    QString text = QStringLiteral("%1.%2.%3.%4").arg(major).arg(minor).arg(FRelease).arg(build);
    if (comFase) {
        text += QLatin1Char('/') + abreviacao(FFase);
        if (FTdef != 0)
            text += QLatin1Char('/') + QString::number(FTdef);
    }
    return text;
}

QString TVersao::GetVersion(const QString& aFile)
{
    return lerVersao(aFile, false, nullptr);
}

QString TVersao::GetFullVersion(const QString& aFile)
{
    return lerVersao(aFile, true, nullptr);
}

QString TVersao::GetVersaoExe()
{
    bool lido = false;
    FVersaoExe = lerVersao(exepath::executablePath(), true, &lido);
    if (lido)
        FReleaseDoExe = true;
    return FVersaoExe;
}

quint16 TVersao::GetReleaseExe()
{
    // FRelease may hold another file's release; only the executable's own counts here.
    if (FRelease == 0 || !FReleaseDoExe)
        GetVersaoExe();
    return FReleaseDoExe ? FRelease : 0;
}

void TVersao::SetFase(TVersaoFase value) { FFase = value; }
TVersaoFase TVersao::GetFase() { return FFase; }
void TVersao::SeTdef(std::uint32_t value) { FTdef = value; }
QString TVersao::UltimaVersaoExe() { return FVersaoExe; }

OsVersionRecord TVersao::ConsultaSOPadrao()
{
    OsVersionRecord r;
#ifdef _WIN32
    OSVERSIONINFOW osvi{};
    osvi.dwOSVersionInfoSize = sizeof(osvi);
#if defined(_MSC_VER)
#pragma warning(suppress : 4996)
#elif defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
    const BOOL ok = GetVersionExW(&osvi);
#if defined(__GNUC__) && !defined(_MSC_VER)
#pragma GCC diagnostic pop
#endif
    if (!ok) {
        // An unanswered query must not read as Windows 95 (platform id 0).
        r.platformId = kPlataformaNaoWindows;
        return r;
    }
    r.platformId = osvi.dwPlatformId;
    r.major = osvi.dwMajorVersion;
    r.minor = osvi.dwMinorVersion;
    r.build = osvi.dwBuildNumber;
#else
    r.platformId = kPlataformaNaoWindows;
    utsname u{};
    if (uname(&u) == 0) {
        // "6.1.0-18-amd64": the leading numbers are major, minor and build.
        const QString release = QString::fromLocal8Bit(u.release);
        std::uint32_t* parts[] = {&r.major, &r.minor, &r.build};
        qsizetype pos = 0;
        for (std::uint32_t* part : parts) {
            qsizetype end = pos;
            while (end < release.size() && release.at(end).isDigit())
                ++end;
            if (end == pos)
                break;
            *part = release.mid(pos, end - pos).toUInt();
            if (end >= release.size() || release.at(end) != QLatin1Char('.'))
                break;
            pos = end + 1;
        }
    }
#endif
    return r;
}

void TVersao::SetConsultaSO(std::function<OsVersionRecord()> consulta) { FConsultaSO = std::move(consulta); }

TVersaoSO TVersao::IdentificarSO()
{
    const OsVersionRecord r = FConsultaSO ? FConsultaSO() : ConsultaSOPadrao();
    const TVersaoSO so = tipoSO(r);
    FVersaoSODescricao = QStringLiteral("%1 vers\u00e3o %2.%3.%4").arg(nomeSO(so)).arg(r.major).arg(r.minor).arg(r.build);
    return so;
}

TVersaoSO TVersao::VersaoSO()
{
    // vsoNenhum reads as "not detected yet", so an unknown platform is asked again.
    if (FVersaoSO == vsoNenhum)
        FVersaoSO = IdentificarSO();
    return FVersaoSO;
}

QString TVersao::VersaoSODescricao()
{
    if (FVersaoSO == vsoNenhum)
        FVersaoSO = IdentificarSO();
    return FVersaoSODescricao;
}

void TVersao::ResetForTests()
{
    FRelease = 0;
    FReleaseDoExe = false;
    FVersaoExe.clear();
    FVersaoSO = vsoNenhum;
    FVersaoSODescricao.clear();
    FFase = ALFA;
    FTdef = 0;
    FConsultaSO = nullptr;
}

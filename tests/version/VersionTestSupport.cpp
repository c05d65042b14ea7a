#include "VersionTestSupport.h"

#ifdef _WIN32
#include <windows.h>

#include <vector>

namespace {

versionrecord::VersionQuad quad(DWORD ms, DWORD ls)
{
    return {HIWORD(ms), LOWORD(ms), HIWORD(ls), LOWORD(ls)};
}

}

std::optional<versionrecord::VersionInfo> lerVersoesDoArquivo(const QString& path)
{
    const std::wstring name = path.toStdWString();
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(name.c_str(), &handle);
    if (size == 0)
        return std::nullopt;
    std::vector<unsigned char> buffer(size);
    if (!GetFileVersionInfoW(name.c_str(), handle, size, buffer.data()))
        return std::nullopt;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(buffer.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) || !fixed)
        return std::nullopt;
    versionrecord::VersionInfo info;
    info.file = quad(fixed->dwFileVersionMS, fixed->dwFileVersionLS);
    info.product = quad(fixed->dwProductVersionMS, fixed->dwProductVersionLS);
    wchar_t* text = nullptr;
    if (VerQueryValueW(buffer.data(), L"\\StringFileInfo\\041604b0\\ProductVersion", reinterpret_cast<void**>(&text), &length) && text)
        info.productText = QString::fromWCharArray(text);
    return info;
}

qsizetype inicioInfoFixa(const QByteArray& bytes)
{
    // VS_FIXEDFILEINFO begins with its signature, 0xFEEF04BD little-endian.
    return bytes.indexOf(QByteArray("\xBD\x04\xEF\xFE", 4));
}

#else

std::optional<versionrecord::VersionInfo> lerVersoesDoArquivo(const QString& path)
{
    return versionrecord::readFile(path);
}

qsizetype inicioInfoFixa(const QByteArray& bytes)
{
    const qsizetype at = bytes.indexOf(versionrecord::marker());
    return at < 0 ? -1 : at + versionrecord::kMarkerSize;
}

#endif

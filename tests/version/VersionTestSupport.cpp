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
    // In the version resource, after its key "VS_VERSION_INFO" (UTF-16), the
    // VS_FIXEDFILEINFO begins with its signature 0xFEEF04BD, little-endian. The
    // resources come last in the file; the key and the number also lie in this
    // program's own data before them.
    const QString key = QStringLiteral("VS_VERSION_INFO");
    const qsizetype at = bytes.lastIndexOf(QByteArray(reinterpret_cast<const char*>(key.utf16()), key.size() * 2));
    return at < 0 ? -1 : bytes.indexOf(QByteArray("\xBD\x04\xEF\xFE", 4), at);
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

// What the Windows build puts into the program's executable and what TVersao then
// reads back: the version resource and the manifest (Windows build only).
#include "VersionTestSupport.h"

#include "ExePath.h"
#include "TestSupport.h"

#include <QProcess>

#include <windows.h>

#include <map>
#include <vector>

namespace {

QString q(const char* s) { return QString::fromUtf8(s); }

const QString kPrograma = q(FTPCALDORIA_EXE);

// The texts of the version resource's block in Portuguese (Brazil), Unicode.
std::map<QString, QString> textosDoRecurso(const QString& path)
{
    std::map<QString, QString> out;
    const std::wstring name = path.toStdWString();
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(name.c_str(), &handle);
    std::vector<unsigned char> buffer(size);
    if (size == 0 || !GetFileVersionInfoW(name.c_str(), handle, size, buffer.data()))
        return out;
    for (const char* key : {"FileDescription", "FileVersion", "ProductName", "ProductVersion", "OriginalFilename"}) {
        const std::wstring query = L"\\StringFileInfo\\041604b0\\" + QString::fromLatin1(key).toStdWString();
        wchar_t* text = nullptr;
        UINT length = 0;
        if (VerQueryValueW(buffer.data(), query.c_str(), reinterpret_cast<void**>(&text), &length) && text)
            out[QString::fromLatin1(key)] = QString::fromWCharArray(text);
    }
    return out;
}

// What the system says of itself without any compatibility shim.
OSVERSIONINFOW versaoReal()
{
    OSVERSIONINFOW v{};
    v.dwOSVersionInfoSize = sizeof v;
    using RtlGetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);
    const auto rtl = reinterpret_cast<RtlGetVersion>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
    if (rtl)
        rtl(&v);
    return v;
}

}

TEST(RecursoWindows, TheProgramsVersionResource)
{
    const auto versoes = lerVersoesDoArquivo(kPrograma);
    ASSERT_TRUE(versoes.has_value());
    EXPECT_EQ(versoes->file, (versionrecord::VersionQuad{1, 0, 10, 1}));
    EXPECT_EQ(versoes->product, (versionrecord::VersionQuad{1, 0, 0, 0}));

    const auto textos = textosDoRecurso(kPrograma);
    EXPECT_EQ(textos.at(q("FileDescription")), q("Utilitário FTP Caldoria"));
    EXPECT_EQ(textos.at(q("FileVersion")), q("1.0.10.1"));
    EXPECT_EQ(textos.at(q("ProductName")), q("FTPCaldoria"));
    EXPECT_EQ(textos.at(q("ProductVersion")), q("1.0"));
    EXPECT_EQ(textos.at(q("OriginalFilename")), q("FTPCaldoria.exe"));
}

TEST_F(VersaoTest, TheProgramsVersionThroughTVersao)
{
    EXPECT_EQ(TVersao::GetVersion(q(VERSION_FIXTURE_PLAIN)), q("0.0.0.0"));
    TVersao::SetFase(RELEASE_CANDIDATE);
    EXPECT_EQ(TVersao::GetFullVersion(kPrograma), q("1.0.10.1/RC"));
}

// With the manifest's compatibility list, GetVersionExW tells the system's true
// version; without it, Windows 8.1 and later say 6.2 (Wine does the same).
TEST_F(VersaoTest, WithTheManifestTheOsTellsItsTrueVersion)
{
    const OSVERSIONINFOW real = versaoReal();
    ASSERT_EQ(real.dwPlatformId, 2u);
    const OsVersionRecord r = TVersao::ConsultaSOPadrao();
    EXPECT_EQ(r.platformId, 2u);
    EXPECT_EQ(r.major, real.dwMajorVersion);
    EXPECT_EQ(r.minor, real.dwMinorVersion);
    EXPECT_EQ(r.build, real.dwBuildNumber);
    const QString descricao = TVersao::VersaoSODescricao();
    EXPECT_TRUE(descricao.endsWith(QStringLiteral(" versão %1.%2.%3").arg(real.dwMajorVersion).arg(real.dwMinorVersion).arg(real.dwBuildNumber)))
        << descricao.toStdString();
    if (real.dwMajorVersion == 10) {
        EXPECT_TRUE(descricao.startsWith(q("Windows XP versão 10.0."))) << descricao.toStdString();
    }
}

TEST(RecursoWindows, WithoutTheManifestWindows10SaysItIs62)
{
    const OSVERSIONINFOW real = versaoReal();
    if (real.dwMajorVersion < 10)
        GTEST_SKIP() << "the system is older than Windows 8.1";
    QProcess p;
    p.start(q(VERSION_FIXTURE_PLAIN), {});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_TRUE(p.readAllStandardOutput().contains("SO=Windows 8 versão 6.2."));
}

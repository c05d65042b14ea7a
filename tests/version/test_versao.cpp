#include "VersionTestSupport.h"

#include "ExePath.h"
#include "TestSupport.h"
#include "VersionRecord.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <map>

namespace {

QString q(const char* s) { return QString::fromUtf8(s); }

const QString kVersioned = q(VERSION_FIXTURE_VERSIONED);
const QString kPlain = q(VERSION_FIXTURE_PLAIN);

std::map<QString, QString> runFixture(const QString& program)
{
    QProcess p;
    p.start(program, {});
    EXPECT_TRUE(p.waitForFinished(30000)) << program.toStdString();
    EXPECT_EQ(p.exitCode(), 0);
    std::map<QString, QString> values;
    for (const QByteArray& line : p.readAllStandardOutput().split('\n')) {
        const qsizetype eq = line.indexOf('=');
        if (eq > 0)
            values[QString::fromUtf8(line.left(eq))] = QString::fromUtf8(line.mid(eq + 1)).trimmed();
    }
    return values;
}

// A copy of this test program whose record says release 77.
QString copyWithRelease77(const QTemporaryDir& dir)
{
    QByteArray bytes = testsupport::readFile(exepath::executablePath());
    const qsizetype at = inicioInfoFixa(bytes);
    EXPECT_GE(at, 0);
    const qsizetype ls = at + 12; // dwFileVersionLS
    const quint32 value = (77u << 16) | 1u;
    for (int i = 0; i < 4; ++i)
        bytes[ls + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    const QString path = dir.filePath(q("patched.bin"));
    testsupport::writeFile(path, bytes);
    return path;
}

}

TEST_F(VersaoTest, ExecutableVersionWithPhaseAndNumber)
{
    TVersao::SetFase(RELEASE_CANDIDATE);
    EXPECT_EQ(TVersao::GetVersaoExe(), q("1.0.10.1/RC"));
    EXPECT_EQ(TVersao::UltimaVersaoExe(), q("1.0.10.1/RC"));
    EXPECT_EQ(TVersao::GetReleaseExe(), 10);

    TVersao::SeTdef(37);
    EXPECT_EQ(TVersao::GetVersaoExe(), q("1.0.10.1/RC/37"));
    TVersao::SeTdef(4294967295u);
    EXPECT_EQ(TVersao::GetVersaoExe(), q("1.0.10.1/RC/4294967295"));
    TVersao::SeTdef(0);
    EXPECT_EQ(TVersao::GetVersaoExe(), q("1.0.10.1/RC"));
}

TEST_F(VersaoTest, PhaseMarks)
{
    EXPECT_EQ(TVersao::GetFase(), ALFA);
    EXPECT_EQ(TVersao::GetVersaoExe(), q("1.0.10.1/A")); // never set

    const std::pair<TVersaoFase, const char*> rows[] = {
        {BETA, "1.0.10.1/B"}, {RELEASE_CANDIDATE, "1.0.10.1/RC"}, {RELEASE, "1.0.10.1/R"}, {ALFA, "1.0.10.1/A"}};
    for (const auto& [fase, texto] : rows) {
        SCOPED_TRACE(texto);
        TVersao::SetFase(fase);
        EXPECT_EQ(TVersao::GetFase(), fase);
        EXPECT_EQ(TVersao::GetVersaoExe(), q(texto));
        EXPECT_EQ(TVersao::GetFullVersion(exepath::executablePath()), q(texto));
    }
}

TEST_F(VersaoTest, TheFileVersionIsReportedNotTheProductVersion)
{
    const auto own = lerVersoesDoArquivo(exepath::executablePath());
    ASSERT_TRUE(own.has_value());
    EXPECT_EQ(own->file, (versionrecord::VersionQuad{1, 0, 10, 1}));
    EXPECT_EQ(own->product, (versionrecord::VersionQuad{1, 0, 0, 0}));
    EXPECT_EQ(own->productText, q("1.0"));

    const auto fixture = lerVersoesDoArquivo(kVersioned);
    ASSERT_TRUE(fixture.has_value());
    EXPECT_EQ(fixture->file, (versionrecord::VersionQuad{2, 3, 0, 7}));
    EXPECT_EQ(fixture->product, (versionrecord::VersionQuad{9, 9, 0, 0}));
    EXPECT_EQ(fixture->productText, q("9.9"));

    EXPECT_EQ(TVersao::GetVersion(kVersioned), q("2.3.0.7"));
    TVersao::SetFase(BETA);
    EXPECT_EQ(TVersao::GetFullVersion(kVersioned), q("2.3.0.7/B"));
}

TEST_F(VersaoTest, FilesWithoutARecordGiveZeros)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString texto = dir.filePath(q("leia-me.txt"));
    testsupport::writeFile(texto, QByteArray(4096, 'x'));
    const QString vazio = dir.filePath(q("vazio.bin"));
    testsupport::writeFile(vazio, QByteArray());
    // The marker alone, too close to the end for a whole record.
    const QString cortado = dir.filePath(q("cortado.bin"));
    testsupport::writeFile(cortado, QByteArray(64, '\0') + versionrecord::marker() + QByteArray(40, '\0'));

    TVersao::SetFase(RELEASE_CANDIDATE);
    TVersao::SeTdef(37);
    const QString rows[] = {texto, vazio, cortado, dir.filePath(q("missing.exe")), dir.path(), kPlain, QString()};
    for (const QString& path : rows) {
        SCOPED_TRACE(path.toStdString());
        EXPECT_EQ(TVersao::GetVersion(path), q("0.0.0.0"));
        EXPECT_EQ(TVersao::GetFullVersion(path), q("0.0.0.0"));
    }
}

TEST_F(VersaoTest, AFailedReadKeepsTheRelease)
{
    TVersao::SetFase(RELEASE_CANDIDATE);
    EXPECT_EQ(TVersao::GetVersaoExe(), q("1.0.10.1/RC"));
    TVersao::SetFase(BETA);
    EXPECT_EQ(TVersao::GetVersion(kPlain), q("0.0.0.0"));
    EXPECT_EQ(TVersao::GetReleaseExe(), 10);
    // Still the text of the first read: the release was kept, so nothing was read again.
    EXPECT_EQ(TVersao::UltimaVersaoExe(), q("1.0.10.1/RC"));
}

TEST_F(VersaoTest, ReleaseExeIsTheExecutablesOwnWhateverWasReadLast)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString patched = copyWithRelease77(dir);

    EXPECT_EQ(TVersao::GetReleaseExe(), 10);
    EXPECT_EQ(TVersao::GetVersion(patched), q("1.0.77.1"));
    EXPECT_EQ(TVersao::GetReleaseExe(), 10);
    EXPECT_EQ(TVersao::GetVersion(kVersioned), q("2.3.0.7"));
    EXPECT_EQ(TVersao::GetReleaseExe(), 10);
}

TEST(VersaoFixture, ReleaseZeroIsReadOnEveryCall)
{
    auto values = runFixture(kVersioned);
    EXPECT_EQ(values[q("RELEASE1")], q("0"));
    EXPECT_EQ(values[q("LIDO1")], q("2.3.0.7/A"));
    EXPECT_EQ(values[q("RELEASE2")], q("0"));
    EXPECT_EQ(values[q("LIDO2")], q("2.3.0.7/B")); // read again, with the new phase
    EXPECT_EQ(values[q("VERSAOEXE")], q("2.3.0.7/RC/37"));
}

TEST(VersaoFixture, ExecutableWithoutARecord)
{
    auto values = runFixture(kPlain);
    EXPECT_EQ(values[q("RELEASE1")], q("0"));
    EXPECT_EQ(values[q("LIDO1")], q("0.0.0.0"));
    EXPECT_EQ(values[q("RELEASE2")], q("0"));
    EXPECT_EQ(values[q("VERSAOEXE")], q("0.0.0.0"));
}

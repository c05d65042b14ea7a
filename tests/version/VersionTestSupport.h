#pragma once
#include "TestSupport.h"
#include "uTVersao.h"

#include "VersionRecord.h"

#include <QString>

#include <gtest/gtest.h>

#include <optional>
#include <ostream>

// The versions a file carries, read the platform's way: the version resource on
// Windows, our embedded record elsewhere.
std::optional<versionrecord::VersionInfo> lerVersoesDoArquivo(const QString& path);

// Where the fixed version information (laid out as VS_FIXEDFILEINFO) of an
// executable's bytes starts, or -1.
qsizetype inicioInfoFixa(const QByteArray& bytes);


// Every test starts from the state of a fresh process.
class VersaoTest : public ::testing::Test {
protected:
    void SetUp() override { TVersao::ResetForTests(); }
    void TearDown() override { TVersao::ResetForTests(); }
};

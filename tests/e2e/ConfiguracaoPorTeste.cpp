// Each test starts with no settings of the program's. On Linux every run gets a
// settings folder of its test's own (XDG_CONFIG_HOME, Execucao.h); Windows keeps
// them under the user's AppData whatever the environment says, so there the
// program's settings and its memory of servers seen with TLS are removed before
// each test: the ports of the test servers come back, and a memory left by an
// earlier test would make a later one's plain server look like an interception.
#ifdef _WIN32
#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include <gtest/gtest.h>

namespace {

class ConfiguracaoPorTeste : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override
    {
        const QString arquivo = QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Quintara"), QStringLiteral("FTPCaldoria")).fileName();
        const QDir pasta = QFileInfo(arquivo).dir();
        for (const QString& nome : pasta.entryList({QStringLiteral("FTPCaldoria*")}, QDir::Files))
            QFile::remove(pasta.filePath(nome));
    }
};

const bool registrada = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new ConfiguracaoPorTeste);
    return true;
}();

}
#endif

#pragma once
// Folders laid out like a system's installation, for the discovery tests.
#include "TestSupport.h"

#include <QDir>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <ostream>


namespace discoverytest {

// A fresh folder that plays the installation folder; paths end with '/'.
class Instalacao {
public:
    Instalacao() { EXPECT_TRUE(m_dir.isValid()); }
    QString pasta() const { return m_dir.path() + QLatin1Char('/'); }
    QString executavel() const { return pasta() + QStringLiteral("FTPCaldoria.exe"); }
    QString escrever(const QString& nome, const QByteArray& conteudo) const
    {
        const QString path = pasta() + nome;
        testsupport::writeFile(path, conteudo);
        return path;
    }
    QString criarPasta(const QString& nome) const
    {
        QDir(m_dir.path()).mkpath(nome);
        return pasta() + nome + QLatin1Char('/');
    }

private:
    QTemporaryDir m_dir;
};

}

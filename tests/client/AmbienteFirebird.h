#pragma once
// One Firebird server for the whole test program, and beside it one fake
// installation per case family: a folder with the installed system's INI file,
// a path for the program's executable and, where the case needs one, the
// system's database at the path the system's connection class derives.
#include "FirebirdServer.h"

#include <QString>

#include <gtest/gtest.h>

#include <map>
#include <memory>

struct Instalacao {
    QString executavel; // fake path of our program, inside the installation folder
    QString banco;      // entry 0 of the system's file list; empty when no system
};

class AmbienteFirebird : public ::testing::Environment {
public:
    void SetUp() override;
    void TearDown() override;

    static testsupport::FirebirdServer& servidor();
    static const Instalacao& instalacao(const QString& nome);
    // The year the installations are built with.
    static int ano() { return 2017; }
};

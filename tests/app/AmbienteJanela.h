#pragma once
// What the window's operation tests share: one real Firebird server with a KORV
// installation whose client is São José do Rio Preto/SP, and per test a real FTP
// server on loopback with the window pointed at it.
#include "AcessoTeste.h"
#include "FirebirdServer.h"
#include "FtpServers.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

// The client folder that the KORV installation's database gives.
inline const QString kPastaCliente = QStringLiteral("/gCALDORIA/Cidades/SAO_JOSE_DO_RIO_PRETO-SP/PM/KORV");
inline const QString kPastaCorrompida = QStringLiteral("/gCALDORIA/Cidades/_corrompida");

// A folder holding an installed KORV system whose database runs on the test's
// Firebird server (started on first use, stopped at exit).
QString instalacaoKorv();
// A folder holding nothing: no system is identified, so the window works in
// corrupted-base mode.
QString instalacaoVazia();

// Points the window's FTP endpoints at the given loopback ports.
void apontarFtp(int portaPrincipal, int portaAlternativa);
void apontarFtp(int porta);

// Creates file (and its folders) below root with content.
void criarArquivo(const QString& root, const QString& relative, const QByteArray& content);

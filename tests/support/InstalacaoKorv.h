#pragma once
// An installed KORV system for programs that drive the real window (benchmarks,
// screenshots): korv.ini in a folder, naming a client database on a private
// Firebird server whose client is São José do Rio Preto/SP, so the client folder
// is /gCALDORIA/Cidades/SAO_JOSE_DO_RIO_PRETO-SP/PM/KORV.
#include "FirebirdServer.h"

#include <QString>

namespace testsupport {

inline const QString kPastaClienteKorv = QStringLiteral("/gCALDORIA/Cidades/SAO_JOSE_DO_RIO_PRETO-SP/PM/KORV");

// Writes korv.ini into folder and creates the database it names for that year.
// A program that lies in folder finds the installation.
void criarInstalacaoKorv(FirebirdServer& firebird, const QString& folder, int ano);

}

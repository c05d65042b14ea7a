#pragma once
// The statement that reads the client's city, state and entity type from each
// system's own database.
#include "uValida_Chave.h"

#include <QString>

// The SELECT for the system, yielding the columns "cidade", "uf" and "tipo" (an
// index into TiposEntidade); empty for a system without a client query.
QString MontarSQLCliente(TQuintaraSistema sistema);

// The entity-type name of a "tipo" value; "OUTROS" for a value outside the table,
// so the result always serves as a folder level.
QString NomeTipoEntidade(int tipo);

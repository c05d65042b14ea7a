#pragma once
// The maker's twenty systems, in catalogue order.
#include <QString>

enum TQuintaraSistema : int {
    qncNenhum = 0,
    qncKORV,
    qncTEL,
    qncMUR,
    qncVAD,
    qncLOB,
    qncNIX,
    qncDOR,
    qncFEL,
    qncGAW,
    qncHUSK,
    qncJEB,
    qncPYR,
    qncQAM,
    qncRUV,
    qncWEK,
    qncZET,
    qncMurWeb_DunWeb,
    qncYOL,
    qncZIB,
};

constexpr int kQuintaraSistemaCount = 20;

// Short name of a system ("Nenhum", "KORV", "TEL", ...); empty for a value outside the catalogue.
QString SiglasSistema(TQuintaraSistema sistema);

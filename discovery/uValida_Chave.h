#pragma once
// The maker's twenty systems, in catalogue order.
#include <QString>
#include <QStringView>

#include <array>

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

// One catalogue row. Only the short name and the INI base name are read by the
// program; the other nine columns travel along for the maker's other tools.
struct TLinhaCatalogo {
    QStringView SiglasSistema;
    QStringView ArquivoIni; // base name, without folder and without ".ini"; empty: never recognised
    QStringView TabelaTabdef;
    QStringView CampoTabdef;
    QStringView InstaladorTabdef;
    QStringView ArquivoXml;
    QStringView ServidorExe;
    QStringView SiglaSite;
    QStringView PrefixoVersaoTabdef;
    QStringView ConexaoTABDEFOnLine;
    QStringView ConexaoTABDEFOffLine;
};

// Indexed by TQuintaraSistema.
extern const std::array<TLinhaCatalogo, kQuintaraSistemaCount> CatalogoSistemas;

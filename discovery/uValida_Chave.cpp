#include "uValida_Chave.h"

const std::array<TLinhaCatalogo, kQuintaraSistemaCount> CatalogoSistemas = {{
    {u"Nenhum", u"", {}, {}, {}, {}, {}, {}, {}, {}, {}},
    {u"KORV", u"korv", {}, {}, {}, {}, {}, {}, {}, {}, {}},
    {u"TEL", u"telcon", u"SCRIPTS", u"CODIGO", u"TELDEF7.exe", u"TELDOW.xml",
     u"\\\\arquivos.quintara.lan\\instaladores\\TEL\\", u"TEL", u"7.0.3.",
     u"10.20.0.15/3050:/srv/firebird/tabdef/TELDEF.FDB",
     u"localhost/3055:C:\\Quintara\\TEL_7\\TEL_DADOS\\TELDEF.FDB"},
    {u"MUR", u"mur", {}, {}, {}, {}, {}, {}, {}, {}, {}},
    {u"VAD", u"QUINTARA_VAD_SERVER", {}, {}, {}, {}, {}, {}, {}, {}, {}},
    {u"LOB", u"QUINTARA_LOB_SERVER", {}, {}, {}, {}, {}, {}, {}, {}, {}},
    // NIX keeps its settings in a file named after VAD, VAD's own being QUINTARA_VAD_SERVER.
    {u"NIX", u"VAD", {}, {}, {}, {}, {}, {}, {}, {}, {}},
    {u"DOR", u"", {}, {}, {}, {}, {}, {}, {}, {}, {}},
    {u"FEL", u"", {}, {}, {}, {}, {}, {}, {}, {}, {}},
    {u"GAW", u"", {}, {}, {}, {}, {}, {}, {}, {}, {}},
    {u"HUSK", u"husk", {}, {}, {}, {}, {}, {}, {}, {}, {}},
    {u"JEB", u"JEBIN", {}, {}, {}, {}, {}, u"JEB", {}, {}, {}},
    {u"PYR", u"QUINTARA_PYR_SERVER", {}, {}, {}, u"PYRDOW.xml",
     u"\\\\arquivos.quintara.lan\\instaladores\\PYR\\", u"PYR", {}, {}, {}},
    {u"QAM", u"", {}, {}, {}, {}, {}, {}, {}, {}, {}},
    {u"RUV", u"QUINTARA_RUVD_SERVER", {}, {}, {}, {}, {}, {}, {}, {}, {}},
    {u"WEK", u"", {}, {}, {}, {}, {}, {}, {}, {}, {}},
    {u"ZET", u"", {}, {}, {}, {}, {}, {}, {}, {}, {}},
    {u"MurWeb e DunWeb", u"", {}, {}, {}, {}, {}, {}, {}, {}, {}},
    {u"YOL", u"yol", {}, {}, {}, {}, {}, {}, {}, {}, {}},
    {u"QUIZIB", u"quizib", {}, {}, {}, {}, {}, {}, {}, {}, {}},
}};

QString SiglasSistema(TQuintaraSistema sistema)
{
    const int row = static_cast<int>(sistema);
    if (row < 0 || row >= kQuintaraSistemaCount)
        return {};
    return CatalogoSistemas[static_cast<std::size_t>(row)].SiglasSistema.toString();
}

#include "ConsultaCliente.h"

#include "uTFtpQuintaraUtil.h"

namespace {

// The texts go to the installed systems' databases exactly as those systems have
// always sent them, blanks included.
const char16_t* const SqlKORV =
    u"select c.cid as cidade, c.est as uf, case e.TIPO   when 1 then 1  when 2 then 2  when 3 then 1"
    u"  when 4 then 17  when 5 then 18  when 6 then 7  when 7 then 13  when 8 then 3  when 9 then 19"
    u"  when 11 then 20  else 0 end as tipo from cadcli c left join TABEMPRESA e on e.EMPRESA = c.EMPRESA";

const char16_t* const SqlTEL =
    u"select first 1 e.cidade, e.uf, case e.tipo   when 1 then 1  when 2 then 2  when 3 then 3"
    u"  when 4 then 4  when 5 then 5  when 6 then 6  when 7 then 7  when 8 then 8  when 9 then 9"
    u"  when 10 then 10  when 11 then 11  when 14 then 12  when 19 then 13  when 23 then 14"
    u"  when 24 then 15  when 25 then 16  else 0 end as tipo from chave c left join empresa e"
    u" on e.identificador = c.cnpj order by e.codigo";

const char16_t* const SqlMUR =
    u"select e.CIDADE_EMP as cidade, e.UF_EMP as uf, case when e.TPAGUA_EMP = '3' then 4 else 1 end"
    u" as tipo from GR_CAD_EMPRESA e";

const char16_t* const SqlVAD =
    u"select municipio as cidade, estado as uf, cast(5 as integer) as tipo from dadosmunicipios";

const char16_t* const SqlLOB =
    u"select municipio as cidade, estado as uf, cast(21 as integer) as tipo from cadcli";

const char16_t* const SqlRUV =
    u"select municipio as cidade, estado as uf, cast(6 as integer) as tipo from cliente";

}

QString MontarSQLCliente(TQuintaraSistema sistema)
{
    switch (sistema) {
    case qncKORV:
        return QString::fromUtf16(SqlKORV);
    case qncTEL:
        return QString::fromUtf16(SqlTEL);
    case qncMUR:
        return QString::fromUtf16(SqlMUR);
    case qncVAD:
        return QString::fromUtf16(SqlVAD);
    case qncLOB:
        return QString::fromUtf16(SqlLOB);
    case qncRUV:
        return QString::fromUtf16(SqlRUV);
    default:
        return {};
    }
}

QString NomeTipoEntidade(int tipo)
{
    if (tipo < 0 || tipo >= static_cast<int>(TiposEntidade.size()))
        return TiposEntidade[0].toString();
    return TiposEntidade[static_cast<std::size_t>(tipo)].toString();
}

// INI files in whatever encoding and shape another program left them.
#include "IniFile.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const ini::Sections secoes = ini::parse(bytes);
    for (const char* secao : {"KORV", "korv", "SERVIDOR", "TEL", ""})
        for (const char* chave : {"Servidor", "PORTA", "Caminho_Base_Dados", "Ano", ""})
            if (const QString* valor = ini::find(secoes, QLatin1String(secao), QLatin1String(chave)); valor && valor->size() > 2047)
                __builtin_trap();
    return 0;
}

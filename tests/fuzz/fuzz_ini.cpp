// INI files in whatever encoding and shape another program left them: reading
// gives values of bounded length and never fails.
#include "IniFile.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const ini::Sections secoes = ini::parse(bytes);
    for (const ini::Section& s : secoes)
        for (const ini::Key& k : s.keys)
            if (k.name.isEmpty() || k.value.size() > ini::kMaxValueLength)
                __builtin_trap();
    const IniFile arquivo(secoes);
    for (const char* secao : {"KORV", "korv", "SERVIDOR", "TEL", ""})
        for (const char* chave : {"Servidor", "PORTA", "Caminho_Base_Dados", "Ano", ""}) {
            const QString* valor = ini::find(secoes, QLatin1String(secao), QLatin1String(chave));
            if (valor && arquivo.ReadString(QLatin1String(secao), QLatin1String(chave), {}) != *valor)
                __builtin_trap();
            arquivo.ReadInteger(QLatin1String(secao), QLatin1String(chave), 3050);
        }
    return 0;
}

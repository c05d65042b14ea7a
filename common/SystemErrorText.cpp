#include "SystemErrorText.h"

#ifdef _WIN32
#include <winsock2.h>
#include <windows.h>
#else
#include <cerrno>
#include <system_error>
#endif

namespace {

struct Known {
    int code;
    const char16_t* text;
};

#ifdef _WIN32
const Known kKnown[] = {
    {WSAECONNREFUSED, u"conexão recusada"},
    {WSAETIMEDOUT, u"o tempo de espera esgotou"},
    {WSAECONNRESET, u"a conexão foi reiniciada pelo outro lado"},
    {WSAECONNABORTED, u"a conexão foi interrompida"},
    {WSAEHOSTUNREACH, u"o servidor está inalcançável"},
    {WSAENETUNREACH, u"a rede está inalcançável"},
    {WSAENETDOWN, u"a rede está fora do ar"},
    {WSAEADDRNOTAVAIL, u"endereço indisponível"},
    {ERROR_FILE_NOT_FOUND, u"arquivo não encontrado"},
    {ERROR_PATH_NOT_FOUND, u"pasta não encontrada"},
    {ERROR_ACCESS_DENIED, u"acesso negado"},
    {ERROR_SHARING_VIOLATION, u"o arquivo está em uso por outro programa"},
    {ERROR_LOCK_VIOLATION, u"o arquivo está bloqueado por outro programa"},
    {ERROR_DISK_FULL, u"não há espaço no disco"},
    {ERROR_HANDLE_DISK_FULL, u"não há espaço no disco"},
    {ERROR_WRITE_PROTECT, u"o disco está protegido contra gravação"},
};

QString systemsOwnText(int code)
{
    wchar_t* text = nullptr;
    const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                     static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    QString message = n ? QString::fromWCharArray(text, static_cast<int>(n)).trimmed() : QString();
    if (text)
        ::LocalFree(text);
    return message;
}
#else
const Known kKnown[] = {
    {ECONNREFUSED, u"conexão recusada"},
    {ETIMEDOUT, u"o tempo de espera esgotou"},
    {ECONNRESET, u"a conexão foi reiniciada pelo outro lado"},
    {ECONNABORTED, u"a conexão foi interrompida"},
    {EPIPE, u"a conexão foi fechada pelo outro lado"},
    {EHOSTUNREACH, u"o servidor está inalcançável"},
    {ENETUNREACH, u"a rede está inalcançável"},
    {ENETDOWN, u"a rede está fora do ar"},
    {EADDRNOTAVAIL, u"endereço indisponível"},
    {ENOENT, u"arquivo ou pasta não encontrado"},
    {EACCES, u"permissão negada"},
    {EPERM, u"operação não permitida"},
    {EISDIR, u"é uma pasta"},
    {ENOTDIR, u"não é uma pasta"},
    {EEXIST, u"o arquivo já existe"},
    {EBUSY, u"o recurso está ocupado"},
    {ENOSPC, u"não há espaço no disco"},
    {EDQUOT, u"a cota de disco se esgotou"},
    {EROFS, u"o sistema de arquivos é somente leitura"},
    {EIO, u"erro de leitura ou gravação no dispositivo"},
    {EMFILE, u"arquivos abertos demais"},
    {ENAMETOOLONG, u"nome longo demais"},
    {ENXIO, u"dispositivo ou endereço inexistente"},
};

QString systemsOwnText(int code)
{
    return QString::fromStdString(std::system_category().message(code)).trimmed();
}
#endif

// Qt's own words for these codes, which it does not translate.
const Known kQtTexts[] = {
#ifdef _WIN32
    {ERROR_ACCESS_DENIED, u"Permission denied"},
    {ERROR_FILE_NOT_FOUND, u"No such file or directory"},
    {ERROR_DISK_FULL, u"No space left on device"},
#else
    {EACCES, u"Permission denied"},
    {ENOENT, u"No such file or directory"},
    {ENOSPC, u"No space left on device"},
    {EMFILE, u"Too many open files"},
#endif
};

QString known(int code)
{
    for (const Known& k : kKnown)
        if (k.code == code)
            return QString::fromUtf16(k.text);
    return {};
}

}

QString systemErrorText(int code)
{
    const QString ours = known(code);
    if (!ours.isEmpty())
        return ours;
    const QString own = systemsOwnText(code);
    if (own.isEmpty())
        return QStringLiteral("erro %1 do sistema").arg(code);
    return QStringLiteral("erro %1 do sistema: \"%2\"").arg(code).arg(own);
}

QString systemErrorText(const QString& systemsText)
{
    const QString text = systemsText.trimmed();
    for (const Known& k : kQtTexts)
        if (text == QString::fromUtf16(k.text))
            return known(k.code);
    for (const Known& k : kKnown)
        if (text == systemsOwnText(k.code))
            return QString::fromUtf16(k.text);
    return QStringLiteral("\"%1\"").arg(text);
}

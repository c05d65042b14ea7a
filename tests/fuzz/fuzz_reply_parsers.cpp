// What the client reads out of FEAT, PASV, EPSV, PWD and SIZE replies.
#include "FtpReplyParsers.h"

#include <QString>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    ftp::parseFeatReply(text);
    if (auto pasv = ftp::parsePasvReply(text); pasv && pasv->port == 0)
        __builtin_trap(); // port 0 is no place to connect to
    if (auto epsv = ftp::parseEpsvReply(text); epsv && *epsv == 0)
        __builtin_trap();
    if (auto pwd = ftp::parsePwdReply(text); pwd && pwd->size() > text.size())
        __builtin_trap();
    if (auto tamanho = ftp::parseSizeReply(text); tamanho && *tamanho < 0)
        __builtin_trap();
    return 0;
}

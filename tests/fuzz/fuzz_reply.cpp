// The reply reader, fed the same bytes in pieces of a size the first byte chooses
// and then all at once: whatever arrives, it gives replies or throws our error,
// nothing else, and how the bytes were cut up never changes what it reads.
#include "FtpReply.h"
#include "IdFTP.h"

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace {

struct Leitura {
    std::vector<std::pair<int, QString>> respostas;
    bool recusou = false;

    bool operator==(const Leitura&) const = default;
};

Leitura ler(const std::uint8_t* data, std::size_t size, std::size_t pedaco)
{
    Leitura l;
    ftp::FtpReplyReader reader;
    try {
        for (std::size_t i = 0; i < size; i += pedaco) {
            reader.append(reinterpret_cast<const char*>(data + i), std::min(pedaco, size - i));
            while (auto reply = reader.next()) {
                if (reply->code < 100 || reply->code > 599)
                    __builtin_trap();
                l.respostas.emplace_back(reply->code, reply->text);
            }
        }
    } catch (const EIdFTPError&) {
        l.recusou = true;
    }
    return l;
}

}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t pedaco = 1 + data[0] % 64;
    if (ler(data + 1, size - 1, pedaco) != ler(data + 1, size - 1, size))
        __builtin_trap();
    return 0;
}

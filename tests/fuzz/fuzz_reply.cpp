// The reply reader, fed the same bytes in pieces of every size the first byte
// chooses: whatever arrives, it gives replies or throws our error, nothing else.
#include "FtpReply.h"
#include "IdFTP.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t pedaco = 1 + data[0] % 64;
    ftp::FtpReplyReader reader;
    try {
        for (std::size_t i = 1; i < size; i += pedaco) {
            const std::size_t n = std::min(pedaco, size - i);
            reader.append(reinterpret_cast<const char*>(data + i), n);
            while (auto reply = reader.next()) {
                if (reply->code < 100 || reply->code > 999)
                    __builtin_trap();
            }
        }
    } catch (const EIdFTPError&) {
    }
    return 0;
}

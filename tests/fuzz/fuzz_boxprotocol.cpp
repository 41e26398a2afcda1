// libFuzzer target: any byte stream from the serial line, in any split, must give lines that keep
// the wire rules, and reading them must never misbehave.

#include "boxprotocol.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    // The first byte chooses where the stream is split between two reads.
    const std::size_t split = size > 0 ? data[0] % (size + 1) : 0;
    LineAssembler assembler;
    for (const std::string_view part : {bytes.substr(0, split), bytes.substr(split)}) {
        for (const std::string &line : assembler.Feed(part)) {
            if (line.size() > LineAssembler::MaxLine)
                std::abort();
            for (const char c : line)
                if (c < 0x20 || c > 0x7a || c == ';')
                    std::abort();
            const BoxReply reply = ParseReply(line);
            if (reply.count < 0 || reply.count > 6 || (reply.kind == BoxReply::Time && reply.count != 1))
                std::abort();
            (void)MicrosecondsToMs(reply.numbers[0]);
        }
        if (assembler.PendingLength() < 0 || assembler.PendingLength() > LineAssembler::MaxLine)
            std::abort();
    }
    return 0;
}

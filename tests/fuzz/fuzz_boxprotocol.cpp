// libFuzzer target: any byte stream from the serial line, in any split, must give lines that keep
// the wire rules, and exactly the lines of a time's shape and range become reaction times.

#include "boxprotocol.h"

#include <cstdlib>
#include <regex>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // A time reply, found without the parser: "t", blanks, digits, from 1 ms to 35 minutes.
    static const std::regex timeReply("t +0*([0-9]{1,10})");
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    const std::size_t split = size > 0 ? data[0] % (size + 1) : 0; // where the stream is split between two reads
    LineAssembler assembler;
    for (const std::string_view part : {bytes.substr(0, split), bytes.substr(split)}) {
        for (const std::string &line : assembler.Feed(part)) {
            std::smatch match;
            const long long us = std::regex_match(line, match, timeReply) ? std::stoll(match[1].str()) : 0;
            const bool isTime = us >= ShortestBoxTimeUs && us <= LongestBoxTimeUs;
            const BoxReply reply = ParseReply(line);
            if (line.size() > LineAssembler::MaxLine || line.find_first_of(";\n\r") != std::string::npos
                || reply.count < 0 || reply.count > 6 || (reply.kind == BoxReply::Time) != isTime
                || (isTime && (reply.count != 1 || reply.numbers[0] != us || MicrosecondsToMs(reply.numbers[0]) < 1))
                || (!isTime && line[0] == 't' && reply.kind != BoxReply::BadTime))
                std::abort();
            for (const char c : line)
                if (c < 0x20 || c > 0x7a)
                    std::abort();
        }
        if (assembler.PendingLength() < 0 || assembler.PendingLength() > LineAssembler::MaxLine)
            std::abort();
    }
    return 0;
}

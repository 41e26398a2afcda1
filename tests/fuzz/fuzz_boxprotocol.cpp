// libFuzzer target: any byte stream from the serial line, in any split, must give lines that keep
// the wire rules, and exactly the lines of a time's shape and range become reaction times.

#include "boxprotocol.h"

#include <cstdlib>
#include <optional>
#include <regex>

namespace {

// The microseconds of a time reply ("t", blanks, digits, in the box's range), found without the
// parser; none for any other line.
std::optional<long long> TimeReply(const std::string &line)
{
    static const std::regex shape("t +0*([0-9]{1,10})");
    std::smatch match;
    if (!std::regex_match(line, match, shape))
        return std::nullopt;
    const long long us = std::stoll(match[1].str());
    if (us < ShortestBoxTimeUs || us > LongestBoxTimeUs)
        return std::nullopt;
    return us;
}

} // namespace

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
            if (reply.count < 0 || reply.count > 6)
                std::abort();
            const std::optional<long long> us = TimeReply(line);
            const bool isTime = reply.kind == BoxReply::Time;
            if (isTime != us.has_value() || (isTime && (reply.count != 1 || reply.numbers[0] != *us))
                || (!isTime && line.front() == 't' && reply.kind != BoxReply::BadTime))
                std::abort();
            if (isTime && MicrosecondsToMs(reply.numbers[0]) < 1)
                std::abort();
        }
        if (assembler.PendingLength() < 0 || assembler.PendingLength() > LineAssembler::MaxLine)
            std::abort();
    }
    return 0;
}

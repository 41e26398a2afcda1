#include "boxprotocol.h"

#include <algorithm>
#include <limits>

std::vector<std::string> LineAssembler::Feed(std::string_view bytes)
{
    std::vector<std::string> lines;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == ';' || byte == '\n') {
            lines.emplace_back(lineBuffer.data(), static_cast<std::size_t>(lineLength));
            lineLength = 0;
        } else if (byte >= 0x20 && byte <= 0x7a) {
            lineBuffer[static_cast<std::size_t>(lineLength++)] = c;
            if (lineLength > MaxLine)
                lineLength = 0;
        }
        // Carriage returns, other control bytes, "{" to DEL and bytes from 0x80 are dropped.
    }
    return lines;
}

bool ReadNumber(std::string_view text, std::size_t &pos, std::int32_t &value)
{
    std::size_t i = pos;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    if (i >= text.size() || text[i] < '0' || text[i] > '9')
        return false;

    // Accumulated wide and held just past the 32-bit range, so that no run of digits can overflow.
    constexpr std::int64_t limit = std::int64_t {std::numeric_limits<std::int32_t>::max()} + 1;
    std::int64_t magnitude = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > limit)
            magnitude = limit;
    }
    const std::int64_t signedValue = negative ? -magnitude : magnitude;
    if (signedValue > std::numeric_limits<std::int32_t>::max())
        value = std::numeric_limits<std::int32_t>::max();
    else
        value = static_cast<std::int32_t>(signedValue); // -limit is exactly the 32-bit minimum
    pos = i;
    return true;
}

namespace {

// The code, one or more blanks, digits and nothing else, from lowest to highest.
bool ReadTime(std::string_view line, std::int32_t &us, std::int32_t lowest, std::int32_t highest)
{
    std::size_t i = 1;
    while (i < line.size() && line[i] == ' ')
        ++i;
    if (i == 1 || i == line.size())
        return false;
    std::int64_t value = 0;
    for (; i < line.size(); ++i) {
        if (line[i] < '0' || line[i] > '9')
            return false;
        value = std::min<std::int64_t>(value * 10 + (line[i] - '0'), std::int64_t {highest} + 1);
    }
    if (value < lowest || value > highest)
        return false;
    us = static_cast<std::int32_t>(value);
    return true;
}

} // namespace

BoxReply ParseReply(std::string_view line)
{
    BoxReply reply;
    if (line.empty())
        return reply;
    const std::string_view arguments = line.size() > 2 ? line.substr(2) : std::string_view();
    std::size_t pos = 0;

    switch (line[0]) {
    case 'R':
    case 'r':
        reply.kind = BoxReply::Values;
        while (reply.count < 6 && ReadNumber(arguments, pos, reply.numbers[static_cast<std::size_t>(reply.count)]))
            ++reply.count;
        break;
    case 'S':
    case 's':
        if (!arguments.empty())
            reply.kind = arguments[0] == '0' ? BoxReply::KeyPressed : BoxReply::KeyState;
        break;
    case 't':
        reply.kind = BoxReply::BadTime;
        if (ReadTime(line, reply.numbers[0], ShortestBoxTimeUs, LongestBoxTimeUs)) {
            reply.kind = BoxReply::Time;
            reply.count = 1;
        }
        break;
    case 'l':
        if (line == "l timeout") {
            reply.kind = BoxReply::NoLight;
        } else if (line == "l lit") {
            reply.kind = BoxReply::EarlyLight;
        } else if (ReadTime(line, reply.numbers[0], 0, LongestLightUs)) {
            reply.kind = BoxReply::Light;
            reply.count = 1;
        } else {
            reply.kind = BoxReply::BadLight;
        }
        break;
    case 'e':
        if (line.size() == 1)
            reply.kind = BoxReply::Echo;
        break;
    default:
        break;
    }
    return reply;
}

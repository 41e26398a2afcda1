#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The switch box's reply stream, cut into lines and read. Free of Qt and of any port, so that it can
// be fed byte strings directly (tests, fuzzing).

// Collects bytes into reply lines. A line ends with ";" or a line feed. Only bytes from " " to "z"
// are kept; a line that reaches 100 characters without an end loses those 100 characters, and what
// follows starts the next line. A partial line waits for the next Feed.
class LineAssembler
{
public:
    static constexpr int MaxLine = 99;

    // Returns the lines completed by these bytes, in order (an empty line is a line, too).
    std::vector<std::string> Feed(std::string_view bytes);
    int PendingLength() const { return lineLength; }

private:
    std::array<char, MaxLine + 1> lineBuffer {};
    int lineLength = 0;
};

// One reply line, read. A line starts with its code and one separator character that is not looked
// at; the arguments begin at the third character.
struct BoxReply
{
    enum Kind {
        Ignored,    // unknown code, "T", an empty line, or "S" without a state
        Values,     // "R"/"r": up to six numbers, those before the first unreadable one
        KeyPressed, // "S"/"s" with state "0"
        KeyState,   // "S"/"s" with any other state
        Time,       // "t": one reaction time in microseconds, numbers[0]
        BadTime,    // a "t" line that is not a time the box can have measured (noise, a faulty box)
        Light,      // "l": microseconds from the light command to the sensor's light, numbers[0]
        NoLight,    // "l timeout": no light within LongestLightUs
        EarlyLight, // "l lit": the sensor saw light already when the command came
        BadLight,   // any other "l" line
        Echo,       // "e": the answer to an echo
    };
    Kind kind = Ignored;
    int count = 0; // numbers read
    std::array<std::int32_t, 6> numbers {};
};

BoxReply ParseReply(std::string_view line);

// Reads a signed decimal number after optional spaces, like "%ld", from pos on. The value is brought
// into the 32-bit range, however many digits there are. False, with pos unchanged, when none is there.
bool ReadNumber(std::string_view text, std::size_t &pos, std::int32_t &value);

// A time reply is "t", blanks and digits, nothing else, and lies between the shortest time that
// makes a millisecond and the box's longest measurement (35 minutes).
constexpr std::int32_t ShortestBoxTimeUs = 1000;
constexpr std::int32_t LongestBoxTimeUs = 2100000000;

// The box waits a second for the sensor's light.
constexpr std::int32_t LongestLightUs = 1000000;

// Milliseconds from the box's microseconds, truncated toward zero.
inline int MicrosecondsToMs(std::int32_t us)
{
    return us / 1000;
}

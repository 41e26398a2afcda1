#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

using SteadyTime = std::chrono::steady_clock::time_point;

// The clock of a screen reaction: from the instant the disc reached the screen's image to the
// instant SPACE went down, in whole milliseconds rounded to the nearest (truncating would make
// every time half a millisecond short). "Now" is given from outside, so that tests can set it.
class ReactionClock
{
public:
    using NowFunction = std::function<SteadyTime()>;

    // A key press older than this by its stamp is not on this clock: a stamp of another clock.
    static constexpr std::uint32_t StampAgeLimitMs = 10000;

    // serverStamps: the display server stamps input on the steady clock in whole milliseconds,
    // 32 bits wide (X11 on Linux). Elsewhere a press is timed when it is handled.
    explicit ReactionClock(bool serverStamps = false, NowFunction now = std::chrono::steady_clock::now);

    SteadyTime Now() const { return now(); }

    // The disc was painted by `painted` and was in the screen's image when the display server
    // answered a question sent after the painting, at `confirmed`: it counts from the middle.
    void DiscShown(SteadyTime painted, SteadyTime confirmed);

    // A SPACE press, handled now, with the server's stamp: the reaction time, or none when the
    // stamp's whole millisecond lies before the disc (an early press that was handled late).
    std::optional<int> KeyPressed(std::uint32_t serverStampMs) const;

private:
    bool serverStamps;
    NowFunction now;
    SteadyTime shownAt;
};

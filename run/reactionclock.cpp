#include "reactionclock.h"

#include <algorithm>
#include <climits>

using namespace std::chrono;

ReactionClock::ReactionClock(bool stamps, NowFunction nowFunction)
    : serverStamps(stamps)
    , now(std::move(nowFunction))
{ }

void ReactionClock::DiscShown(SteadyTime painted, SteadyTime confirmed)
{
    shownAt = painted + (confirmed - painted) / 2;
}

std::optional<int> ReactionClock::KeyPressed(std::uint32_t serverStampMs) const
{
    const SteadyTime handled = now();
    SteadyTime pressed = handled;
    if (serverStamps) {
        // The server's stamp is taken before the event waits in queues; a program's first key
        // press waits longest (Qt then loads its compose table).
        const std::int64_t nowMs = duration_cast<milliseconds>(handled.time_since_epoch()).count();
        const std::uint32_t age = static_cast<std::uint32_t>(nowMs) - serverStampMs;          // the stamp wraps at 2^32
        const SteadyTime stamped = SteadyTime(milliseconds(nowMs - age)) + microseconds(500); // its middle
        if (age <= StampAgeLimitMs) {
            if (stamped < shownAt - microseconds(500))
                return std::nullopt;
            pressed = std::clamp(stamped, shownAt, std::max(shownAt, handled));
        }
    }
    const std::int64_t us = duration_cast<microseconds>(pressed - shownAt).count();
    return static_cast<int>(std::clamp<std::int64_t>((us + 500) / 1000, 0, INT_MAX));
}

#include "reactionclock.h"

#include <algorithm>
#include <climits>

using namespace std::chrono;

namespace {

// Each clock's names, in the order of ReactionTiming.
const struct
{
    const char *trace;
    const char *stored;
} TimingNames[] = {
    {"Programm", "program"},
    {"X-Server (Serverzeit)", "x11-servertime"},
    {"XWayland (Serverzeit)", "xwayland-servertime"},
    {"Wayland (Praesentation)", "wayland-presentation"},
    {"Schaltbox", "box"},
    {"Lichtsensor", "light-sensor"},
};

} // namespace

int WholeMs(std::int64_t us)
{
    return static_cast<int>(std::clamp<std::int64_t>((us + 500) / 1000, 0, INT_MAX));
}

const char *TraceName(ReactionTiming timing)
{
    return TimingNames[static_cast<int>(timing)].trace;
}

const char *StoredName(ReactionTiming timing)
{
    return TimingNames[static_cast<int>(timing)].stored;
}

ReactionClock::ReactionClock(bool stamps, NowFunction nowFunction)
    : serverStamps(stamps)
    , now(std::move(nowFunction))
{ }

void ReactionClock::DiscShown(SteadyTime painted, SteadyTime confirmed)
{
    shownAt = painted + (confirmed - painted) / 2;
    paintedAt = painted;
    answeredAt = confirmed;
}

SteadyTime ReactionClock::ServerTime(std::uint32_t stampMs, SteadyTime at) const
{
    const std::int64_t atMs = duration_cast<milliseconds>(at.time_since_epoch()).count();
    // The stamp wraps at 2^32; one a little ahead of `at` (taken in the same millisecond) is not
    // 49 days old.
    const auto age = static_cast<std::int32_t>(static_cast<std::uint32_t>(atMs) - stampMs);
    return SteadyTime(milliseconds(atMs - age)) + microseconds(500);
}

std::int64_t ReactionClock::DrawnUs(const ServerDrawing &drawn)
{
    const std::uint32_t window = std::min<std::uint32_t>(drawn.afterMs - drawn.beforeMs, DrawWindowMs);
    return 500 + window * std::int64_t {500};
}

SteadyTime ReactionClock::DiscInstant(std::optional<ServerDrawing> drawn) const
{
    if (!drawn)
        return shownAt;
    // The server's milliseconds alone leave half of one either way; the program's own clock bounds
    // the drawing too: not before the painting ended (a program held up while painting would
    // otherwise put the disc early by half the delay), not after the server answered.
    const SteadyTime first = ServerTime(drawn->beforeMs, now()) - microseconds(500);
    const SteadyTime from = std::max(first, paintedAt);
    const SteadyTime to = std::min(first + milliseconds(drawn->afterMs - drawn->beforeMs + 1), answeredAt);
    if (from <= to)
        return from + (to - from) / 2;
    return first + microseconds(DrawnUs(*drawn));
}

std::optional<int> ReactionClock::KeyPressed(
    std::uint32_t keyStampMs, std::optional<ServerDrawing> drawn, std::optional<SteadyTime> preciseKey)
{
    const std::optional<std::int64_t> us = KeyPressedUs(keyStampMs, drawn, preciseKey);
    return us ? std::optional<int>(WholeMs(*us)) : std::nullopt;
}

std::optional<std::int64_t> ReactionClock::KeyPressedUs(
    std::uint32_t keyStampMs, std::optional<ServerDrawing> drawn, std::optional<SteadyTime> preciseKey)
{
    const SteadyTime handled = now();
    if (drawn) {
        // Both on the server's clock: a key it stamped before it took the drawing's request went
        // down before the disc.
        if (static_cast<std::int32_t>(keyStampMs - drawn->beforeMs) < 0)
            return std::nullopt;
        // In the disc's own millisecond the key may lie before the disc's estimate: not early by
        // the server's word: 0 ms.
        return std::max<std::int64_t>(
            0, duration_cast<microseconds>(ServerTime(keyStampMs, handled) - DiscInstant(drawn)).count());
    }

    SteadyTime pressed = handled;
    if (serverStamps) {
        // The server's stamp is taken before the event waits in queues; a program's first key
        // press waits longest (Qt then loads its compose table). A stamp in whole milliseconds is
        // the middle of its millisecond, and may lie half of one before the disc.
        const SteadyTime stamped = preciseKey ? *preciseKey : ServerTime(keyStampMs, handled);
        const microseconds grain(preciseKey ? 0 : 500);
        // A stamp of another clock (a virtual keyboard may send 0) lies far off, or ahead.
        const bool plausible
            = stamped <= handled + milliseconds(1) && handled - stamped <= milliseconds(StampAgeLimitMs);
        if (plausible) {
            if (stamped < shownAt - grain)
                return std::nullopt;
            pressed = std::clamp(stamped, shownAt, std::max(shownAt, handled));
        }
    }
    return duration_cast<microseconds>(pressed - shownAt).count();
}

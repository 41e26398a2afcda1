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
}

SteadyTime ReactionClock::ServerTime(std::uint32_t stampMs, SteadyTime at) const
{
    const std::int64_t atMs = duration_cast<milliseconds>(at.time_since_epoch()).count();
    const std::uint32_t age = static_cast<std::uint32_t>(atMs) - stampMs; // the stamp wraps at 2^32
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
    return ServerTime(drawn->beforeMs, now()) + microseconds(DrawnUs(*drawn) - 500);
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
        const auto afterMs = static_cast<std::int32_t>(keyStampMs - drawn->beforeMs);
        if (afterMs < 0)
            return std::nullopt;
        return afterMs * std::int64_t {1000} + 500 - DrawnUs(*drawn);
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

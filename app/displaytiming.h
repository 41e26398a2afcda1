#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

// When things reach the screen and when input happened, as the display server sees them.

using SteadyTime = std::chrono::steady_clock::time_point;

// Returns once the display server has carried out everything this program has sent it so far,
// so that what was just painted is in the screen's image. On X11 that is one round trip; where
// the platform offers no such question it returns at once.
void WaitForDisplay();

// When an input event happened by the display server's own stamp (QInputEvent::timestamp()),
// where the server stamps on the steady clock: X11 on Linux, whose times are the monotonic clock
// in whole milliseconds. None elsewhere, or when the stamp does not lie between notBefore and now.
std::optional<SteadyTime> ServerEventTime(unsigned long timestamp, SteadyTime notBefore, SteadyTime now);

// The rule behind it: a 32-bit millisecond stamp of the steady clock, taken (truncated) at or
// before now, as the middle of its millisecond; none unless it lies between notBefore and now
// (half a millisecond of rounding allowed).
std::optional<SteadyTime> MillisecondStampTime(uint32_t stampMs, SteadyTime notBefore, SteadyTime now);

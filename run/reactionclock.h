#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

using SteadyTime = std::chrono::steady_clock::time_point;

// Which clock timed a reaction: the program's own wake-ups, the X server's stamps (of an X server
// of its own, or of Xwayland, whose drawing the compositor shows later), the compositor's
// presentation time and the key's own time, or the switch box.
enum class ReactionTiming { Program, XServer, Xwayland, Presentation, Box };
const char *TraceName(ReactionTiming timing);  // "X-Server (DAMAGE)", as the debug trace says it
const char *StoredName(ReactionTiming timing); // "x11-damage", as the journal keeps it

// The clock of a screen reaction: from the instant the disc reached the screen's image to the
// instant SPACE went down, in whole milliseconds. "Now" is given from outside, so that tests can
// set it.
//
// Where the display server stamps both the key and its drawing of the disc (X11 with DAMAGE), the
// reaction is the difference of the two stamps, whenever the program got to run. A busy server can
// stamp its drawing late, though, when it is held up between drawing and stamping; so a stamp that
// comes later after the start of painting than this run's drawings usually do (their median, and
// a margin) counts only as far as that. Elsewhere the disc's instant is the program's own estimate
// (DiscShown), rounded to the nearest millisecond against the key's.
class ReactionClock
{
public:
    using NowFunction = std::function<SteadyTime()>;

    // A key press older than this by its stamp is not on this clock: a stamp of another clock.
    static constexpr std::uint32_t StampAgeLimitMs = 10000;
    // How long after the start of painting a drawing is taken to be late: before the run has shown
    // what is usual, this; then the median of its drawings so far, and the margin.
    static constexpr std::int64_t FirstUsualDrawUs = 2000;
    static constexpr std::int64_t LateDrawMarginUs = 500;

    // serverStamps: the display server stamps input on the steady clock in whole milliseconds,
    // 32 bits wide (X11 on Linux). Elsewhere a press is timed when it is handled.
    explicit ReactionClock(bool serverStamps = false, NowFunction now = std::chrono::steady_clock::now);

    SteadyTime Now() const { return now(); }

    // A new run: what its drawings took is learnt anew.
    void NewRun() { drawsUs.clear(); }
    // The disc is about to be painted: it cannot reach the screen before this.
    void PaintStarting() { paintStarted = now(); }
    SteadyTime PaintStart() const { return paintStarted; }
    // The disc was painted by `painted` and was in the screen's image when the display server
    // answered a question sent after the painting, at `confirmed`: it counts from the middle.
    void DiscShown(SteadyTime painted, SteadyTime confirmed);
    // The compositor presented the frame that brought the disc at `at`: it counts from there.
    void DiscPresented(SteadyTime at) { shownAt = at; }

    // A SPACE press, handled now, with the server's stamp (and the same instant to the nanosecond,
    // where the server tells it), and the server's stamp of the disc's drawing where it came: the
    // reaction time, or none when the key went down before the disc (an early press that was
    // handled late).
    std::optional<int> KeyPressed(std::uint32_t keyStampMs, std::optional<std::uint32_t> discStampMs = {},
        std::optional<SteadyTime> preciseKey = {});

    // The instant a reaction to the disc shown last counts from, on this clock: the server's stamp
    // of its drawing where it came (taken back as KeyPressed would take back a late one), else
    // DiscShown's estimate.
    SteadyTime DiscInstant(std::optional<std::uint32_t> discStampMs) const;

private:
    std::int64_t LateDrawUs(std::int64_t drawUs) const;
    // A server stamp on this clock, the middle of its millisecond, by its age at now.
    SteadyTime ServerTime(std::uint32_t stampMs, SteadyTime at) const;

    bool serverStamps;
    NowFunction now;
    SteadyTime paintStarted;
    SteadyTime shownAt;
    std::vector<std::int64_t> drawsUs; // this run's drawings: from the start of painting to the stamp
};

#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

using SteadyTime = std::chrono::steady_clock::time_point;

// Which clock timed a reaction: the program's own wake-ups, the X server's clock (of an X server
// of its own, or of Xwayland, whose drawing the compositor shows later), the compositor's
// presentation time and the key's own time, the switch box, or the box's light sensor on the
// screen (a light-timed run: the stimulus's own light, timed trial by trial).
enum class ReactionTiming { Program, XServer, Xwayland, Presentation, Box, LightSensor };
const char *TraceName(ReactionTiming timing);  // "X-Server (Serverzeit)", as the debug trace says it
const char *StoredName(ReactionTiming timing); // "x11-servertime", as the journal keeps it

// Microseconds as whole milliseconds, rounded once (truncating would make every time half a
// millisecond short), within 0 to INT_MAX.
int WholeMs(std::int64_t us);

// The X server's clock (ms, 32 bits, the clock that stamps its input events) read as it took the
// request just before the disc's drawing and the one just after it.
struct ServerDrawing
{
    std::uint32_t beforeMs = 0;
    std::uint32_t afterMs = 0;
};

// The clock of a screen reaction: from the instant the disc reached the screen's image to the
// instant SPACE went down, in whole milliseconds. "Now" is given from outside, so that tests can
// set it.
//
// Where the display server tells the times around its drawing of the disc and stamps the key on
// the same clock (X11), the reaction is taken on that clock, whenever the program got to run: the
// disc counts from the middle of what both clocks allow, the server's milliseconds around the
// drawing and the program's microseconds from the painting's start to the server's answer (both
// are the monotonic clock); where they do not meet, from the middle of the server's two times,
// though at most a millisecond after the first (a server held up after drawing reads the second
// late). Where a compositor tells when it presented the disc (Wayland), it counts from there.
// Elsewhere the disc's instant is the program's own estimate (DiscShown). A key counts from its stamp where there is a
// plausible one, else from when it is handled.
class ReactionClock
{
public:
    using NowFunction = std::function<SteadyTime()>;

    // A key press older than this by its stamp is not on this clock: a stamp of another clock.
    static constexpr std::uint32_t StampAgeLimitMs = 10000;
    // How much of the server's times around the drawing is taken as the drawing's: twice as
    // long as drawing the disc's square takes even at 4K.
    static constexpr std::uint32_t DrawWindowMs = 2;

    // serverStamps: the display server stamps input on the steady clock in whole milliseconds,
    // 32 bits wide (X11 and Wayland on Linux). Elsewhere a press is timed when it is handled.
    explicit ReactionClock(bool serverStamps = false, NowFunction now = std::chrono::steady_clock::now);

    SteadyTime Now() const { return now(); }

    // The disc is about to be painted: it cannot reach the screen before this.
    void PaintStarting() { paintStarted = now(); }
    SteadyTime PaintStart() const { return paintStarted; }
    std::chrono::microseconds Painting() const // how long the last painting took
    {
        return std::chrono::duration_cast<std::chrono::microseconds>(paintedAt - paintStarted);
    }
    // The disc was painted by `painted` (and not in the screen's image before: the display server
    // gets it with the painting's end) and was there when the server answered a question sent
    // after the painting, at `confirmed`: it counts from the middle.
    void DiscShown(SteadyTime painted, SteadyTime confirmed);
    // The compositor presented the frame that brought the disc at `at`: it counts from there.
    void DiscPresented(SteadyTime at) { shownAt = at; }

    // A SPACE press, handled now, with the server's stamp (and the same instant to the nanosecond,
    // where the server tells it), and the server's times around the disc's drawing where it told
    // them: the reaction time, or none when the key went down before the disc (an early press that
    // was handled late).
    std::optional<int> KeyPressed(
        std::uint32_t keyStampMs, std::optional<ServerDrawing> drawn = {}, std::optional<SteadyTime> preciseKey = {});
    // The same in microseconds, not yet rounded: a light-timed run takes the light's own delay off.
    std::optional<std::int64_t> KeyPressedUs(
        std::uint32_t keyStampMs, std::optional<ServerDrawing> drawn = {}, std::optional<SteadyTime> preciseKey = {});

    // The instant a reaction to the disc shown last counts from, on this clock.
    SteadyTime DiscInstant(std::optional<ServerDrawing> drawn) const;

private:
    // A server stamp on this clock, the middle of its millisecond, by its age at now.
    SteadyTime ServerTime(std::uint32_t stampMs, SteadyTime at) const;
    // The drawing's instant, in microseconds after its first time.
    static std::int64_t DrawnUs(const ServerDrawing &drawn);

    bool serverStamps;
    NowFunction now;
    SteadyTime paintStarted;
    SteadyTime paintedAt;
    SteadyTime answeredAt; // the display server's answer after the painting
    SteadyTime shownAt;
};

#pragma once

#include "reactionclock.h"

#include <cstdint>
#include <memory>
#include <optional>

class QWidget;

// What a Wayland compositor tells of the stimulus window, where the program runs natively on
// Wayland: when the frame that brought the disc was presented (wp_presentation), and when a key
// went down, to the nanosecond where the compositor offers input timestamps. Both are taken to
// the steady clock from the clock the compositor names, never assumed to be it.
class WaylandTiming
{
public:
    WaylandTiming();
    ~WaylandTiming();
    WaylandTiming(const WaylandTiming &) = delete;
    WaylandTiming &operator=(const WaylandTiming &) = delete;

    // The program runs on a compositor that reports presentation times: one that offers them and
    // has not let two frames in a row go unreported (sway's headless output never reports).
    bool Presents();
    // The followed frame was not reported in good time.
    void Unreported();

    // From now on, follows the next frame of window's surface: called before the disc is painted,
    // so that the frame that brings it is the one followed. False where nothing can be followed.
    bool Watch(QWidget *window);
    // Sends what the painting asked for at once, and returns once the compositor has taken it.
    void Painted();

    enum class Frame {
        None,      // nothing followed
        Pending,   // not yet presented
        Presented, // on the screen since Shown()
        Discarded, // replaced or never shown
    };
    // What the compositor has said of the followed frame so far.
    Frame Followed();
    std::optional<SteadyTime> Shown() const;
    // The name of the clock the compositor presents on ("CLOCK_MONOTONIC", ...).
    const char *ClockName() const;

    // The instant of the last SPACE press whose event carried stampMs, to the nanosecond, where
    // the compositor sent input timestamps; none otherwise.
    std::optional<SteadyTime> PreciseKeyDown(std::uint32_t stampMs);

    struct Private;

private:
    std::unique_ptr<Private> d;
};

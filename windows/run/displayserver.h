#pragma once

#include "reactionclock.h"

#include <cstdint>
#include <optional>

class QWidget;

// What the display server tells of its screen and its input, where it tells it.

// Returns once the display server has carried out everything this program has sent it so far,
// so that what was just painted is in the screen's image. On X11 that is one round trip; where
// the platform offers no such question it returns at once.
void WaitForDisplay();

// Whether the X server is Xwayland, whose stamps are its own, not the compositor's: the
// compositor shows what Xwayland drew later, by its own schedule.
bool IsXwayland();

// Whether the window system gives window the keyboard now. On X11 the server's input focus is
// asked, not Qt's idea of the active window: a window manager may refuse the program's request to
// be activated (a window on another workspace under Xwayland), and Qt then takes the request for
// done. Elsewhere Qt's active window is the compositor's word.
bool HoldsInputFocus(const QWidget *window);

// Whether input events carry the server's stamp on the steady clock in whole milliseconds
// (QInputEvent::timestamp()): X11 and Wayland on Linux, whose times are the monotonic clock (a
// stamp that is not is told by its age and not used).
bool ServerStampsOnSteadyClock();

// When the display server drew into a window, by its own clock: on X11 the SYNC extension's
// SERVERTIME counter, read by the server as it takes a request, just before and just after the
// drawing's request (the clock that also stamps input events, whole milliseconds). The program's
// wake-ups do not enter it. (The DAMAGE extension's stamp is no better: it is taken when the
// damage is reported, after the requests that follow the drawing, and so runs late on a busy
// server.)
class DrawTimes
{
public:
    DrawTimes() = default;
    DrawTimes(const DrawTimes &) = delete;
    DrawTimes &operator=(const DrawTimes &) = delete;

    // Called before the painting: asks for the server's time before it. False where the server
    // cannot tell (no X11, no SYNC).
    bool Watch();
    // Called after the painting: asks for the time after it, sent at once.
    void AskAfter();
    // Then waits for both times; the painting is in the window's contents.
    void Painted();
    // The server's times (ms, 32 bits) around the drawing, once told.
    std::optional<ServerDrawing> Drawn() const { return drawn; }

private:
    std::uint32_t counter = 0; // SERVERTIME; 0: not looked for yet, or none
    bool looked = false;
    unsigned int before = 0; // the requests' sequences
    std::optional<unsigned int> after;
    bool asked = false;
    std::optional<ServerDrawing> drawn;
};

#pragma once

#include <QAbstractNativeEventFilter>
#include <QRect>

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

// When the display server drew into a window, by its own clock: on X11 the DAMAGE extension
// reports each change of a window's contents with the server's time of the change, the clock
// that also stamps input events. The program's wake-ups do not enter it.
class DrawTimes : public QAbstractNativeEventFilter
{
public:
    DrawTimes();
    ~DrawTimes() override;
    DrawTimes(const DrawTimes &) = delete;
    DrawTimes &operator=(const DrawTimes &) = delete;

    // From now on, waits for the first drawing into window that covers part of area (device
    // pixels of the window). False where the server cannot tell (no X11, no DAMAGE).
    bool Watch(QWidget *window, const QRect &area);
    // The server's time (ms, 32 bits) of that drawing, once reported.
    std::optional<std::uint32_t> Drawn() const { return drawn; }

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

private:
    void Release();

    std::uintptr_t window = 0;
    std::uint32_t damage = 0;     // the server's DAMAGE object on window; 0: none
    std::uint8_t notifyEvent = 0; // the DamageNotify event's type code
    std::uint32_t sinceSequence = 0;
    QRect area;
    bool watching = false;
    std::optional<std::uint32_t> drawn;
};

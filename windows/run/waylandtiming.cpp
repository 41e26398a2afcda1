#include "waylandtiming.h"

#ifdef BLINKDASH_WITH_WAYLAND
#include "input-timestamps-unstable-v1-client-protocol.h"
// The request that makes a feedback object bears the object's name; in C++ the type is then
// "struct wp_presentation_feedback".
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wshadow"
#include "presentation-time-client-protocol.h"
#pragma GCC diagnostic pop

#include <QGuiApplication>
#include <QWidget>
#include <QWindow>
#include <qpa/qplatformnativeinterface.h>

#include <linux/input-event-codes.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <deque>
#include <utility>

using namespace std::chrono;

namespace {

std::int64_t NsOn(clockid_t clock)
{
    timespec t {};
    clock_gettime(clock, &t);
    return std::int64_t {t.tv_sec} * 1000000000 + t.tv_nsec;
}

std::int64_t NsOf(std::uint32_t secHi, std::uint32_t secLo, std::uint32_t nsec)
{
    return static_cast<std::int64_t>((std::uint64_t {secHi} << 32) | secLo) * 1000000000 + nsec;
}

// An instant on clock, on the steady clock: the two read side by side, the steady one between two
// readings of the other; of three tries the closest, as the program may lose the CPU between reads.
SteadyTime OnSteadyClock(clockid_t clock, std::int64_t ns)
{
    std::int64_t bestWindow = INT64_MAX;
    SteadyTime best;
    for (int i = 0; i < 3; ++i) {
        const std::int64_t before = NsOn(clock);
        const SteadyTime steady = steady_clock::now();
        const std::int64_t after = NsOn(clock);
        if (after - before < bestWindow) {
            bestWindow = after - before;
            best = steady + nanoseconds(ns - (before + (after - before) / 2));
        }
    }
    return best;
}

struct Press
{
    std::uint32_t stampMs;
    std::optional<std::int64_t> ns; // CLOCK_MONOTONIC, as the kernel stamps input
};

} // namespace

struct WaylandTiming::Private
{
    wl_display *display = nullptr;
    wl_event_queue *queue = nullptr;
    wl_registry *registry = nullptr;
    wp_presentation *presentation = nullptr;
    clockid_t clock = CLOCK_MONOTONIC;
    bool clockKnown = false;
    int unreported = 0; // frames in a row the compositor did not report in good time
    wl_seat *seat = nullptr;
    wl_keyboard *keyboard = nullptr;
    zwp_input_timestamps_manager_v1 *stampsManager = nullptr;
    zwp_input_timestamps_v1 *stamps = nullptr;
    std::optional<std::int64_t> nextKeyNs; // the timestamp event comes before its key event
    std::deque<Press> presses;             // the last few SPACE presses, newest last

    struct wp_presentation_feedback *feedback = nullptr;
    Frame frame = Frame::None;
    std::optional<SteadyTime> shown;

    void Dispatch() { wl_display_dispatch_queue_pending(display, queue); }

    void DropFeedback()
    {
        if (feedback)
            wp_presentation_feedback_destroy(feedback);
        feedback = nullptr;
    }
};

namespace {

using Private = WaylandTiming::Private;

const wp_presentation_listener PresentationListener {
    [](void *data, wp_presentation *, std::uint32_t clock) {
        auto *d = static_cast<Private *>(data);
        d->clock = static_cast<clockid_t>(clock);
        d->clockKnown = true;
    },
};

const wp_presentation_feedback_listener FeedbackListener {
    [](void *, struct wp_presentation_feedback *, wl_output *) {},
    [](void *data, struct wp_presentation_feedback *, std::uint32_t secHi, std::uint32_t secLo, std::uint32_t nsec,
        std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {
        auto *d = static_cast<Private *>(data);
        d->shown = OnSteadyClock(d->clock, NsOf(secHi, secLo, nsec));
        d->frame = WaylandTiming::Frame::Presented;
        d->unreported = 0;
        d->DropFeedback();
    },
    [](void *data, struct wp_presentation_feedback *) {
        auto *d = static_cast<Private *>(data);
        d->frame = WaylandTiming::Frame::Discarded;
        d->DropFeedback();
    },
};

const zwp_input_timestamps_v1_listener StampsListener {
    [](void *data, zwp_input_timestamps_v1 *, std::uint32_t secHi, std::uint32_t secLo, std::uint32_t nsec) {
        static_cast<Private *>(data)->nextKeyNs = NsOf(secHi, secLo, nsec);
    },
};

// A keyboard of the program's own beside Qt's: the compositor sends both every key, so that its
// own events, with their timestamps, can be read here without touching Qt's.
const wl_keyboard_listener KeyboardListener {
    [](void *, wl_keyboard *, std::uint32_t, std::int32_t fd, std::uint32_t) { ::close(fd); },
    [](void *, wl_keyboard *, std::uint32_t, wl_surface *, wl_array *) {},
    [](void *, wl_keyboard *, std::uint32_t, wl_surface *) {},
    [](void *data, wl_keyboard *, std::uint32_t, std::uint32_t time, std::uint32_t key, std::uint32_t state) {
        auto *d = static_cast<Private *>(data);
        const std::optional<std::int64_t> ns = std::exchange(d->nextKeyNs, std::nullopt);
        if (key != KEY_SPACE || state != WL_KEYBOARD_KEY_STATE_PRESSED)
            return;
        d->presses.push_back({time, ns});
        if (d->presses.size() > 8)
            d->presses.pop_front();
    },
    [](void *, wl_keyboard *, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {},
    [](void *, wl_keyboard *, std::int32_t, std::int32_t) {},
};

void TakeKeyboard(Private *d)
{
    if (d->keyboard || !d->seat)
        return;
    d->keyboard = wl_seat_get_keyboard(d->seat);
    wl_keyboard_add_listener(d->keyboard, &KeyboardListener, d);
    if (d->stampsManager) {
        d->stamps = zwp_input_timestamps_manager_v1_get_keyboard_timestamps(d->stampsManager, d->keyboard);
        zwp_input_timestamps_v1_add_listener(d->stamps, &StampsListener, d);
    }
}

const wl_seat_listener SeatListener {
    [](void *data, wl_seat *, std::uint32_t capabilities) {
        if (capabilities & WL_SEAT_CAPABILITY_KEYBOARD)
            TakeKeyboard(static_cast<Private *>(data));
    },
    [](void *, wl_seat *, const char *) {},
};

const wl_registry_listener RegistryListener {
    [](void *data, wl_registry *registry, std::uint32_t name, const char *interface, std::uint32_t version) {
        auto *d = static_cast<Private *>(data);
        if (std::strcmp(interface, wp_presentation_interface.name) == 0) {
            d->presentation
                = static_cast<wp_presentation *>(wl_registry_bind(registry, name, &wp_presentation_interface, 1));
            wp_presentation_add_listener(d->presentation, &PresentationListener, d);
        } else if (std::strcmp(interface, wl_seat_interface.name) == 0 && !d->seat) {
            d->seat = static_cast<wl_seat *>(
                wl_registry_bind(registry, name, &wl_seat_interface, std::min<std::uint32_t>(version, 5)));
            wl_seat_add_listener(d->seat, &SeatListener, d);
        } else if (std::strcmp(interface, zwp_input_timestamps_manager_v1_interface.name) == 0) {
            d->stampsManager = static_cast<zwp_input_timestamps_manager_v1 *>(
                wl_registry_bind(registry, name, &zwp_input_timestamps_manager_v1_interface, 1));
        }
    },
    [](void *, wl_registry *, std::uint32_t) {},
};

} // namespace

WaylandTiming::WaylandTiming()
    : d(std::make_unique<Private>())
{
    if (QGuiApplication::platformName() != QLatin1String("wayland"))
        return;
    QPlatformNativeInterface *native = QGuiApplication::platformNativeInterface();
    d->display = native ? static_cast<wl_display *>(native->nativeResourceForIntegration("wl_display")) : nullptr;
    if (!d->display)
        return;
    // A queue of our own: Qt's dispatching never runs these listeners, and ours never runs Qt's.
    d->queue = wl_display_create_queue(d->display);
    auto *wrapper = static_cast<wl_display *>(wl_proxy_create_wrapper(d->display));
    wl_proxy_set_queue(reinterpret_cast<wl_proxy *>(wrapper), d->queue);
    d->registry = wl_display_get_registry(wrapper);
    wl_proxy_wrapper_destroy(wrapper);
    wl_registry_add_listener(d->registry, &RegistryListener, d.get());
    wl_display_roundtrip_queue(d->display, d->queue); // the globals
    wl_display_roundtrip_queue(d->display, d->queue); // the clock, the seat's keyboard
}

WaylandTiming::~WaylandTiming()
{
    if (!d->display)
        return;
    d->DropFeedback();
    if (d->stamps)
        zwp_input_timestamps_v1_destroy(d->stamps);
    if (d->stampsManager)
        zwp_input_timestamps_manager_v1_destroy(d->stampsManager);
    if (d->keyboard)
        wl_keyboard_destroy(d->keyboard);
    if (d->seat)
        wl_seat_destroy(d->seat);
    if (d->presentation)
        wp_presentation_destroy(d->presentation);
    wl_registry_destroy(d->registry);
    wl_display_flush(d->display);
    wl_event_queue_destroy(d->queue);
}

bool WaylandTiming::Presents()
{
    return d->presentation && d->clockKnown && d->unreported < 2;
}

void WaylandTiming::Unreported()
{
    ++d->unreported;
}

bool WaylandTiming::Watch(QWidget *window)
{
    d->DropFeedback();
    d->frame = Frame::None;
    d->shown.reset();
    if (!Presents() || !window->windowHandle())
        return false;
    auto *surface = static_cast<wl_surface *>(
        QGuiApplication::platformNativeInterface()->nativeResourceForWindow("surface", window->windowHandle()));
    if (!surface)
        return false;
    // Applies to the surface's next commit: the painting's.
    d->feedback = wp_presentation_feedback(d->presentation, surface);
    wp_presentation_feedback_add_listener(d->feedback, &FeedbackListener, d.get());
    d->frame = Frame::Pending;
    return true;
}

void WaylandTiming::Painted()
{
    if (d->display)
        wl_display_roundtrip_queue(d->display, d->queue); // sends the commit, and waits for it taken
}

WaylandTiming::Frame WaylandTiming::Followed()
{
    if (d->display)
        d->Dispatch();
    return d->frame;
}

std::optional<SteadyTime> WaylandTiming::Shown() const
{
    return d->shown;
}

const char *WaylandTiming::ClockName() const
{
    switch (d->clock) {
    case CLOCK_MONOTONIC:
        return "CLOCK_MONOTONIC";
    case CLOCK_MONOTONIC_RAW:
        return "CLOCK_MONOTONIC_RAW";
    case CLOCK_REALTIME:
        return "CLOCK_REALTIME";
    case CLOCK_BOOTTIME:
        return "CLOCK_BOOTTIME";
    default:
        return "?";
    }
}

std::optional<SteadyTime> WaylandTiming::PreciseKeyDown(std::uint32_t stampMs)
{
    if (!d->display)
        return std::nullopt;
    d->Dispatch();
    if (d->presses.empty() || d->presses.back().stampMs != stampMs)
        wl_display_roundtrip_queue(d->display, d->queue); // ours may still be on its way
    for (auto press = d->presses.rbegin(); press != d->presses.rend(); ++press)
        if (press->stampMs == stampMs)
            return press->ns ? std::optional(OnSteadyClock(CLOCK_MONOTONIC, *press->ns)) : std::nullopt;
    return std::nullopt;
}

#else

struct WaylandTiming::Private
{
};

WaylandTiming::WaylandTiming() = default;
WaylandTiming::~WaylandTiming() = default;
bool WaylandTiming::Presents()
{
    return false;
}
void WaylandTiming::Unreported()
{ }
bool WaylandTiming::Watch(QWidget *)
{
    return false;
}
void WaylandTiming::Painted()
{ }
WaylandTiming::Frame WaylandTiming::Followed()
{
    return Frame::None;
}
std::optional<SteadyTime> WaylandTiming::Shown() const
{
    return std::nullopt;
}
const char *WaylandTiming::ClockName() const
{
    return "";
}
std::optional<SteadyTime> WaylandTiming::PreciseKeyDown(std::uint32_t)
{
    return std::nullopt;
}

#endif

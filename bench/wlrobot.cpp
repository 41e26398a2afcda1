// The timing robot for wlroots compositors (sway): drives a real blinkdash, native on Wayland or
// under Xwayland, like a very steady person. It watches the screen with the screencopy protocol,
// each frame stamped with the time the compositor showed it, and types with a virtual keyboard
// whose key times it sets itself, so that the press's instant is known to the microsecond.
//
//   blinkdash-wlrobot bench --signals N --export FILE
//       answers N signals, each a drawn D of 150 to 400 ms after the frame that first showed the
//       disc, then saves the times through "Ergebnisse Speichern" and prints how far each reported
//       time is from its D (the main window must float at the screen's top left corner)
//   blinkdash-wlrobot do STEP...
//       key NAME | down NAME | up NAME | type TEXT | click X Y | sleep MS | disc MS | nodisc MS
//       (disc: wait up to MS for a yellow disc and print where and when; nodisc: fail if one shows)

#include "robotcommon.h"
#include "virtual-keyboard-unstable-v1-client-protocol.h"
#include "wlr-screencopy-unstable-v1-client-protocol.h"
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

#include <linux/input-event-codes.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

[[noreturn]] void Fail(const std::string &why)
{
    std::fprintf(stderr, "blinkdash-wlrobot: %s\n", why.c_str());
    std::exit(1);
}

// The compositors this robot serves stamp frames and input on CLOCK_MONOTONIC.
std::int64_t NowNs()
{
    timespec t {};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return std::int64_t {t.tv_sec} * 1000000000 + t.tv_nsec;
}

void SleepUntilNs(std::int64_t ns)
{
    const std::int64_t spin = 300000; // the last 0.3 ms spun: a sleep's wake-up is not that exact
    if (ns - NowNs() > spin) {
        const std::int64_t until = ns - spin;
        const timespec t {static_cast<time_t>(until / 1000000000), static_cast<long>(until % 1000000000)};
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &t, nullptr);
    }
    while (NowNs() < ns) {
    }
}

struct Key
{
    std::uint32_t code;
    bool shift;
};

// US layout: what the robot types (names, paths) and the keys it presses by name.
Key KeyFor(const std::string &name)
{
    static const std::map<std::string, Key> named {{"space", {KEY_SPACE, false}}, {"Escape", {KEY_ESC, false}},
        {"Return", {KEY_ENTER, false}}, {"Tab", {KEY_TAB, false}}, {"shift", {KEY_LEFTSHIFT, false}},
        {"Left", {KEY_LEFT, false}}, {"Right", {KEY_RIGHT, false}}};
    if (const auto found = named.find(name); found != named.end())
        return found->second;
    if (name.size() != 1)
        Fail("no key " + name);
    const char c = name[0];
    static const char *const rows[] = {"1234567890-=", "qwertyuiop[]", "asdfghjkl;'", "zxcvbnm,./"};
    static const char *const shifted[] = {"!@#$%^&*()_+", "QWERTYUIOP{}", "ASDFGHJKL:\"", "ZXCVBNM<>?"};
    static const std::uint32_t firsts[] = {KEY_1, KEY_Q, KEY_A, KEY_Z};
    for (int row = 0; row < 4; ++row)
        for (int i = 0; rows[row][i]; ++i)
            if (rows[row][i] == c || shifted[row][i] == c)
                return {firsts[row] + static_cast<std::uint32_t>(i), shifted[row][i] == c};
    if (c == ' ')
        return {KEY_SPACE, false};
    Fail(std::string("cannot type ") + c);
}

class Robot
{
public:
    Robot()
    {
        display = wl_display_connect(nullptr);
        if (!display)
            Fail("cannot connect to the Wayland display");
        wl_registry *registry = wl_display_get_registry(display);
        static const wl_registry_listener listener {
            [](void *data, wl_registry *r, std::uint32_t name, const char *interface, std::uint32_t version) {
                static_cast<Robot *>(data)->Global(r, name, interface, version);
            },
            [](void *, wl_registry *, std::uint32_t) {}};
        wl_registry_add_listener(registry, &listener, this);
        wl_display_roundtrip(display);
        wl_display_roundtrip(display); // the output's mode
        if (!seat || !keyboards || !pointers || !copier || !shm || !output)
            Fail("the compositor lacks a seat, the virtual keyboard or pointer, screencopy or shm (is it sway?)");
        MakeKeyboard();
        pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(pointers, seat);
        wl_display_roundtrip(display);
    }

    // Press (down) or release a key, stamped atNs on CLOCK_MONOTONIC (in whole milliseconds, as the
    // protocol has it).
    void KeyEvent(std::uint32_t code, bool down, std::int64_t atNs = 0)
    {
        if (atNs == 0)
            atNs = NowNs();
        zwp_virtual_keyboard_v1_key(
            keyboard, Ms(atNs), code, down ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
        wl_display_flush(display);
    }

    void Press(const Key &key)
    {
        if (key.shift) {
            zwp_virtual_keyboard_v1_modifiers(keyboard, shiftMask, 0, 0, 0);
            KeyEvent(KEY_LEFTSHIFT, true);
        }
        KeyEvent(key.code, true);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        KeyEvent(key.code, false);
        if (key.shift) {
            KeyEvent(KEY_LEFTSHIFT, false);
            zwp_virtual_keyboard_v1_modifiers(keyboard, 0, 0, 0, 0);
        }
        wl_display_flush(display);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }

    void Type(const std::string &text)
    {
        for (const char c : text)
            Press(KeyFor(std::string(1, c)));
    }

    void Click(int x, int y)
    {
        const std::uint32_t t = Ms(NowNs());
        zwlr_virtual_pointer_v1_motion_absolute(pointer, t, static_cast<std::uint32_t>(x),
            static_cast<std::uint32_t>(y), static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height));
        zwlr_virtual_pointer_v1_frame(pointer);
        wl_display_roundtrip(display);
        std::this_thread::sleep_for(std::chrono::milliseconds(50)); // the pointer entered, the button hovered
        zwlr_virtual_pointer_v1_button(pointer, Ms(NowNs()), BTN_LEFT, WL_POINTER_BUTTON_STATE_PRESSED);
        zwlr_virtual_pointer_v1_frame(pointer);
        wl_display_flush(display);
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        zwlr_virtual_pointer_v1_button(pointer, Ms(NowNs()), BTN_LEFT, WL_POINTER_BUTTON_STATE_RELEASED);
        zwlr_virtual_pointer_v1_frame(pointer);
        wl_display_roundtrip(display);
    }

    struct Look
    {
        bool disc = false;
        int x = 0, y = 0;
        std::int64_t shownNs = 0; // when the compositor showed the frame
    };

    // The next frame the compositor shows that differs from the last one looked at (the first look:
    // the screen as it is), searched for the disc's yellow.
    Look NextFrame(bool damaged)
    {
        Capture capture;
        capture.robot = this;
        zwlr_screencopy_frame_v1 *frame = zwlr_screencopy_manager_v1_capture_output(copier, 0, output);
        static const zwlr_screencopy_frame_v1_listener listener {
            [](void *data, zwlr_screencopy_frame_v1 *, std::uint32_t format, std::uint32_t w, std::uint32_t h,
                std::uint32_t stride) {
                auto *c = static_cast<Capture *>(data);
                c->format = format;
                c->width = static_cast<int>(w);
                c->height = static_cast<int>(h);
                c->stride = static_cast<int>(stride);
            },
            [](void *data, zwlr_screencopy_frame_v1 *, std::uint32_t flags) {
                static_cast<Capture *>(data)->inverted = flags & ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT;
            },
            [](void *data, zwlr_screencopy_frame_v1 *, std::uint32_t hi, std::uint32_t lo, std::uint32_t ns) {
                auto *c = static_cast<Capture *>(data);
                c->readyNs = static_cast<std::int64_t>((std::uint64_t {hi} << 32 | lo) * 1000000000 + ns);
                c->done = true;
            },
            [](void *data, zwlr_screencopy_frame_v1 *) {
                auto *c = static_cast<Capture *>(data);
                c->failed = c->done = true;
            },
            [](void *, zwlr_screencopy_frame_v1 *, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {},
            [](void *, zwlr_screencopy_frame_v1 *, std::uint32_t, std::uint32_t, std::uint32_t) {},
            [](void *data, zwlr_screencopy_frame_v1 *) { static_cast<Capture *>(data)->described = true; },
        };
        zwlr_screencopy_frame_v1_add_listener(frame, &listener, &capture);
        while (capture.width == 0 && wl_display_dispatch(display) >= 0) {
        }
        wl_buffer *target = Buffer(capture);
        if (damaged)
            zwlr_screencopy_frame_v1_copy_with_damage(frame, target);
        else
            zwlr_screencopy_frame_v1_copy(frame, target);
        while (!capture.done && wl_display_dispatch(display) >= 0) {
        }
        zwlr_screencopy_frame_v1_destroy(frame);
        if (capture.failed)
            Fail("the compositor could not copy the screen");
        Look look;
        look.shownNs = capture.readyNs;
        // A sparse grid, finer than the disc (1/40 of the screen's width) is wide.
        const int step = std::max(4, capture.width / 40 / 3);
        for (int y = step / 2; y < capture.height && !look.disc; y += step)
            for (int x = step / 2; x < capture.width; x += step)
                if (Yellow(capture, x, y)) {
                    look = {true, x, capture.inverted ? capture.height - 1 - y : y, capture.readyNs};
                    break;
                }
        return look;
    }

    int width = 0, height = 0;

private:
    struct Capture
    {
        Robot *robot = nullptr;
        std::uint32_t format = 0;
        int width = 0, height = 0, stride = 0;
        bool inverted = false, described = false, done = false, failed = false;
        std::int64_t readyNs = 0;
    };

    static std::uint32_t Ms(std::int64_t ns) { return static_cast<std::uint32_t>(ns / 1000000); }

    bool Yellow(const Capture &c, int x, int y) const
    {
        std::uint32_t pixel;
        std::memcpy(&pixel, pixels + static_cast<std::size_t>(y) * c.stride + static_cast<std::size_t>(x) * 4, 4);
        // Read as a 32-bit value, XRGB8888 holds 0xRRGGBB in its low bits, XBGR8888 0xBBGGRR.
        const std::uint32_t rgb = pixel & 0xFFFFFF;
        const bool bgr = c.format == WL_SHM_FORMAT_XBGR8888 || c.format == WL_SHM_FORMAT_ABGR8888;
        return rgb == (bgr ? 0x00FFFFu : 0xFFFF00u);
    }

    wl_buffer *Buffer(const Capture &c)
    {
        const std::size_t size = static_cast<std::size_t>(c.stride) * c.height;
        if (size != poolSize || c.format != bufferFormat) {
            if (buffer)
                wl_buffer_destroy(buffer);
            if (pixels)
                munmap(pixels, poolSize);
            const int fd = memfd_create("blinkdash-wlrobot", MFD_CLOEXEC);
            if (fd < 0 || ftruncate(fd, static_cast<off_t>(size)) != 0)
                Fail("no shared memory");
            pixels = static_cast<std::uint8_t *>(mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0));
            wl_shm_pool *pool = wl_shm_create_pool(shm, fd, static_cast<std::int32_t>(size));
            buffer = wl_shm_pool_create_buffer(pool, 0, c.width, c.height, c.stride, c.format);
            wl_shm_pool_destroy(pool);
            ::close(fd);
            poolSize = size;
            bufferFormat = c.format;
        }
        return buffer;
    }

    void Global(wl_registry *registry, std::uint32_t name, const char *interface, std::uint32_t version)
    {
        const std::string what = interface;
        if (what == wl_seat_interface.name)
            seat = static_cast<wl_seat *>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
        else if (what == wl_shm_interface.name)
            shm = static_cast<wl_shm *>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
        else if (what == wl_output_interface.name && !output) {
            output = static_cast<wl_output *>(wl_registry_bind(registry, name, &wl_output_interface, 2));
            static const wl_output_listener listener {
                [](void *, wl_output *, std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                    const char *, const char *, std::int32_t) {},
                [](void *data, wl_output *, std::uint32_t flags, std::int32_t w, std::int32_t h, std::int32_t) {
                    if (flags & WL_OUTPUT_MODE_CURRENT) {
                        static_cast<Robot *>(data)->width = w;
                        static_cast<Robot *>(data)->height = h;
                    }
                },
                [](void *, wl_output *) {}, [](void *, wl_output *, std::int32_t) {},
                [](void *, wl_output *, const char *) {}, [](void *, wl_output *, const char *) {}};
            wl_output_add_listener(output, &listener, this);
        } else if (what == zwp_virtual_keyboard_manager_v1_interface.name)
            keyboards = static_cast<zwp_virtual_keyboard_manager_v1 *>(
                wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1));
        else if (what == zwlr_virtual_pointer_manager_v1_interface.name)
            pointers = static_cast<zwlr_virtual_pointer_manager_v1 *>(
                wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
        else if (what == zwlr_screencopy_manager_v1_interface.name)
            copier = static_cast<zwlr_screencopy_manager_v1 *>(
                wl_registry_bind(registry, name, &zwlr_screencopy_manager_v1_interface, std::min(version, 2u)));
    }

    void MakeKeyboard()
    {
        xkb_context *context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
        const xkb_rule_names names {"evdev", "pc105", "us", "", ""};
        xkb_keymap *keymap = xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
        if (!keymap)
            Fail("no US keymap (xkb-data)");
        shiftMask = 1u << xkb_keymap_mod_get_index(keymap, XKB_MOD_NAME_SHIFT);
        char *text = xkb_keymap_get_as_string(keymap, XKB_KEYMAP_FORMAT_TEXT_V1);
        const std::size_t size = std::strlen(text) + 1;
        const int fd = memfd_create("blinkdash-wlrobot-keymap", MFD_CLOEXEC);
        if (fd < 0 || write(fd, text, size) != static_cast<ssize_t>(size))
            Fail("cannot hand over the keymap");
        keyboard = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(keyboards, seat);
        zwp_virtual_keyboard_v1_keymap(
            keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd, static_cast<std::uint32_t>(size));
        wl_display_roundtrip(display);
        ::close(fd);
        std::free(text);
        xkb_keymap_unref(keymap);
        xkb_context_unref(context);
        // A new keyboard's first key may go to the keymap's hand-over: spend it on nothing.
        KeyEvent(KEY_LEFTSHIFT, true);
        KeyEvent(KEY_LEFTSHIFT, false);
        wl_display_roundtrip(display);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }

    wl_display *display = nullptr;
    wl_seat *seat = nullptr;
    wl_shm *shm = nullptr;
    wl_output *output = nullptr;
    zwp_virtual_keyboard_manager_v1 *keyboards = nullptr;
    zwlr_virtual_pointer_manager_v1 *pointers = nullptr;
    zwlr_screencopy_manager_v1 *copier = nullptr;
    zwp_virtual_keyboard_v1 *keyboard = nullptr;
    zwlr_virtual_pointer_v1 *pointer = nullptr;
    std::uint32_t shiftMask = 1;
    wl_buffer *buffer = nullptr;
    std::uint8_t *pixels = nullptr;
    std::size_t poolSize = 0;
    std::uint32_t bufferFormat = 0;
};

// Waits up to ms for the disc, looking at every frame shown.
Robot::Look AwaitDisc(Robot &robot, int ms)
{
    const std::int64_t giveUp = NowNs() + std::int64_t {ms} * 1000000;
    Robot::Look look = robot.NextFrame(false);
    while (!look.disc && NowNs() < giveUp)
        look = robot.NextFrame(true);
    return look;
}

int Steps(Robot &robot, int argc, char *argv[])
{
    for (int i = 0; i < argc; ++i) {
        const std::string step = argv[i];
        const auto arg = [&](int k) -> std::string {
            if (i + k >= argc)
                Fail(step + " needs an argument");
            return argv[i + k];
        };
        if (step == "key")
            robot.Press(KeyFor(arg(1))), ++i;
        else if (step == "down" || step == "up")
            robot.KeyEvent(KeyFor(arg(1)).code, step == "down"), ++i;
        else if (step == "type")
            robot.Type(arg(1)), ++i;
        else if (step == "click")
            robot.Click(std::stoi(arg(1)), std::stoi(arg(2))), i += 2;
        else if (step == "sleep")
            std::this_thread::sleep_for(std::chrono::milliseconds(std::stoi(arg(1)))), ++i;
        else if (step == "disc" || step == "nodisc") {
            const int ms = std::stoi(arg(1));
            ++i;
            const Robot::Look look = step == "disc" ? AwaitDisc(robot, ms) : robot.NextFrame(false);
            if (step == "disc" && !look.disc)
                Fail("no disc within " + std::to_string(ms) + " ms");
            if (step == "nodisc" && look.disc)
                Fail("a disc shows at " + std::to_string(look.x) + "," + std::to_string(look.y));
            if (look.disc)
                std::printf("disc %d %d %.3f\n", look.x, look.y, look.shownNs / 1e6);
            std::fflush(stdout);
        } else
            Fail("no step " + step);
    }
    return 0;
}

int Bench(Robot &robot, int signals, const std::string &exportPath)
{
    robot.Click(30 + 190, 260 + 35); // "Los geht's ..." of the main window at the top left corner
    std::mt19937 random(std::random_device {}());
    std::uniform_real_distribution<double> drawD(150.0, 400.0);
    std::vector<double> kept;
    for (int i = 0; i < signals; ++i) {
        const Robot::Look look = AwaitDisc(robot, 30000);
        if (!look.disc)
            Fail("no signal came");
        // The press at the middle of a millisecond, so that the key's stamp, in whole milliseconds
        // and read as the middle of its millisecond, says exactly when.
        const std::int64_t due = look.shownNs + static_cast<std::int64_t>(drawD(random) * 1e6);
        const std::int64_t press = due - due % 1000000 + 500000;
        SleepUntilNs(press);
        robot.KeyEvent(KEY_SPACE, true, press);
        kept.push_back(static_cast<double>(press - look.shownNs) / 1e6);
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
        robot.KeyEvent(KEY_SPACE, false);
        while (robot.NextFrame(false).disc) // the disc goes with the answer; not to be seen twice
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    robot.Press(KeyFor("Escape"));
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    ::unlink(exportPath.c_str());
    robot.Click(280 + 65, 100 + 15); // "Ergebnisse Speichern"
    std::this_thread::sleep_for(std::chrono::milliseconds(2000));
    robot.Type(exportPath);
    robot.Press(KeyFor("Return"));
    const std::vector<int> reported = ExportedTimes(exportPath);
    if (static_cast<int>(reported.size()) != signals)
        Fail("the export file holds " + std::to_string(reported.size()) + " times, not " + std::to_string(signals));
    std::vector<double> errors;
    for (int i = 0; i < signals; ++i)
        errors.push_back(reported[static_cast<std::size_t>(i)] - kept[static_cast<std::size_t>(i)]);
    std::printf("RESULT %dx%d signals=%d bias=%.2f sd=%.2f min=%.2f max=%.2f\n", robot.width, robot.height, signals,
        Mean(errors), Sd(errors), *std::min_element(errors.begin(), errors.end()),
        *std::max_element(errors.begin(), errors.end()));
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "do") {
        Robot robot;
        return Steps(robot, argc - 2, argv + 2);
    }
    if (mode == "bench") {
        int signals = 50;
        std::string exportPath;
        for (int i = 2; i + 1 < argc; i += 2) {
            const std::string option = argv[i];
            if (option == "--signals")
                signals = std::atoi(argv[i + 1]);
            else if (option == "--export")
                exportPath = argv[i + 1];
        }
        if (exportPath.empty() || signals < 3)
            Fail("usage: blinkdash-wlrobot bench --signals N --export FILE");
        Robot robot;
        return Bench(robot, signals, exportPath);
    }
    Fail("usage: blinkdash-wlrobot bench --signals N --export FILE | do STEP...");
}

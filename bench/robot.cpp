// The timing robot: drives a real blinkdash on an Xvfb display like a very steady person. It
// watches Xvfb's framebuffer file for the first yellow pixels of each signal, waits a known time
// D, presses SPACE through XTest, and in the end compares each D with the time the program wrote
// to its export file: error = reported - D.
//
//   blinkdash-robot --fb DIR/Xvfb_screen0 --signals N --export FILE
// (DISPLAY names the Xvfb display; blinkdash must already show its main window there.)

#include "robotcommon.h"
#include "xvfbscreen.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/record.h>
#include <X11/keysym.h>
#include <arpa/inet.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/ipc.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/shm.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Micros = std::chrono::duration<double, std::micro>;

[[noreturn]] void Fail(const std::string &why)
{
    std::fprintf(stderr, "blinkdash-robot: %s\n", why.c_str());
    std::exit(1);
}

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

using Framebuffer = XvfbScreen;

constexpr uint32_t Yellow = 0xFFFF00;

struct Hit
{
    bool found = false;
    int x = 0, y = 0;
};

// One look at a sparse grid, finer than the disc (1/40 of the screen's width) is wide.
Hit Scan(const Framebuffer &fb, int step)
{
    for (int y = step / 2; y < fb.height; y += step)
        for (int x = step / 2; x < fb.width; x += step)
            if (fb.Pixel(x, y) == Yellow)
                return {true, x, y};
    return {};
}

// The framebuffer file must show what the server shows: compare it with XShmGetImage. Xvfb draws
// its pointer into the framebuffer but not into images, so the pointer is parked in the bottom
// right corner and that corner left out.
long CompareWithServer(Display *display, const Framebuffer &fb)
{
    constexpr int Corner = 64;
    XTestFakeMotionEvent(display, DefaultScreen(display), fb.width - 1, fb.height - 1, 0);
    XSync(display, False);
    const int screen = DefaultScreen(display);
    if (!XShmQueryExtension(display))
        Fail("the X server has no MIT-SHM");
    XShmSegmentInfo segment {};
    XImage *image = XShmCreateImage(display, DefaultVisual(display, screen), DefaultDepth(display, screen), ZPixmap,
        nullptr, &segment, fb.width, fb.height);
    segment.shmid = shmget(IPC_PRIVATE, static_cast<size_t>(image->bytes_per_line) * image->height, IPC_CREAT | 0600);
    segment.shmaddr = image->data = static_cast<char *>(shmat(segment.shmid, nullptr, 0));
    segment.readOnly = False;
    XShmAttach(display, &segment);
    XShmGetImage(display, RootWindow(display, screen), image, 0, 0, AllPlanes);
    long different = 0;
    for (int y = 0; y < fb.height; ++y)
        for (int x = 0; x < fb.width; ++x)
            if (x < fb.width - Corner || y < fb.height - Corner)
                different += (XGetPixel(image, x, y) & 0xFFFFFF) != fb.Pixel(x, y);
    XShmDetach(display, &segment);
    XDestroyImage(image);
    shmdt(segment.shmaddr);
    shmctl(segment.shmid, IPC_RMID, nullptr);
    return different;
}

// The first window whose title contains title.
Window FindWindow(Display *display, Window parent, const char *title)
{
    Window root, up, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, parent, &root, &up, &children, &count))
        return 0;
    Window found = 0;
    for (unsigned i = 0; i < count && !found; ++i) {
        char *name = nullptr;
        if (XFetchName(display, children[i], &name) && name) {
            if (std::strstr(name, title))
                found = children[i];
            XFree(name);
        }
        if (!found)
            found = FindWindow(display, children[i], title);
    }
    if (children)
        XFree(children);
    return found;
}

Window AwaitWindow(Display *display, const char *title)
{
    for (int i = 0; i < 300; ++i) {
        if (Window w = FindWindow(display, DefaultRootWindow(display), title))
            return w;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    Fail(std::string("no window \"") + title + "\" appeared");
}

void Click(Display *display, Window window, int x, int y)
{
    int rootX = 0, rootY = 0;
    Window child;
    XTranslateCoordinates(display, window, DefaultRootWindow(display), x, y, &rootX, &rootY, &child);
    XTestFakeMotionEvent(display, DefaultScreen(display), rootX, rootY, 0);
    XTestFakeButtonEvent(display, 1, True, 0);
    XTestFakeButtonEvent(display, 1, False, 30);
    XFlush(display);
}

void Key(Display *display, KeySym symbol, bool press)
{
    XTestFakeKeyEvent(display, XKeysymToKeycode(display, symbol), press, 0);
    XFlush(display);
}

// Types printable ASCII: its characters are their own Latin-1 keysyms; shift where the key's
// plain level is another symbol.
void Type(Display *display, const std::string &text)
{
    for (const char c : text) {
        const KeySym symbol = static_cast<unsigned char>(c);
        const KeyCode code = XKeysymToKeycode(display, symbol);
        const bool shift = XkbKeycodeToKeysym(display, code, 0, 0) != symbol;
        if (shift)
            Key(display, XK_Shift_L, true);
        XTestFakeKeyEvent(display, code, True, 0);
        XTestFakeKeyEvent(display, code, False, 0);
        if (shift)
            Key(display, XK_Shift_L, false);
        XFlush(display);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// The server's own stamps of the key presses it takes in, as every X11 program gets them: the
// server stamps a key when it gets to it, so a busy server stamps it late, whichever program
// reads it. Read through RECORD, on a connection of its own.
class KeyStamps
{
public:
    explicit KeyStamps(const char *displayName)
        : control(XOpenDisplay(displayName))
        , data(XOpenDisplay(displayName))
    {
        int major = 0, minor = 0;
        if (!control || !data || !XRecordQueryVersion(control, &major, &minor))
            return;
        XRecordRange *range = XRecordAllocRange();
        range->device_events.first = KeyPress;
        range->device_events.last = KeyPress;
        XRecordClientSpec clients = XRecordAllClients;
        context = XRecordCreateContext(control, 0, &clients, 1, &range, 1);
        XFree(range);
        XSync(control, False);
        reader = std::thread(
            [this] { XRecordEnableContext(data, context, &KeyStamps::Take, reinterpret_cast<XPointer>(this)); });
    }
    ~KeyStamps()
    {
        if (context) {
            XRecordDisableContext(control, context);
            XSync(control, False);
            reader.join();
            XRecordFreeContext(control, context);
        }
        if (control)
            XCloseDisplay(control);
        if (data)
            XCloseDisplay(data);
    }
    bool Working() const { return context != 0; }
    // The stamps so far, ms, in order.
    std::vector<uint32_t> Stamps()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return stamps;
    }

private:
    static void Take(XPointer self, XRecordInterceptData *recorded)
    {
        auto *keys = reinterpret_cast<KeyStamps *>(self);
        if (recorded->category == XRecordFromServer && recorded->data_len * 4 >= 8) {
            const auto *event = reinterpret_cast<const uint8_t *>(recorded->data);
            uint32_t time;
            std::memcpy(&time, event + 4, 4); // a core input event: type, detail, sequence, time
            if ((event[0] & 0x7f) == KeyPress) {
                std::lock_guard<std::mutex> lock(keys->mutex);
                keys->stamps.push_back(time);
            }
        }
        XRecordFreeData(recorded);
    }

    Display *control, *data;
    XRecordContext context = 0;
    std::thread reader;
    std::mutex mutex;
    std::vector<uint32_t> stamps;
};

struct Signal
{
    double target = 0, kept = 0; // D asked for and D kept, ms
    int y = 0;                   // where the disc was seen
    double scanGap = 0;          // longest gap between two looks while waiting, ms
    double gapBefore = 0;        // the gap before the look that found the disc: when in it the disc came is open
    double send = 0;             // time to hand the press to the server, ms
    double pressedMs = 0;        // when the press was handed over, CLOCK_MONOTONIC ms
    double keyDelay = 0;         // from then to the server's stamp of it, ms
};

} // namespace

int main(int argc, char *argv[])
{
    const char *fbPath = nullptr, *exportPath = nullptr;
    int signals = 50;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--fb")
            fbPath = argv[i + 1];
        else if (option == "--signals")
            signals = std::atoi(argv[i + 1]);
        else if (option == "--export")
            exportPath = argv[i + 1];
    }
    if (!fbPath || !exportPath || signals < 3)
        Fail("usage: blinkdash-robot --fb FILE --signals N --export FILE");

    // Punctual wake-ups: no timer slack, and real-time priority where the user may have it (the
    // robot sleeps between its looks, so it takes little from the program it measures).
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    sched_param priority {};
    priority.sched_priority = 10;
    const bool realTime = sched_setscheduler(0, SCHED_FIFO, &priority) == 0;

    Display *display = XOpenDisplay(nullptr);
    if (!display)
        Fail("cannot open the display");
    int event, error, major, minor;
    if (!XTestQueryExtension(display, &event, &error, &major, &minor))
        Fail("the X server has no XTEST");
    const Framebuffer fb(fbPath);
    if (!fb.Valid())
        Fail(std::string("cannot read the framebuffer ") + fbPath + " (Xvfb at depth 24, -fbdir)");
    if (fb.width != DisplayWidth(display, 0) || fb.height != DisplayHeight(display, 0))
        Fail("the framebuffer file is not this display's");

    const Window main = AwaitWindow(display, "Tamber's Flinkprobe");
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const long different = CompareWithServer(display, fb);

    KeyStamps keyStamps(nullptr);
    Click(display, main, 30 + 190, 260 + 35); // "Los geht's ..."
    const int step = std::max(4, fb.width / 40 / 3);
    std::mt19937 random(std::random_device {}());
    std::uniform_real_distribution<double> drawD(150.0, 400.0);
    std::vector<Signal> run;
    double worstGap = 0;
    for (int i = 0; i < signals; ++i) {
        Signal s;
        s.target = drawD(random);
        // Look every 100 us until the disc is there.
        Hit hit;
        Clock::time_point seen, last = Clock::now();
        const Clock::time_point giveUp = last + std::chrono::seconds(30);
        while (!(hit = Scan(fb, step)).found) {
            const Clock::time_point now = Clock::now();
            s.scanGap = std::max(s.scanGap, Ms(now - last));
            last = now;
            if (now > giveUp)
                Fail("no signal came");
            std::this_thread::sleep_until(now + std::chrono::microseconds(100));
        }
        seen = Clock::now();
        s.gapBefore = Ms(seen - last);
        s.scanGap = std::max(s.scanGap, s.gapBefore);
        s.y = hit.y;
        // Wait D: sleep most of it, spin the rest, then press.
        const Clock::time_point due = seen + std::chrono::duration_cast<Clock::duration>(Micros(s.target * 1000));
        std::this_thread::sleep_until(due - std::chrono::microseconds(500));
        while (Clock::now() < due) {
        }
        const Clock::time_point sending = Clock::now();
        s.pressedMs = std::chrono::duration<double, std::milli>(sending.time_since_epoch()).count();
        Key(display, XK_space, true);
        const Clock::time_point sent = Clock::now();
        s.kept = Ms(sending - seen);
        s.send = Ms(sent - sending);
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
        Key(display, XK_space, false);
        // The disc goes with the answer; wait for that, so as not to see it twice.
        while (Scan(fb, step).found)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        run.push_back(s);
        worstGap = std::max(worstGap, s.scanGap);
    }

    // The end notice, ESC, then the export through the program's own dialog.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    Key(display, XK_Escape, true);
    Key(display, XK_Escape, false);
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    ::unlink(exportPath);
    Click(display, main, 280 + 65, 100 + 15);                     // "Ergebnisse Speichern"
    AwaitWindow(display, "einen Dateinamen zum Abspeichern");     // the title's umlaut may come in Latin-1
    std::this_thread::sleep_for(std::chrono::milliseconds(1500)); // mapped, focused, name field ready
    Type(display, exportPath);
    Key(display, XK_Return, true);
    Key(display, XK_Return, false);
    const std::vector<int> reported = ExportedTimes(exportPath);
    if (static_cast<int>(reported.size()) != signals)
        Fail("the export file holds " + std::to_string(reported.size()) + " times, not " + std::to_string(signals));

    // The presses the server took in promptly: their errors are the program's own.
    const std::vector<uint32_t> stamps = keyStamps.Stamps();
    std::vector<double> prompt;
    for (int i = 0; i < signals && i < static_cast<int>(stamps.size()); ++i) {
        run[i].keyDelay = stamps[i] + 0.5 - std::fmod(run[i].pressedMs, 4294967296.0);
        std::printf("TRIAL %d D=%.3f reported=%d error=%.3f key_delay=%.2f\n", i, run[i].kept, reported[i],
            reported[i] - run[i].kept, run[i].keyDelay);
        if (run[i].keyDelay <= 1.5)
            prompt.push_back(reported[i] - run[i].kept);
    }
    std::vector<double> errors, ys, keptOff, sends, gapsBefore;
    for (int i = 0; i < signals; ++i) {
        errors.push_back(reported[i] - run[i].kept);
        ys.push_back(run[i].y);
        keptOff.push_back(std::abs(run[i].kept - run[i].target));
        sends.push_back(run[i].send);
        gapsBefore.push_back(run[i].gapBefore);
    }
    // How the error grows with the disc's height: least squares, ms per 1000 px.
    const double my = Mean(ys), me = Mean(errors);
    double sxy = 0, sxx = 0;
    for (int i = 0; i < signals; ++i) {
        sxy += (ys[i] - my) * (errors[i] - me);
        sxx += (ys[i] - my) * (ys[i] - my);
    }
    std::vector<double> others(errors.begin() + 1, errors.end());
    std::printf("RESULT %dx%d signals=%d bias=%.2f sd=%.2f min=%.2f max=%.2f slope=%.2f first=%.2f others=%.2f "
                "scan_gap_max=%.3f gap_before_mean=%.3f gap_before_max=%.3f send_mean=%.3f send_max=%.3f "
                "d_off_max=%.4f fb_vs_shm=%ld realtime=%d prompt=%zu prompt_bias=%.2f prompt_sd=%.2f prompt_min=%.2f "
                "prompt_max=%.2f\n",
        fb.width, fb.height, signals, me, Sd(errors), *std::min_element(errors.begin(), errors.end()),
        *std::max_element(errors.begin(), errors.end()), sxx > 0 ? 1000 * sxy / sxx : 0.0, errors[0], Mean(others),
        worstGap, Mean(gapsBefore), *std::max_element(gapsBefore.begin(), gapsBefore.end()), Mean(sends),
        *std::max_element(sends.begin(), sends.end()), *std::max_element(keptOff.begin(), keptOff.end()), different,
        realTime, prompt.size(), Mean(prompt), Sd(prompt),
        prompt.empty() ? 0.0 : *std::min_element(prompt.begin(), prompt.end()),
        prompt.empty() ? 0.0 : *std::max_element(prompt.begin(), prompt.end()));
    XCloseDisplay(display);
    // A D that was not kept makes every figure above doubtful.
    return *std::max_element(keptOff.begin(), keptOff.end()) <= 0.1 ? 0 : 3;
}

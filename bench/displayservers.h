// Real display servers for the program to run on, each with a robot's eye on every frame and
// hands to type and click: Xvfb with openbox, and weston's headless backend with the robot module
// of westonrobot.c, the program natively or through Xwayland. tst_display plays a person's
// scenarios on them.

#pragma once

#include "xvfbscreen.h"

#include <QDir>
#include <QFile>
#include <QList>
#include <QPoint>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QString>
#include <QThread>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <ctime>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>

// What the screen showed from `atNs` on (on the screen's own clock): how many discs, where the
// first was, and whether anything but black and discs.
struct Sight
{
    qint64 atNs = 0;
    int discs = 0;
    bool lit = false;
    bool middleLit = false; // anything in the screen's middle fifth, where the instructions go
    bool centreLit = false; // anything around the centre, where a central disc and its ring go
};

inline qint64 NsOn(clockid_t clock)
{
    timespec t {};
    clock_gettime(clock, &t);
    return qint64 {t.tv_sec} * 1000000000 + t.tv_nsec;
}

// The top-level X window whose title is title, and where it is on the screen.
struct XPlace
{
    Window window = 0;
    QPoint origin;
};
inline std::optional<XPlace> FindXWindow(Display *display, const char *title, Window parent = 0)
{
    if (!parent)
        parent = DefaultRootWindow(display);
    Window root, up, *children = nullptr;
    unsigned count = 0;
    std::optional<XPlace> found;
    if (!XQueryTree(display, parent, &root, &up, &children, &count))
        return found;
    for (unsigned i = 0; i < count && !found; ++i) {
        char *name = nullptr;
        XWindowAttributes attributes;
        if (XFetchName(display, children[i], &name) && name && std::strcmp(name, title) == 0
            && XGetWindowAttributes(display, children[i], &attributes) && attributes.map_state == IsViewable) {
            int x = 0, y = 0;
            Window child;
            XTranslateCoordinates(display, children[i], root, 0, 0, &x, &y, &child);
            found = XPlace {children[i], QPoint(x, y)};
        }
        if (name)
            XFree(name);
        if (!found)
            found = FindXWindow(display, title, children[i]);
    }
    if (children)
        XFree(children);
    return found;
}

// One display server with the robot's eye and hands.
class DisplayServer
{
public:
    virtual ~DisplayServer()
    {
        for (QProcess *process : {&cover, &windowManager, &server}) {
            process->terminate();
            if (!process->waitForFinished(3000))
                process->kill();
        }
    }
    // Starts it in folder; a reason when it cannot.
    virtual QString Start(const QString &folder) = 0;
    virtual void Environment(QProcessEnvironment &env) const = 0;
    virtual void Click(const char *window, QPoint point) = 0; // a point of that window's form
    virtual void Escape() = 0;
    virtual void PressSpace() = 0; // stamped now
    // SPACE after the next disc was drawn, before the display showed it; false where the robot
    // cannot tell the two apart.
    virtual bool PressBeforeShown() { return false; }
    virtual void Answer(int ms) = 0; // from now on SPACE ms after each disc came, by when it came
    virtual void Cover(bool on) = 0; // another program's window over the screen, with the keyboard
    virtual QList<Sight> Sights() = 0;
    // The answers' times, ms after their discs came: at least and at most (the robot sees a disc
    // some time after it came, and takes some time to hand the press over).
    virtual QList<std::pair<double, double>> Answered() = 0;
    virtual qint64 NowNs() = 0; // on the clock of the sights
    // The clock that times a screen run here: its name in the trace and in the journal.
    virtual QString Timing() const = 0;
    virtual QString StoredTiming() const = 0;
    // The most a reported time may lie outside the robot's answer: on X11 the stamps' grain and a
    // busy server's lateness (bench/run measures the program's share), under Xwayland also the
    // compositor's delay in showing what Xwayland drew, which the screen check measures; under
    // weston, whose frames and keys the robot stamps itself, none.
    virtual int Slack() const = 0;

protected:
    QProcess server, windowManager, cover;
};

// Xvfb with openbox: XTest to type and click, the framebuffer file looked at every 0.3 ms.
class OpenboxScreen : public DisplayServer
{
public:
    ~OpenboxScreen() override
    {
        watching = false;
        if (eye.joinable())
            eye.join();
        if (display)
            XCloseDisplay(display);
    }

    const std::string &ScreenFile() const { return screenFile; } // Xvfb's image of the screen
    // Each answer's SPACE, between these two instants (ns on the monotonic clock).
    QList<std::pair<qint64, qint64>> KeysSent()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return keysSent;
    }

    QString Start(const QString &folder) override
    {
        if (QStandardPaths::findExecutable("Xvfb").isEmpty() || QStandardPaths::findExecutable("openbox").isEmpty())
            return "Xvfb and openbox are not installed";
        for (number = 150; QFile::exists(QString("/tmp/.X11-unix/X%1").arg(number)); ++number) {
        }
        server.start(
            "Xvfb", {QString(":%1").arg(number), "-screen", "0", "1280x800x24", "-fbdir", folder, "-nolisten", "tcp"});
        const QByteArray name = QString(":%1").arg(number).toLatin1();
        for (int i = 0; i < 100 && !display; ++i, QThread::msleep(50))
            display = XOpenDisplay(name.constData());
        if (!display)
            return "Xvfb did not start";
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", name);
        windowManager.setProcessEnvironment(env);
        windowManager.start("openbox", {});
        const Atom managed = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", False);
        for (int i = 0; i < 200 && !HasProperty(DefaultRootWindow(display), managed); ++i)
            QThread::msleep(50);
        screenFile = (folder + "/Xvfb_screen0").toStdString();
        watching = true;
        eye = std::thread([this, name] { Watch(name); });
        return {};
    }

    void Environment(QProcessEnvironment &env) const override
    {
        env.insert("DISPLAY", QString(":%1").arg(number));
        env.insert("QT_QPA_PLATFORM", "xcb");
    }

    void Click(const char *window, QPoint point) override
    {
        // Ready for a click once the window manager has placed it and given it the keyboard: on a
        // busy machine that takes longer than any fixed wait.
        std::optional<XPlace> place;
        Window focus = 0;
        int revert = 0;
        for (int i = 0; i < 200 && (!place || focus != place->window); ++i, QThread::msleep(50)) {
            place = FindXWindow(display, window);
            XGetInputFocus(display, &focus, &revert);
        }
        if (!place) {
            qWarning("no window \"%s\" on the screen", window);
            return;
        }
        QThread::msleep(300); // its first image drawn
        XTestFakeMotionEvent(
            display, DefaultScreen(display), place->origin.x() + point.x(), place->origin.y() + point.y(), 0);
        XTestFakeButtonEvent(display, 1, True, 0);
        XTestFakeButtonEvent(display, 1, False, 30);
        XSync(display, False);
    }

    void Escape() override { Key(display, XK_Escape); }
    void PressSpace() override { Key(display, XK_space); }
    void Answer(int ms) override { answerMs = ms; }
    // From now on each answer's key by where its disc came: the screen parted into as many columns
    // as keys, left to right, a key for each; none, SPACE. Yellow discs only: others are not answered.
    void AnswerByColumn(const QList<KeySym> &keys)
    {
        std::lock_guard<std::mutex> lock(mutex);
        columnKeys = keys;
    }

    void Cover(bool on) override
    {
        if (on) {
            covering = XCreateSimpleWindow(display, DefaultRootWindow(display), 100, 100, 500, 400, 0, 0, 0xFFFFFF);
            XStoreName(display, covering, "Deckel");
            XMapRaised(display, covering);
            XSync(display, False);
            QThread::msleep(300); // mapped and focused by the window manager
            XSetInputFocus(display, covering, RevertToParent, CurrentTime);
        } else {
            XDestroyWindow(display, covering);
        }
        XSync(display, False);
    }

    QList<Sight> Sights() override
    {
        std::lock_guard<std::mutex> lock(mutex);
        return sights;
    }
    QList<std::pair<double, double>> Answered() override
    {
        std::lock_guard<std::mutex> lock(mutex);
        return answered;
    }
    qint64 NowNs() override { return NsOn(CLOCK_MONOTONIC); }
    QString Timing() const override { return "X-Server (Serverzeit)"; }
    QString StoredTiming() const override { return "x11-servertime"; }
    int Slack() const override { return 3; }

private:
    bool HasProperty(Window window, Atom property) const
    {
        int count = 0;
        Atom *properties = XListProperties(display, window, &count);
        const bool has = std::find(properties, properties + count, property) != properties + count;
        if (properties)
            XFree(properties);
        return has;
    }

    static void Key(Display *on, KeySym symbol, bool up = true)
    {
        XTestFakeKeyEvent(on, XKeysymToKeycode(on, symbol), True, 0);
        if (up)
            XTestFakeKeyEvent(on, XKeysymToKeycode(on, symbol), False, 40);
        XSync(on, False);
    }

    void Watch(const QByteArray &name)
    {
        Display *hands = XOpenDisplay(name.constData()); // the eye's own connection, for answers
        const XvfbScreen screen(screenFile);
        XvfbScreen::Sight last;
        last.discs = -1;
        qint64 lookedBefore = NowNs();
        while (watching && screen.Valid()) {
            const qint64 looking = NowNs();
            const XvfbScreen::Sight seen = screen.Look();
            const qint64 looked = NowNs();
            if (seen.discs != last.discs || (seen.lit > 0) != (last.lit > 0)
                || (seen.middleLit > 0) != (last.middleLit > 0) || (seen.centreLit > 0) != (last.centreLit > 0)) {
                std::lock_guard<std::mutex> lock(mutex);
                sights.append({looked, seen.discs, seen.lit > 0, seen.middleLit > 0, seen.centreLit > 0});
                if (last.discs == 0 && seen.discs > 0 && answerMs > 0) {
                    // The disc came after the look before this one began, and before this one ended.
                    const qint64 due = looked + qint64 {answerMs} * 1000000;
                    // Asleep until shortly before, so that a core stays free for what is being timed.
                    std::this_thread::sleep_for(std::chrono::nanoseconds(due - NowNs() - 2000000));
                    while (NowNs() < due) {
                    }
                    const int columns = static_cast<int>(columnKeys.size());
                    const KeySym key
                        = columns ? columnKeys[std::min(columns - 1, seen.x * columns / screen.width)] : XK_space;
                    const qint64 sending = NowNs();
                    XTestFakeKeyEvent(hands, XKeysymToKeycode(hands, key), True, 0);
                    XSync(hands, False);
                    const qint64 sent = NowNs();
                    answered.append({(sending - looked) / 1e6, (sent - lookedBefore) / 1e6});
                    keysSent.append({sending, sent});
                    XTestFakeKeyEvent(hands, XKeysymToKeycode(hands, key), False, 40);
                    XSync(hands, False);
                }
                last = seen;
            }
            lookedBefore = looking;
            std::this_thread::sleep_for(std::chrono::microseconds(300));
        }
        XCloseDisplay(hands);
    }

    int number = 0;
    Display *display = nullptr;
    Window covering = 0;
    std::string screenFile;
    std::thread eye;
    std::atomic<bool> watching {false};
    std::atomic<int> answerMs {0};
    std::mutex mutex;
    QList<Sight> sights;
    QList<std::pair<double, double>> answered;
    QList<std::pair<qint64, qint64>> keysSent;
    QList<KeySym> columnKeys;
};

// weston's headless backend with its kiosk shell (every window full screen, the last one on
// top), the robot a module inside it; the program natively or through Xwayland.
class WestonScreen : public DisplayServer
{
public:
    explicit WestonScreen(bool xwayland)
        : throughX(xwayland)
    { }
    QString Start(const QString &folder) override
    {
        if (QStandardPaths::findExecutable("weston").isEmpty())
            return "weston is not installed";
        if (!QFile::exists(BLINKDASH_WESTON_ROBOT))
            return "the robot module for weston was not built (libweston-10-dev)";
        runtime = folder + "/run";
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        fifo = folder + "/robot.fifo";
        log.setFileName(folder + "/robot.log");
        if (mkfifo(QFile::encodeName(fifo).constData(), 0600) != 0)
            return "no FIFO for the robot";
        QFile config(folder + "/weston.ini");
        if (!config.open(QIODevice::WriteOnly) || config.write("[core]\nshell=kiosk-shell.so\n") < 0)
            return "cannot write weston.ini";
        config.close();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", runtime);
        env.insert("BLINKDASH_ROBOT_FIFO", fifo);
        env.insert("BLINKDASH_ROBOT_LOG", log.fileName());
        server.setProcessEnvironment(env);
        server.setProcessChannelMode(QProcess::MergedChannels);
        QStringList arguments {"--config=" + config.fileName(), "--backend=headless-backend.so", "--use-pixman",
            "--width=1280", "--height=800", "--socket=wayland-blinkdash", "--modules=" BLINKDASH_WESTON_ROBOT};
        if (throughX)
            arguments << "--xwayland";
        server.start("weston", arguments);
        for (int i = 0; i < 100 && !log.isOpen(); ++i, QThread::msleep(50))
            if (QFile::exists(log.fileName()))
                log.open(QIODevice::ReadOnly);
        commands.setFileName(fifo);
        if (!log.isOpen() || !commands.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return "weston did not start: " + server.readAll();
        if (throughX) {
            QByteArray output;
            QRegularExpressionMatch listening;
            for (int i = 0; i < 100 && !listening.hasMatch(); ++i, QThread::msleep(50)) {
                server.waitForReadyRead(0);
                output += server.readAll();
                listening = QRegularExpression("listening on display (:\\d+)").match(output);
            }
            if (!listening.hasMatch())
                return "Xwayland did not start: " + output;
            xDisplay = listening.captured(1);
        }
        return {};
    }

    void Environment(QProcessEnvironment &env) const override
    {
        env.insert("XDG_RUNTIME_DIR", runtime);
        env.insert("WAYLAND_DISPLAY", "wayland-blinkdash");
        env.insert("QT_QPA_PLATFORM", throughX ? "xcb" : "wayland");
        if (throughX)
            env.insert("DISPLAY", xDisplay);
    }

    void Click(const char *window, QPoint point) override
    {
        for (int i = 0; i < 200 && (Sights().isEmpty() || !Sights().last().lit); ++i)
            QThread::msleep(50);
        QThread::msleep(500); // the window up, and its first frame shown
        Command(QString("click %1 %2 %3").arg(point.x()).arg(point.y()).arg(window));
    }

    void Escape() override { Command("key 1"); }
    void PressSpace() override { Command("press"); }
    bool PressBeforeShown() override
    {
        Command("early");
        return true;
    }
    void Answer(int ms) override { Command(QString("answer %1").arg(ms)); }

    void Cover(bool on) override
    {
        if (on) {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            Environment(env);
            cover.setProcessEnvironment(env);
            cover.start("weston-simple-shm", {});
            QThread::msleep(500);
        } else {
            cover.terminate();
            cover.waitForFinished(3000);
        }
    }

    QList<Sight> Sights() override
    {
        for (QByteArray line = log.readLine(); !line.isEmpty(); line = log.readLine()) {
            const QList<QByteArray> fields = line.trimmed().split(' ');
            if (fields.size() == 6 && fields[0] == "sight")
                sights.append({fields[5].toLongLong(), fields[1].toInt(), fields[4].toInt() > 0, false, false});
            else if (fields.size() == 3 && fields[0] == "pressed" && fields[2].toDouble() > 0)
                answered.append({fields[2].toDouble(), fields[2].toDouble()}); // stamped exactly so
        }
        return sights;
    }
    QList<std::pair<double, double>> Answered() override
    {
        Sights();
        return answered;
    }
    // weston's headless output presents on CLOCK_MONOTONIC_RAW where the kernel has it.
    qint64 NowNs() override { return NsOn(CLOCK_MONOTONIC_RAW); }
    QString Timing() const override { return throughX ? "XWayland (Serverzeit)" : "Wayland (Praesentation)"; }
    QString StoredTiming() const override { return throughX ? "xwayland-servertime" : "wayland-presentation"; }
    int Slack() const override { return throughX ? 150 : 0; }

private:
    void Command(const QString &command) { commands.write((command + "\n").toLatin1()); }

    bool throughX;
    QString runtime, fifo, xDisplay;
    QFile log, commands;
    QList<Sight> sights;
    QList<std::pair<double, double>> answered;
};

// blinkdash-boxsim: plays the switch box on a pseudo-terminal, for trying box mode without a box.
//
// It offers the terminal to blinkdash as COM port N through the link "blinkdash-comN" in the data
// folder and answers each "r" with a "t <microseconds>" line: a fixed time, a random one, or,
// interactively, the time from "LED" on the terminal to the person's Enter key. It answers each
// light measurement "l" as a screen with the display latency given would, or with a timeout, and
// each "e" with "e"; a screen trial "s" like "l", and then the button as a person pressing it
// those times after the light.
//
// The screen has frames, scan-out, jitter and dropped frames where asked. Its sensor sees the
// drawing in an X server's screen file (Xvfb -fbdir), or, without one, takes the command's arrival
// for the drawing.
//
// With --firmware it runs the box's real firmware instead, instruction by instruction in simavr
// and paced to the wall clock, presses the simulated button at those times after the LED and
// lights its sensor that display latency after each "l".

#include "folders.h"
#include "portname.h"
#include "pseudoterminal.h"
#include "screenmodel.h"
#include "xwdscreen.h"
#ifdef BLINKDASH_WITH_SIMAVR
#include "avrbox.h"
#endif

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QRandomGenerator>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>
#include <poll.h>
#include <sched.h>
#include <type_traits>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

volatile std::sig_atomic_t stopRequested = 0;

void RequestStop(int)
{
    stopRequested = 1;
}

struct Options
{
    int com = 1;
    bool interactive = false;
    qint64 minUs = 200000, maxUs = 400000; // equal for a fixed time
    QString firmware;                      // run this firmware in simulation
    double latencyMs = -1;                 // the screen's display latency; none: no light
    ScreenModel screen;
    QString screenFile;             // the X server's screen the sensor looks at
    int sensorX = -1, sensorY = -1; // where on it, in pixels; none: the centre
};

constexpr qint64 LightTimeoutUs = 1000000; // the box gives up on a light after a second

qint64 DrawUs(const Options &options)
{
    return options.minUs
        + static_cast<qint64>(
            QRandomGenerator::global()->bounded(static_cast<double>(options.maxUs - options.minUs + 1)));
}

void Say(const char *format, const QByteArray &text = QByteArray())
{
    std::printf(format, text.constData());
    std::fflush(stdout);
}

bool ParseOptions(Options &options)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Plays blinkdash's switch box on a pseudo-terminal."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions({
        {QStringLiteral("com"), QStringLiteral("Offer the box as COM port <n> (default 1)."), QStringLiteral("n")},
        {QStringLiteral("time"), QStringLiteral("Answer every signal with <us> microseconds."), QStringLiteral("us")},
        {QStringLiteral("random"),
            QStringLiteral("Answer with a random time from <min:max> microseconds "
                           "(default 200000:400000)."),
            QStringLiteral("min:max")},
        {QStringLiteral("interactive"), QStringLiteral("Show the LED here and time the Enter key.")},
        {QStringLiteral("display-latency"),
            QStringLiteral("Answer each light measurement as a screen lighting <ms> milliseconds "
                           "(23.4, say) after the command would; without it they time out."),
            QStringLiteral("ms")},
        {QStringLiteral("refresh"),
            QStringLiteral("The screen shows frames, <hz> a second: a drawing lights the sensor when the "
                           "next frame is scanned out down to it, plus the display latency."),
            QStringLiteral("hz")},
        {QStringLiteral("jitter"), QStringLiteral("A normal jitter of <ms> (standard deviation) on each light."),
            QStringLiteral("ms")},
        {QStringLiteral("dropped"), QStringLiteral("A share <0..1> of the drawings shown a frame late."),
            QStringLiteral("share")},
        {QStringLiteral("screen"),
            QStringLiteral("The sensor looks at the X server's screen <file> (Xvfb -fbdir): it sees the "
                           "drawing there, not at the command's arrival."),
            QStringLiteral("file")},
        {QStringLiteral("sensor"), QStringLiteral("Where on that screen the sensor sits (default: the centre)."),
            QStringLiteral("x,y")},
        {QStringLiteral("firmware"),
            QStringLiteral("Run the box firmware <elf> (blinkdash-box.elf) in simulation; the times "
                           "above are when its button is pressed, the display latency when its "
                           "sensor sees light."),
            QStringLiteral("elf")},
    });
    // Every invalid option gives status 2, as the manual says; process() would give 1.
    if (!parser.parse(QCoreApplication::arguments())) {
        std::fprintf(stderr, "blinkdash-boxsim: %s (see --help)\n", qPrintable(parser.errorText()));
        return false;
    }
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all")))
        parser.showHelp(0);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();

    bool ok = true;
    if (parser.isSet(QStringLiteral("com")))
        options.com = parser.value(QStringLiteral("com")).toInt(&ok);
    if (ok && parser.isSet(QStringLiteral("time")))
        options.minUs = options.maxUs = parser.value(QStringLiteral("time")).toLongLong(&ok);
    // Two numbers with a separator between them, both of 0 or more.
    const auto pair = [&parser, &ok](const char *name, char separator, auto &first, auto &second) {
        if (!ok || !parser.isSet(QLatin1String(name)))
            return;
        const QStringList parts = parser.value(QLatin1String(name)).split(QLatin1Char(separator));
        bool firstOk = false, secondOk = false;
        if (parts.size() == 2) {
            first = static_cast<std::remove_reference_t<decltype(first)>>(parts.at(0).toLongLong(&firstOk));
            second = static_cast<std::remove_reference_t<decltype(second)>>(parts.at(1).toLongLong(&secondOk));
        }
        ok = firstOk && secondOk && first >= 0 && second >= 0;
    };
    pair("random", ':', options.minUs, options.maxUs);
    ok = ok && options.minUs <= options.maxUs;
    const auto number = [&parser, &ok](const char *name, double &value, double low, double high) {
        if (ok && parser.isSet(QLatin1String(name))) {
            value = parser.value(QLatin1String(name)).toDouble(&ok);
            ok = ok && value >= low && value <= high; // not a number fails both
        }
    };
    number("display-latency", options.latencyMs, 0, 3.6e6);
    number("refresh", options.screen.refreshHz, 1, 1000);
    number("jitter", options.screen.jitterMs, 0, 100);
    number("dropped", options.screen.droppedShare, 0, 1);
    options.screen.latencyMs = std::max(options.latencyMs, 0.0);
    options.screenFile = parser.value(QStringLiteral("screen"));
    pair("sensor", ',', options.sensorX, options.sensorY);
    options.interactive = parser.isSet(QStringLiteral("interactive"));
    options.firmware = parser.value(QStringLiteral("firmware"));
    const bool inRange = options.com >= 0 && options.com <= 99 && options.minUs >= 0;
    if (!ok || !inRange) {
        std::fprintf(stderr,
            "blinkdash-boxsim: COM 0..99, times of 0 or more, refresh 1..1000 Hz, jitter 0..100 ms, dropped "
            "0..1 and a sensor at x,y, please (see --help)\n");
        return false;
    }
    return true;
}

// The box: reads the program's command lines and times its answers.
class Box
{
public:
    Box(PseudoTerminal &line, const Options &options)
        : pty(line)
        , opts(options)
        , simulated(options.screen, QRandomGenerator::global()->generate())
    {
        if (opts.screenFile.isEmpty())
            return;
        screen = std::make_unique<XwdScreen>(QFile::encodeName(opts.screenFile).toStdString());
        if (screen->Valid()) // the scan-out reaches the sensor's row that far into a frame
            simulated.SetRow(static_cast<double>(SensorY()) / screen->height);
        // A sensor looks all the time; a simulator that a busy machine holds up between two looks
        // would see the drawing late. Real-time priority where allowed keeps its looks prompt.
        sched_param priority {};
        priority.sched_priority = 10;
        ::sched_setscheduler(0, SCHED_FIFO, &priority);
    }

    // Empty when the screen file, if one is asked for, can be read.
    QString ScreenTrouble() const
    {
        if (!screen)
            return QString();
        if (!screen->Valid())
            return QStringLiteral("cannot read the screen file %1 (Xvfb -fbdir, 24-bit colour)").arg(opts.screenFile);
        if (SensorX() >= screen->width || SensorY() >= screen->height)
            return QStringLiteral("the sensor is off the screen (%1x%2)").arg(screen->width).arg(screen->height);
        return QString();
    }

    void Run()
    {
        while (!stopRequested) {
            pollfd fds[2] = {{pty.MasterFd(), POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
            const int count = opts.interactive ? 2 : 1;
            const timespec timeout = Timeout();
            if (::ppoll(fds, count, &timeout, nullptr) < 0)
                continue; // a signal; the loop condition decides
            if (fds[0].revents & POLLIN)
                HandleBytes(pty.ReadAvailable());
            if (opts.interactive && (fds[1].revents & (POLLIN | POLLHUP)))
                HandleKey();
            if (Watching())
                Look();
            if (answerAt && Clock::now() >= *answerAt)
                Answer(drawnUs);
            if (lightAt && Clock::now() >= *lightAt)
                AnswerLight();
        }
    }

private:
    static constexpr int LookEveryUs = 100; // how often the sensor looks at the screen file

    int SensorX() const { return opts.sensorX >= 0 ? opts.sensorX : screen->width / 2; }
    int SensorY() const { return opts.sensorY >= 0 ? opts.sensorY : screen->height / 2; }
    bool Watching() const { return armedAt && !lightAt; } // armed, the drawing not yet seen

    timespec Timeout() const
    {
        if (Watching())
            return {0, LookEveryUs * 1000};
        std::optional<Clock::time_point> next = answerAt;
        if (lightAt && (!next || *lightAt < *next))
            next = lightAt;
        const qint64 leftUs = next
            ? std::max<qint64>(0, std::chrono::duration_cast<std::chrono::microseconds>(*next - Clock::now()).count())
            : 1000000;
        return {static_cast<time_t>(leftUs / 1000000), static_cast<long>(leftUs % 1000000) * 1000};
    }

    // What the sensor sees: the disc or a patch, bright; not the grey ring around it.
    bool SensorLit() const
    {
        for (int y = std::max(SensorY() - 2, 0); y <= std::min(SensorY() + 2, screen->height - 1); ++y)
            for (int x = std::max(SensorX() - 2, 0); x <= std::min(SensorX() + 2, screen->width - 1); ++x) {
                const std::uint32_t pixel = screen->Pixel(x, y);
                if ((pixel >> 16) >= 200 && ((pixel >> 8) & 0xFF) >= 200)
                    return true;
            }
        return false;
    }

    void HandleBytes(const QByteArray &bytes)
    {
        for (const char c : bytes) {
            if (c == '\n' || c == ';') {
                HandleCommand(command);
                command.clear();
            } else if (c != '\r' && command.size() < 100) {
                command.append(c);
            }
        }
    }

    void HandleCommand(const QByteArray &line)
    {
        const bool ledWasOn = ledOn.has_value();
        if (line == "r" || line == "l" || line == "s" || line.startsWith("L ")) {
            // Whatever the box measured is cancelled, without an answer.
            armedAt.reset();
            lightAt.reset();
            answerAt.reset();
            ledOn.reset();
            pressAfterLight = false;
        }
        if (line == "r") {
            ledOn = Clock::now();
            Say("LED on   <- r\n");
            if (opts.interactive) {
                Say("         press Enter!\n");
            } else {
                drawnUs = DrawUs(opts);
                answerAt = *ledOn + std::chrono::microseconds(drawnUs);
            }
        } else if (line.startsWith("L ")) {
            Say("LED %s  <- L\n", line.mid(2) == "1" ? "on " : "off");
        } else if (line == "l" || line == "s") {
            Arm(line == "s"); // first: a box arms its sensor as the command comes, before it says anything
            Say(ledWasOn ? "screen   <- %s (LED off, no time)\n" : "screen   <- %s\n", line);
        } else if (line == "e") {
            pty.Write("e\n");
            Say("echo     <- e -> e\n");
        } else if (!line.isEmpty()) {
            Say("ignored: %s\n", line);
        }
    }

    void Arm(bool trial)
    {
        screenTrial = trial;
        armedAt = Clock::now();
        lastLook = *armedAt;
        if (opts.latencyMs < 0) { // no screen: a box waits a second for the light, at most
            lightReply = "l timeout\n";
            lightAt = *armedAt + std::chrono::microseconds(LightTimeoutUs);
        } else if (!screen || SensorLit()) {
            // Nothing to look at, or the program drew as soon as it had sent the command: the
            // drawing is taken to come with the command.
            Drawn(*armedAt);
        }
    }

    // The sensor's screen file shows the drawing, or no drawing within a second.
    void Look()
    {
        const Clock::time_point now = Clock::now();
        if (SensorLit()) {
            Drawn(lastLook + (now - lastLook) / 2); // between this look and the one before
            return;
        }
        lastLook = now;
        if (now - *armedAt >= std::chrono::microseconds(LightTimeoutUs)) {
            lightReply = "l timeout\n";
            lightAt = now;
        }
    }

    // The screen lights the sensor as the model says, and the box answers from the arming.
    void Drawn(Clock::time_point at)
    {
        const double delayUs = simulated.LightDelayUs(at);
        const qint64 us = std::llround(std::chrono::duration<double, std::micro>(at - *armedAt).count() + delayUs);
        const bool seen = us <= LightTimeoutUs;
        lightReply = seen ? "l " + QByteArray::number(us) + '\n' : QByteArray("l timeout\n");
        lightAt = *armedAt + std::chrono::microseconds(seen ? us : LightTimeoutUs);
        // With the light's own instant on the monotonic clock, for whoever checks a time against it.
        lightNote = QByteArray::number(delayUs / 1000, 'f', 3) + " ms after the drawing, at "
            + QByteArray::number(static_cast<qint64>(
                std::chrono::duration_cast<std::chrono::microseconds>(lightAt->time_since_epoch()).count()))
            + " us";
    }

    void HandleKey()
    {
        char buffer[256];
        if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0) {
            stopRequested = 1; // end of input
            return;
        }
        if (!ledOn) {
            Say("         too early, the LED is off\n");
            return;
        }
        Answer(std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - *ledOn).count());
    }

    void AnswerLight()
    {
        pty.Write(lightReply);
        const bool lit = lightReply.at(2) >= '0' && lightReply.at(2) <= '9';
        Say("screen   -> %s", lit ? lightReply.chopped(1) + " (lit " + lightNote + ")\n" : lightReply);
        if (screenTrial && lit) { // the person sees the light and presses the button
            ledOn = lightAt;
            pressAfterLight = true;
            if (opts.interactive) {
                Say("         press Enter!\n");
            } else {
                drawnUs = DrawUs(opts);
                answerAt = *ledOn + std::chrono::microseconds(drawnUs);
            }
        }
        armedAt.reset();
        lightAt.reset();
        screenTrial = false;
    }

    void Answer(qint64 us)
    {
        const QByteArray reply = "t " + QByteArray::number(us) + '\n';
        pty.Write(reply);
        Say(pressAfterLight ? "button   -> %s" : "LED off  -> %s", reply);
        pressAfterLight = false;
        ledOn.reset();
        answerAt.reset();
    }

    PseudoTerminal &pty;
    const Options &opts;
    std::unique_ptr<XwdScreen> screen;
    SimulatedScreen simulated;
    QByteArray command;
    std::optional<Clock::time_point> ledOn, answerAt;
    std::optional<Clock::time_point> armedAt, lightAt; // the sensor's light measurement
    Clock::time_point lastLook;                        // the screen looked dark then
    bool screenTrial = false;                          // the button follows the light
    bool pressAfterLight = false;                      // and is awaited
    qint64 drawnUs = 0;
    QByteArray lightReply, lightNote;
};

#ifdef BLINKDASH_WITH_SIMAVR
// The real firmware: prints what passes on the line and when the button goes down.
int RunFirmware(const Options &options, const QString &link)
{
    AvrBox box;
    const std::string error = box.Start(QFile::encodeName(options.firmware).toStdString(), true);
    if (!error.empty()) {
        std::fprintf(stderr, "blinkdash-boxsim: %s\n", error.c_str());
        return 1;
    }
    QFile::remove(link);
    if (!QFile::link(QString::fromStdString(box.SerialDevice()), link)) {
        std::fprintf(stderr, "blinkdash-boxsim: cannot make the link %s\n", link.toLocal8Bit().constData());
        return 1;
    }
    std::printf("Firmware %s on COM%d: %s -> %s\n", options.firmware.toLocal8Bit().constData(), options.com,
        link.toLocal8Bit().constData(), box.SerialDevice().c_str());
    std::printf("In blinkdash choose \"Schaltbox\" and COM %d under \"Einstellungen\". Ctrl+C ends.\n", options.com);
    std::fflush(stdout);
    if (!options.interactive) {
        box.SetReaction([&options] { return static_cast<double>(DrawUs(options)); });
        box.SetReactionToLight([&options] { return static_cast<double>(DrawUs(options)); });
    }
    SimulatedScreen simulated(options.screen, QRandomGenerator::global()->generate());
    if (options.latencyMs >= 0) // the screen's frames run on the wall clock, like the simulation
        box.SetLightDelay([&simulated] { return simulated.LightDelayUs(Clock::now()); }, true);

    size_t shown = 0, pressesShown = 0, lightsShown = 0, lightPressesShown = 0;
    bool led = false;
    while (!stopRequested) {
        pollfd input {STDIN_FILENO, POLLIN, 0};
        if (::poll(&input, options.interactive ? 1 : 0, 20) > 0) {
            char buffer[256];
            if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0)
                break; // end of input
            box.PressNow();
        }
        const std::vector<std::string> traffic = box.Traffic();
        for (; shown < traffic.size(); ++shown)
            Say("%s\n", QByteArray::fromStdString(traffic[shown]));
        const std::vector<double> presses = box.Presses();
        for (; pressesShown < presses.size(); ++pressesShown)
            Say("button   %s us after the LED\n", QByteArray::number(presses[pressesShown], 'f', 2));
        const std::vector<double> lightPresses = box.PressesAfterLight();
        for (; lightPressesShown < lightPresses.size(); ++lightPressesShown)
            Say("button   %s us after the light\n", QByteArray::number(lightPresses[lightPressesShown], 'f', 2));
        const std::vector<double> lights = box.LightTimes();
        for (; lightsShown < lights.size(); ++lightsShown)
            Say("sensor   lit %s us after the l or s arrived\n", QByteArray::number(lights[lightsShown], 'f', 2));
        if (box.LedOn() != led) {
            led = !led;
            Say(led ? "LED on\n" : "LED off\n");
        }
    }
    QFile::remove(link);
    return 0;
}
#endif

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(BLINKDASH_VERSION));
    Options options;
    if (!ParseOptions(options))
        return 2;

    InitFolders(QCoreApplication::applicationFilePath());
    SetFolder(DataFolder, ChooseDataFolder());
    struct sigaction action = {};
    action.sa_handler = RequestStop;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    const QString link = DataPath(BoxPortLinkName(options.com), DataFolder);
    if (!options.firmware.isEmpty()) {
        if (!options.screenFile.isEmpty()) {
            std::fprintf(stderr, "blinkdash-boxsim: --screen does not go with --firmware\n");
            return 2;
        }
#ifdef BLINKDASH_WITH_SIMAVR
        return RunFirmware(options, link);
#else
        std::fprintf(stderr, "blinkdash-boxsim: built without simavr (libsimavr-dev), so no --firmware\n");
        return 1;
#endif
    }

    PseudoTerminal pty;
    QString error = pty.Open();
    Box box(pty, options); // the screen it looks at is checked before the port is offered
    if (error.isEmpty())
        error = box.ScreenTrouble();
    if (error.isEmpty())
        error = pty.LinkAs(link);
    if (!error.isEmpty()) {
        std::fprintf(stderr, "blinkdash-boxsim: %s\n", error.toLocal8Bit().constData());
        return 1;
    }

    std::printf("Switch box on COM%d: %s -> %s\n", options.com, link.toLocal8Bit().constData(),
        pty.SlavePath().toLocal8Bit().constData());
    std::printf("In blinkdash choose \"Schaltbox\" and COM %d under \"Einstellungen\". Ctrl+C ends.\n", options.com);
    std::fflush(stdout);
    box.Run();
    return 0;
}

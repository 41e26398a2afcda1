// blinkdash-boxsim: plays the switch box on a pseudo-terminal, for trying box mode without a box.
//
// It offers the terminal to blinkdash as COM port N through the link "blinkdash-comN" in the data
// folder and answers each "r" with a "t <microseconds>" line: a fixed time, a random one, or,
// interactively, the time from "LED" on the terminal to the person's Enter key. It answers each
// light measurement "l" as a screen with the display latency given would, or with a timeout, and
// each "e" with "e".
//
// With --firmware it runs the box's real firmware instead, instruction by instruction in simavr
// and paced to the wall clock, presses the simulated button at those times after the LED and
// lights its sensor that display latency after each "l".

#include "folders.h"
#include "portname.h"
#include "pseudoterminal.h"
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
#include <optional>
#include <poll.h>
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
    if (ok && parser.isSet(QStringLiteral("random"))) {
        const QStringList range = parser.value(QStringLiteral("random")).split(QLatin1Char(':'));
        bool minOk = false, maxOk = false;
        if (range.size() == 2) {
            options.minUs = range.at(0).toLongLong(&minOk);
            options.maxUs = range.at(1).toLongLong(&maxOk);
        }
        ok = minOk && maxOk && options.minUs <= options.maxUs;
    }
    if (ok && parser.isSet(QStringLiteral("display-latency"))) {
        options.latencyMs = parser.value(QStringLiteral("display-latency")).toDouble(&ok);
        ok = ok && std::isfinite(options.latencyMs) && options.latencyMs >= 0;
    }
    options.interactive = parser.isSet(QStringLiteral("interactive"));
    options.firmware = parser.value(QStringLiteral("firmware"));
    const bool inRange = options.com >= 0 && options.com <= 99 && options.minUs >= 0;
    if (!ok || !inRange) {
        std::fprintf(stderr, "blinkdash-boxsim: COM 0..99 and times of 0 or more, please (see --help)\n");
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
    { }

    void Run()
    {
        while (!stopRequested) {
            pollfd fds[2] = {{pty.MasterFd(), POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
            const int count = opts.interactive ? 2 : 1;
            if (::poll(fds, count, TimeoutMs()) < 0)
                continue; // a signal; the loop condition decides
            if (fds[0].revents & POLLIN)
                HandleBytes(pty.ReadAvailable());
            if (opts.interactive && (fds[1].revents & (POLLIN | POLLHUP)))
                HandleKey();
            if (answerAt && Clock::now() >= *answerAt)
                Answer(drawnUs);
            if (lightAt && Clock::now() >= *lightAt)
                AnswerLight();
        }
    }

private:
    int TimeoutMs() const
    {
        std::optional<Clock::time_point> next = answerAt;
        if (lightAt && (!next || *lightAt < *next))
            next = lightAt;
        if (!next)
            return 1000;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*next - Clock::now());
        return static_cast<int>(std::max<qint64>(0, left.count()));
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
        if (line == "r" || line == "l" || line.startsWith("L "))
            lightAt.reset(); // a light measurement is cancelled, without an answer
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
        } else if (line == "l") {
            Say(ledOn ? "screen   <- l (LED off, no time)\n" : "screen   <- l\n");
            ledOn.reset();
            answerAt.reset();
            // A screen lights after its latency; a box waits a second for that, at most.
            const qint64 us = std::llround(opts.latencyMs * 1000);
            const bool seen = opts.latencyMs >= 0 && us <= LightTimeoutUs;
            lightReply = seen ? "l " + QByteArray::number(us) + '\n' : QByteArray("l timeout\n");
            lightAt = Clock::now() + std::chrono::microseconds(seen ? us : LightTimeoutUs);
        } else if (line == "e") {
            pty.Write("e\n");
            Say("echo     <- e -> e\n");
        } else if (!line.isEmpty()) {
            Say("ignored: %s\n", line);
        }
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
        Say("screen   -> %s", lightReply);
        lightAt.reset();
    }

    void Answer(qint64 us)
    {
        const QByteArray reply = "t " + QByteArray::number(us) + '\n';
        pty.Write(reply);
        Say("LED off  -> %s", reply);
        ledOn.reset();
        answerAt.reset();
    }

    PseudoTerminal &pty;
    const Options &opts;
    QByteArray command;
    std::optional<Clock::time_point> ledOn, answerAt, lightAt;
    qint64 drawnUs = 0;
    QByteArray lightReply;
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
    if (!options.interactive)
        box.SetReaction([&options] { return static_cast<double>(DrawUs(options)); });
    if (options.latencyMs >= 0)
        box.SetLightDelay([&options] { return options.latencyMs * 1000; }, true);

    size_t shown = 0, pressesShown = 0, lightsShown = 0;
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
        const std::vector<double> lights = box.LightTimes();
        for (; lightsShown < lights.size(); ++lightsShown)
            Say("sensor   lit %s us after the l arrived\n", QByteArray::number(lights[lightsShown], 'f', 2));
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
#ifdef BLINKDASH_WITH_SIMAVR
        return RunFirmware(options, link);
#else
        std::fprintf(stderr, "blinkdash-boxsim: built without simavr (libsimavr-dev), so no --firmware\n");
        return 1;
#endif
    }

    PseudoTerminal pty;
    QString error = pty.Open();
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
    Box(pty, options).Run();
    return 0;
}

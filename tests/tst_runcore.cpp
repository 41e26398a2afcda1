#include "debuglog.h"
#include "evaluation.h"
#include "reactionclock.h"
#include "runengine.h"
#include "runtiming.h"
#include "taskmeasures.h"

#include <QtTest>
#include <climits>

namespace {

// The engine's owner in the tests: a manual clock for its two timers, and a transcript of what the
// person would see and hear, the debug log's lines in parentheses.
class ManualHost : public RunHost
{
public:
    RunEngine engine {*this};
    QStringList transcript;
    bool windowSeen = true;
    bool boxWindowShown = false;
    bool quiet = false; // nothing said while a long run is answered
    qint64 now = 0;
    qint64 waitDue = -1;
    qint64 warningDue = -1;

    // Lets time pass, firing each timer as it falls due; the wait first where both fall due at once.
    void Advance(qint64 ms)
    {
        for (const qint64 until = now + ms;;) {
            now = qMin(waitDue < 0 ? LLONG_MAX : waitDue, warningDue < 0 ? LLONG_MAX : warningDue);
            if (now > until) {
                now = until;
                return;
            }
            const bool wait = waitDue == now;
            (wait ? waitDue : warningDue) = -1;
            wait ? engine.NextEvent() : engine.WarningDue();
        }
    }

private:
    void Say(const QString &what)
    {
        if (!quiet)
            transcript << what;
    }
    void Arm(qint64 &due, int ms, const char *what)
    {
        due = now + ms;
        Say(QStringLiteral("%1 %2").arg(what).arg(ms));
    }
    void ArmWait(int ms) override { Arm(waitDue, ms, "wait"); }
    void ArmWarning(int ms) override { Arm(warningDue, ms, "warn"); }
    void DisarmTimers() override { waitDue = warningDue = -1; }
    QDateTime Now() override { return QDateTime(QDate(2026, 12, 7), QTime(10, 0), Qt::OffsetFromUTC, 3600); }
    void BeginRun(bool box) override { Say((boxWindowShown = box) ? "begin box" : "begin screen"); }
    void BeginLightTiming(bool button) override { Say(button ? "light button" : "light space"); }
    bool SignalCanBeSeen() override { return windowSeen; }
    void ArmLight(bool button) override { Say(button ? "s" : "l"); }
    void ShowSignal(int x, int y) override { Say(QStringLiteral("disc %1 %2").arg(x).arg(y)); }
    void ShowStimulus(int x, int y, const QString &stimulus) override
    {
        Say(stimulus.isEmpty() ? "counter" : QStringLiteral("disc %1 %2 %3").arg(x).arg(y).arg(stimulus));
    }
    void HideSignal() override { Say("disc off"); }
    void StartMeasurement() override { Say("r"); }
    void CancelMeasurement() override { Say("led off"); }
    void ShowBoxTrouble(BoxTrouble t) override { Say(QStringList {"box answers", "box silent", "box lost"}[int(t)]); }
    void ShowEndNotice(bool) override { Say("game over"); }
    void PlaySound(const QString &file) override { Say("sound " + file); }
    bool BoxWindowShown() override { return boxWindowShown; }
    void EndRun(bool) override { Say("end"); }
    QString RunName() override { return "Anna"; }
    QString RunPlace(std::optional<int> boxCom) override { return boxCom ? "box" : "screen"; }
    void RunEvaluated(const RunRecord &record) override
    {
        const Evaluation &e = record.evaluation;
        const bool task = record.task.kind != TaskKind::Simple;
        QStringList trials; // "w" warm-up, "!" outlier, "x" not counted; a task's expected:given time and judgement
        for (const RunTrial &t : record.trials)
            trials << (task ? QStringLiteral("%1:%2 %3%4%5%6")
                                  .arg(t.expected.isEmpty() ? "-" : t.expected, t.answer.isEmpty() ? "-" : t.answer)
                                  .arg(t.timeMs)
                                  .arg(t.correct.value_or(false) ? "" : " wrong", t.lapse ? " lapse" : "",
                                      t.falseStart ? " false start" : "")
                    : t.counted ? QStringLiteral("%1%2%3").arg(t.timeMs).arg(t.warmUp ? "w" : "", t.outlier ? "!" : "")
                                : "x");
        Say(EndingName(record.ending) + ": "
            + (task               ? TaskName(record.task)
                    : e.result    ? QStringLiteral("result %1").arg(*e.result)
                    : e.evaluated ? "no result"
                                  : "not evaluated")
            + (!task && record.lightTiming.isEmpty() ? ""
                    : trials.size() > 8              ? QStringLiteral(" (%1 trials)").arg(trials.size())
                                                     : " [" + trials.join(", ") + "]"));
    }
    void TellTooManyEarlyPresses() override { Say("too many early presses"); }
    void TellLightNotSeen() override { Say("light not seen"); }
};

ManualHost *logging = nullptr;
void LogToTranscript(const char *line)
{
    if (!logging->quiet)
        logging->transcript << QStringLiteral("(%1)").arg(QString::fromLatin1(line));
}

// Settings from "key=value" words as the settings file holds them, over waits of one second
// at the centre.
Settings SettingsFrom(QString words)
{
    QTemporaryFile ini;
    if (!ini.open()
        || ini.write("[Common]\nrandomPosition=false\nminDel=1\nmaxDel=1\ncnt=2\nwavFile=beep.wav\n"
               + words.replace(' ', '\n').toUtf8())
            < 0)
        qFatal("no settings file");
    ini.close();
    return ReadSettings(ini.fileName());
}

// A long run answered quietly, each signal as it comes; then how many and when the end notice came.
void AnswerToTheEnd(ManualHost &host, int ms)
{
    int answered = 0;
    host.quiet = true;
    for (RunEngine::Phase phase;
         (phase = host.engine.CurrentPhase()) == RunEngine::Phase::Waiting || phase == RunEngine::Phase::Measuring;) {
        host.Advance(phase == RunEngine::Phase::Waiting ? host.waitDue - host.now : ms);
        if (phase == RunEngine::Phase::Measuring)
            host.engine.Result({ms, ReactionTiming::Program, {}, {}}), ++answered;
    }
    host.quiet = false;
    host.transcript << QStringLiteral("%1 answered, the end notice at %2 ms").arg(answered).arg(host.now);
}

// Screen reaction times from the disc's instant (on the server's clock where it told its times
// around the drawing, the compositor's presentation where it told that, else the program's) to the
// key's stamp on the steady clock, or to its handling.
struct ClockCase
{
    bool stamps;
    qint64 shownUs; // the middle of painting and the server's answer
    qint64 handledUs;
    qint64 stampMs;          // the key's, taken modulo 2^32
    qint64 drawnMs;          // the server's time before the drawing; -1: not told
    qint64 drawnToMs;        // and after it
    int ms;                  // -1: an early press
    qint64 presentedUs = -1; // when the compositor showed the disc; -1: not told
    qint64 preciseUs = -1;   // the key's own instant, to the ns; -1: not told
};

} // namespace

Q_DECLARE_METATYPE(ClockCase)

class TestRunCore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void reactionClock_data();
    void reactionClock();
    void runs_data();
    void runs();
    void measures_data();
    void measures();
    void taskNames();
};

void TestRunCore::reactionClock_data()
{
    QTest::addColumn<ClockCase>("c");
    const qint64 wrapMs = 1LL << 32; // the stamp wraps, the steady clock does not
    const auto row = [](const char *name, ClockCase c) { QTest::newRow(name) << c; };
    row("the server's times across the wrap",
        {true, (wrapMs - 300) * 1000, (wrapMs + 10) * 1000, 5, wrapMs - 300, wrapMs - 300, 305});
    row("drawn over one millisecond: from its end, rounded", {true, 4'700'000, 5'000'900, 5000, 4700, 4701, 300});
    row("drawn over 2 ms, answered in the first: no later", {true, 4'700'500, 5'001'900, 5001, 4700, 4702, 301});
    row("drawn over 2 ms, painted in the 2nd: no earlier", {true, 4'701'600, 5'001'900, 5001, 4700, 4702, 300});
    row("the server held up after the drawing: 1 ms at most", {true, 4'690'000, 5'001'900, 5001, 4700, 4712, 300});
    row("the key stamped as the server took the drawing", {true, 4'700'000, 4'700'900, 4700, 4700, 4701, 0});
    row("the key stamped before the server took the drawing", {true, 4'700'000, 4'700'900, 4699, 4700, 4700, -1});
    row("no drawing told: the middle of the key's ms, rounded", {true, 4'700'000, 5'000'900, 5000, -1, -1, 301});
    row("no stamps: when handled, rounded", {false, 4'700'000, 5'000'600, 0, -1, -1, 301});
    row("the key's millisecond not over yet", {true, 4'700'000, 5'000'300, 5000, -1, -1, 300});
    row("pressed in the disc's millisecond", {true, 4'999'800, 5'000'900, 4999, -1, -1, 0});
    row("pressed before the disc, handled after", {true, 4'999'800, 5'000'900, 4998, -1, -1, -1});
    row("a key stamp from the future", {true, 4'700'000, 5'000'900, 5002, -1, -1, 301});
    row("too old to be this press", {true, 0, 20'000'000, 5000, -1, -1, 20000});
    // Wayland: the compositor's presentation of the disc, 10 ms after the program's estimate.
    row("presented, the key to the ns", {true, 4'700'000, 5'100'000, 5010, -1, -1, 300, 4'710'000, 5'010'000});
    row("presented, the key a ns before it", {true, 4'700'000, 5'100'000, 4709, -1, -1, -1, 4'710'000, 4'709'999});
    row("presented, the key in whole ms", {true, 4'700'000, 5'100'000, 5009, -1, -1, 300, 4'710'000});
}

void TestRunCore::reactionClock()
{
    QFETCH(ClockCase, c);
    using std::chrono::microseconds;
    SteadyTime now(microseconds(c.shownUs - 2000)); // the painting takes 1.6 ms
    ReactionClock clock(c.stamps, [&] { return now; });
    clock.PaintStarting();
    now += microseconds(1600);
    clock.DiscShown(now, SteadyTime(microseconds(c.shownUs + 400)));
    if (c.presentedUs >= 0)
        clock.DiscPresented(SteadyTime(microseconds(c.presentedUs)));
    now = SteadyTime(microseconds(c.handledUs));
    const std::optional<ServerDrawing> drawn = c.drawnMs < 0
        ? std::nullopt
        : std::optional(ServerDrawing {static_cast<std::uint32_t>(c.drawnMs), static_cast<std::uint32_t>(c.drawnToMs)});
    const std::optional<SteadyTime> precise
        = c.preciseUs < 0 ? std::nullopt : std::optional(SteadyTime(microseconds(c.preciseUs)));
    QCOMPARE(clock.KeyPressed(static_cast<std::uint32_t>(c.stampMs), drawn, precise).value_or(-1), c.ms);
}

// Whole runs on the manual clock: each row a script of settings ("key=value", as in the settings
// file) and of the person's and the timers' moves, and what the person sees and hears, with the
// debug log.
void TestRunCore::runs_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("transcript");
    const auto row = [](const char *name, const QString &script, const QString &transcript) {
        QTest::newRow(name) << script << transcript;
    };
    const QString start = "(start 1000 0 1000), wait 1000, ";
    const QString next = "(SlotNextEvent 1000), wait 1000, ";
    const QString r = "r, wait 10000, ";
    row("a warning before each signal, none before the end; stray answers and a second start ignored",
        "enableWav=true minAkkust=300 maxAkkust=300 start answer=100 +500 start +200 +300 answer=250 answer=255 +1000 "
        "answer=260 +1000",
        start + "warn 700, begin screen, (Ergebnis 100 ohne Messung verworfen), sound beep.wav, disc 50 50, " + next
            + "warn 700, (Ergebnis 255 ohne Messung verworfen), sound beep.wav, disc 50 50, " + next
            + "warn 700, game over, sound ding.wav");
    row("five early presses tolerated, the sixth stops the run and is told",
        "cnt=1 start early early early early early +1000 early early",
        start + "begin screen, disc 50 50, end, early presses: not evaluated, too many early presses");
    row("ESC during a wait: its warning never sounds in the next run, which waits afresh",
        "enableWav=true minAkkust=300 maxAkkust=300 cnt=1 start +500 stop enableWav=false start +999 +1",
        start + "warn 700, begin screen, end, stopped: not evaluated, " + start + "begin screen, disc 50 50");
    // 300 and 260 less the latency, 200 and 250 not longer than it, as measured; by hand, 250 and 5
    // have the mean 127 and the mean deviation 122, so the threshold is 127 + 366 / 2 = 310.
    row("the screen's latency taken off where the time is longer; ESC after the last answer, before the end "
        "notice: complete",
        "cnt=4 screenLatency=255 screenLatencyCorrection=true start +1000 answer=300 +1000 answer=200 +1000 "
        "answer=250 +1000 answer=260 +500 stop",
        start + "begin screen, (Bildschirmlatenz 255.0 ms (SD 0.0 ms, , ), von den Zeiten abgezogen), disc 50 50, "
            + next + "disc 50 50, (Zeit 200 ms nicht laenger als die Bildschirmlatenz, nicht korrigiert), " + next
            + "disc 50 50, (Zeit 250 ms nicht laenger als die Bildschirmlatenz, nicht korrigiert), " + next
            + "disc 50 50, " + next + "end, (Mittelwert 127 mittl. abweichung 122 schwelle 310), complete: result 127");
    row("a garbled box answer: the signal again after a fresh wait; SPACE no early press; a run nobody can "
        "confirm gives way",
        "useBox=true cnt=1 start early early early early early early +1000 lost lost +1000 closebox start",
        start + "begin box, " + r + "(Antwort unlesbar, Signal wiederholt nach 1000), wait 1000, " + r
            + "(abgebrochen), led off, end, " + start + "begin box");
    row("a box silent for 10 s is told, until it answers; then lost: no more signals, Fertig evaluates",
        "useBox=true cnt=2 start +1000 +9999 +1 +60000 answer=250 +1000 +10000 boxlost +5000 answer=250 boxlost stop",
        start + "begin box, " + r + "box silent, box answers, " + next + r
            + "box silent, (Schaltbox waehrend des Tests verloren), box lost, "
            + "(Ergebnis 250 ohne Messung verworfen), end, box lost: not evaluated");
    // Waits in ms, truncated, never rounded (0.3 s is 299 ms as a long double sees it), each bound
    // within 0 to 60 s, the range from the smaller to the larger; seed 0 draws 38/32767 of it first.
    row("0.3 to 0.7 s", "minDel=0.3 maxDel=0.7 start", "(start 299 399 299), wait 299, begin screen");
    row("min huge, above max", "minDel=1e300 maxDel=2 start", "(start 60000 58000 60067), wait 60067, begin screen");
    row("hand-edited: not numbers, no waits at all; a negative count, the end notice after one wait",
        "minDel=nan maxDel=-inf cnt=-5 start +0", "(start 0 0 0), wait 0, begin screen, game over, sound ding.wav");
    // Each disc's own latency taken off its key's microseconds, rounded once (300 400 - 23 500 is
    // 277 ms, 270 499 - 20 000 is 250), not the stored average; a light not seen, not answered in
    // 1.5 s or after the key is no trial that counts: 260 and 250 leave the mean 255, deviation 5.
    const QString l = "l, disc 50 50, wait 1500, ";
    const QString again = "(Licht nicht gesehen, Signal wiederholt nach 1000), wait 1000, ";
    const auto timed = [&](const char *light, const char *answer) {
        return QStringLiteral("(Licht %1 ms nach der Scheibe, %2 ms), ").arg(light, answer) + next;
    };
    row("light-timed with SPACE: armed before each disc, uncounted trials given again",
        "lightTimed=true cnt=4 screenLatency=30 screenLatencyCorrection=true start +1000 key=300400 light=23500 "
        "+1000 light=24000 key=250000 +1000 key=20000 light=24000 +1000 light=20000 key=280000 +1000 light=20000 "
        "key=270499 +1000 stop",
        start
            + "begin screen, (Bildschirmlatenz 30.0 ms (SD 0.0 ms, , )), (Zeitnahme: Lichtsensor, Antwort mit der "
              "Leertaste), light space, "
            + l + timed("23.500", "Leertaste nach 277") + l + timed("24.000", "Leertaste nach 226") + l
            + "(Leertaste vor dem Licht gedrueckt, Signal wiederholt nach 1000), wait 1000, " + l
            + timed("20.000", "Leertaste nach 260") + l + timed("20.000", "Leertaste nach 250")
            + "game over, sound ding.wav, end, (Mittelwert 255 mittl. abweichung 5 schwelle 262), complete: result 255 "
              "[277w, 226w, x, 260, 250]");
    const QString s = "s, disc 50 50, wait 1500, ";
    row("light-timed with the button: SPACE no answer, three lights not seen in a row end the run",
        "lightTimed=true lightButton=true cnt=3 start +1000 light=30000 key=100000 button=250400 +1000 dark +1000 "
        "+1500 +1000 dark",
        start + "begin screen, (Zeitnahme: Lichtsensor, Antwort mit dem Knopf), light button, " + s
            + "(Ergebnis 100 ohne Messung verworfen), disc off, " + timed("30.000", "Knopf nach 250") + s
            + "led off, disc off, " + again + s + "(Licht nicht beantwortet), led off, disc off, " + again + s
            + "led off, disc off, end, stopped: not evaluated [250w, x, x, x], light not seen");
    // Tasks. Seed 0 draws the places 1 1 1 2 (of 2), and go for the first three signals of 90 %.
    row("choice: the key of the place drawn right, another wrong",
        "task=wahl-2 cnt=4 start +1000 answer=400:f +1000 answer=350:j +1000 answer=450:f +1000 answer=500:j +1000 "
        "stop",
        start + "begin screen, disc 25 50 1, " + next + "disc 25 50 1, " + next + "disc 25 50 1, " + next
            + "disc 75 50 2, " + next
            + "game over, sound ding.wav, end, complete: wahl-2 [f:f 400, f:j 350 wrong, f:f 450, j:j 500]");
    const QString window = "wait 1000, disc off, (keine Antwort, Wartezeit 1000), wait 1000, ";
    row("go/no-go: a go missed and a no-go withheld when its second is over, a no-go pressed",
        "task=gonogo-90 cnt=5 start +1000 answer=300 +1000 +1000 +1000 answer=80 +1000 answer=250 +1000 +1000 "
        "+1000 stop",
        start + "begin screen, disc 50 50 yellow, wait 1000, " + next + "disc 50 50 yellow, " + window
            + "disc 50 50 yellow, wait 1000, " + next + "disc 50 50 blue, wait 1000, " + next + "disc 50 50 blue, "
            + window
            + "game over, sound ding.wav, end, complete: gonogo-90 [space:space 300, space:- 0 wrong, space:space 80, "
              "-:space 250 wrong, -:- 0]");
    // Waits of 2 to 10 s (seed 0: 2009, 3884, 7185, 2594 ms); early presses are false starts, not the end.
    row("PVT: its own waits; under 100 ms a false start, from 500 ms a lapse",
        "task=pvt cnt=1 minDel=0 start early early early early early early +10000 answer=99 +10000 answer=100 "
        "+10000 answer=500 stop",
        "(start 2000 8000 2009), wait 2009, begin screen, counter, (SlotNextEvent 3884), wait 3884, counter, "
        "(SlotNextEvent 7185), wait 7185, counter, (SlotNextEvent 2594), wait 2594, end, stopped: pvt "
        "[space:space 99 false start, space:space 100, space:space 500 lapse]");
    // Worked through with the same draws outside: 67 answers of 250 ms and 68 waits of 1 to 4 s make
    // 180 955 ms, the last wait (3550 ms) the first to end past 3 minutes.
    row("PVT-B: signals until 3 minutes of waits and answers are over", "task=pvt-b start answering=250 stop",
        "(start 1000 3000 1003), wait 1003, begin screen, 67 answered, the end notice at 180955 ms, end, "
        "complete: pvt-b (67 trials)");
    row("a hidden window: the signal waits, then comes after a fresh wait; a lead longer than it, no warning",
        "enableWav=true minAkkust=1001 maxAkkust=1001 cnt=1 start away +1000 +5000 back +999 +1",
        start + "begin screen, (Signal nicht gezeigt: Fenster nicht sichtbar), "
            + "(Fenster wieder sichtbar, Wartezeit 1000), wait 1000, disc 50 50");
}

void TestRunCore::runs()
{
    QFETCH(QString, script);
    ManualHost host;
    logging = &host;
    DebugLogOpen(DebugLogToCallback, nullptr, LogToTranscript);
    QString settings;
    Task task;
    for (const QString &move : script.split(' ')) {
        if (move.startsWith("task="))
            task = TaskNamed(move.mid(5));
        else if (move == "start")
            host.engine.Start(SettingsFrom(settings), task);
        else if (move.startsWith('+'))
            host.Advance(move.mid(1).toLongLong());
        else if (move.startsWith("answer=")) // ms, and a task's key: "answer=300:f"
            host.engine.Result(
                {move.mid(7).section(':', 0, 0).toInt(), ReactionTiming::Program, {}, {}}, move.section(':', 1));
        else if (move.startsWith("answering=")) // every signal after that long, to the end notice
            AnswerToTheEnd(host, move.mid(10).toInt());
        else if (move.startsWith("key=")) // SPACE, us after the disc's instant
            host.engine.Result(
                {WholeMs(move.mid(4).toLongLong()), ReactionTiming::Program, {}, move.mid(4).toLongLong()});
        else if (move.startsWith("button=")) // the box's us from the light
            host.engine.Result({move.mid(7).toInt() / 1000, ReactionTiming::Box, move.mid(7).toLongLong(), {}});
        else if (move.startsWith("light=")) // us after the disc's instant
            host.engine.LightSeen(move.mid(6).toLongLong(), 20000);
        else if (move == "dark")
            host.engine.LightNotSeen();
        else if (move == "lost")
            host.engine.AnswerLost();
        else if (move == "boxlost")
            host.engine.BoxLost();
        else if (move == "stop")
            host.engine.Stop();
        else if (move == "early")
            host.engine.EarlyPress();
        else if (move == "closebox")
            host.boxWindowShown = false;
        else if (move == "away" || move == "back")
            host.windowSeen = move == "back";
        else if (move.contains('='))
            settings += move + ' ';
        if (move == "back")
            host.engine.WindowBack();
    }
    DebugLogClose();
    QTEST(host.transcript.join(", "), "transcript");
}

// Each task's measures from runs worked by hand, each "task trial ...", "|" between runs (Hick's
// line over them all, the other measures of the first): "early" a press with no signal,
// "expected:given:ms" a trial (given empty: no key), "ms" alone a SPACE; the simple task's the evaluation.
void TestRunCore::measures_data()
{
    QTest::addColumn<QString>("runs");
    QTest::addColumn<QString>("measures"); // "-": none
    const auto row = [](const char *name, const char *runs, const char *measures) {
        QTest::newRow(name) << QString(runs) << QString(measures);
    };
    row("simple: the worked example", "einfach 400 380 150 160 140 300 150",
        "mean=180 deviation=48 threshold=252 result=150");
    row("simple: three times", "einfach 200 210 220", "mean=- result=-");
    row("simple: four, only the last two", "einfach 900 800 200 300", "mean=250 deviation=50 threshold=325 result=250");
    row("simple: at the threshold, dropped", "einfach 0 0 100 100 120 112",
        "mean=108 deviation=8 threshold=120 result=104");
    row("simple: the deviation truncated to 0, no outliers", "einfach 1 1 250 251",
        "mean=250 deviation=0 threshold=250 result=250");
    row("simple: truncated toward zero", "einfach 0 0 -10 5", "mean=-2 deviation=7 threshold=8 result=-2");
    // 32-bit sums would overflow here; the sanitizer build stops on that.
    row("simple: huge", "einfach 0 0 2147483647 2147483647 2147483647 2147483647",
        "mean=2147483647 deviation=0 threshold=2147483647 result=2147483647");
    row("PVT: all lapses", "pvt 500 1000 600", "lapses=3 speed=1.5556 fastest=500 slowest=1 median=600");
    row("PVT: a false start at 99 ms and an early press, none at 100 ms", "pvt early 99 100",
        "valid=1 lapses=0 falseStarts=2 speed=10 slowest=10 median=100");
    row("PVT: only false starts", "pvt 50 early", "valid=0 falseStarts=2 speed=- median=-");
    row("PVT-B: lapses from 355 ms", "pvt-b 355 354", "lapses=1 median=354.5");
    // 200 to 390 ms by 10: the fastest two, 200 and 210; the slowest two, 1000/390 and 1000/380.
    row("PVT: 10 % of 20 reactions is two",
        "pvt 390 380 370 360 350 340 330 320 310 300 290 280 270 260 250 240 230 220 210 200",
        "valid=20 fastest=205 slowest=2.5978 median=295");
    row("choice", "wahl-4 f:f:400 f:j:350 j:j:500 k:d:300", "correct=2 wrong=2 meanCorrect=450");
    row("go/no-go", "gonogo-75 space:space:300 space::0 :space:250 ::0 space:space:500",
        "omissions=1 commissions=1 meanGo=400");
    // log2 0, 0, 1, 2 (mean 0.75), the means 300, 320, 420, 600 (mean 410): 390 / 2.75 = 141.82;
    // 410 - 141.82 * 0.75 = 303.64. A wrong answer's time counts for nothing.
    row("Hick: 1, 2 and 4 places, two runs of one",
        "wahl-1 j:j:300 j:f:9999 | wahl-1 j:j:320 | wahl-2 f:f:420 | wahl-4 k:k:600", "slope=141.82 intercept=303.64");
    row("Hick: one number of places, no line", "wahl-2 f:f:400 | wahl-2 j:j:500 | wahl-4 d:f:300", "slope=-");
}

void TestRunCore::measures()
{
    QFETCH(QString, runs);
    QList<RunRecord> records;
    for (const QString &words : runs.split(" | ")) {
        RunRecord run;
        run.task = TaskNamed(words.section(' ', 0, 0));
        for (const QString &word : words.section(' ', 1).split(' ')) {
            const QStringList parts = word.split(':');
            RunTrial trial;
            trial.expected = parts.size() > 1 ? parts.at(0) : "space";
            trial.answer = parts.size() > 1 ? parts.at(1) : "space";
            trial.timeMs = parts.last().toInt();
            if (word == "early")
                ++run.earlyPresses;
            else
                run.trials << trial;
        }
        records << run;
    }
    const auto text = [](std::optional<double> value) { return value ? QString::number(*value, 'g', 5) : "-"; };
    const PvtMeasures p = MeasurePvt(records.first());
    const ChoiceMeasures c = MeasureChoice(records.first());
    const GoNoGoMeasures g = MeasureGoNoGo(records.first());
    const std::optional<HickLine> line = FitHick(records);
    QList<int> times;
    for (const RunTrial &trial : records.first().trials)
        times << trial.timeMs;
    const Evaluation e = Evaluate(times); // the simple task's
    const QMap<QString, QString> measured {{"valid", QString::number(p.valid)}, {"lapses", QString::number(p.lapses)},
        {"falseStarts", QString::number(p.falseStarts)}, {"speed", text(p.speed)}, {"fastest", text(p.fastestMs)},
        {"slowest", text(p.slowestSpeed)}, {"median", text(p.medianMs)}, {"correct", QString::number(c.correct)},
        {"wrong", QString::number(c.wrong)}, {"meanCorrect", text(c.meanCorrectMs)},
        {"omissions", QString::number(g.omissions)}, {"commissions", QString::number(g.commissions)},
        {"meanGo", text(g.meanGoMs)}, {"slope", line ? text(line->slopeMs) : "-"},
        {"intercept", line ? text(line->interceptMs) : "-"}, {"mean", e.evaluated ? QString::number(e.mean) : "-"},
        {"deviation", QString::number(e.deviation)}, {"threshold", QString::number(e.threshold)},
        {"result", e.result ? QString::number(*e.result) : "-"}};
    QFETCH(QString, measures);
    for (const QString &expected : measures.split(' ')) {
        const QString name = expected.section('=', 0, 0);
        QVERIFY2(measured.contains(name), qPrintable(name));
        QCOMPARE(name + '=' + measured.value(name), expected);
    }
}

// As a journal edited by hand may hold them: what is no task's name is the simple task.
void TestRunCore::taskNames()
{
    const QList<std::pair<QString, QString>> names {{"wahl-4", "wahl-4"}, {"wahl-3", "wahl-2"},
        {"gonogo-5", "gonogo-5"}, {"gonogo-0", "gonogo-75"}, {"gonogo-100", "einfach"}, {"wahl-", "einfach"},
        {"wahl-4 ", "einfach"}, {"wahl-\u0664", "einfach"}, {"x-4", "einfach"}, {"pvt-b", "pvt-b"}};
    for (const auto &[stored, read] : names)
        QCOMPARE(TaskName(TaskNamed(stored)), read);
}

QTEST_GUILESS_MAIN(TestRunCore)
#include "tst_runcore.moc"

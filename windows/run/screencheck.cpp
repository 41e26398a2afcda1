#include "screencheck.h"

#include "debuglog.h"
#include "random.h"
#include "settings.h"

#include <QApplication>
#include <QLocale>

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

const QString Instruction = QStringLiteral("Den Lichtsensor auf den Kreis halten und LEERTASTE drücken. "
                                           "ESC bricht ab.");
// How far the check has come: it takes a minute, and a still screen looks like a hung one.
QString Measuring(int done, int of)
{
    return QStringLiteral("Bildschirm wird vermessen ... %1 von %2. ESC bricht ab.").arg(done).arg(of);
}

} // namespace

LatencyFigures SummarizeLatencies(const QList<double> &latenciesUs)
{
    LatencyFigures f;
    f.count = static_cast<int>(latenciesUs.size());
    if (latenciesUs.isEmpty())
        return f;
    QList<double> sorted = latenciesUs;
    std::sort(sorted.begin(), sorted.end());
    const qsizetype half = sorted.size() / 2; // the quartiles: medians of the lower and upper halves
    f.medianMs = MedianOf(sorted) / 1000;
    f.lowerQuartileMs = MedianOf(sorted.mid(0, std::max<qsizetype>(half, 1))) / 1000;
    f.upperQuartileMs = MedianOf(sorted.mid(sorted.size() - std::max<qsizetype>(half, 1))) / 1000;
    double sum = 0;
    for (const double us : latenciesUs)
        sum += us;
    const double mean = sum / f.count;
    double squares = 0;
    for (const double us : latenciesUs)
        squares += (us - mean) * (us - mean);
    const auto [low, high] = std::minmax_element(latenciesUs.begin(), latenciesUs.end());
    f.meanMs = mean / 1000;
    f.sdMs = f.count > 1 ? std::sqrt(squares / (f.count - 1)) / 1000 : 0;
    f.minMs = *low / 1000;
    f.maxMs = *high / 1000;
    return f;
}

ScreenCheck::ScreenCheck(SwitchBox &switchBox, ActionWin &stimulus, QObject *parent)
    : QObject(parent)
    , box(switchBox)
    , window(stimulus)
    , line(switchBox, "Bildschirmmessung")
{
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    connect(&timer, &QTimer::timeout, this, [this] {
        if (step == Step::Waiting)
            Flash();
        else if (step == Step::Timing)
            Missed(); // no answer at all: as if no light
    });
    connect(&line, &LineDelay::Measured, this, &ScreenCheck::Echoed);
    connect(&line, &LineDelay::Failed, this, &ScreenCheck::Fail);
    connect(&box, &SwitchBox::LightSeen, this, &ScreenCheck::Light);
    connect(&box, &SwitchBox::NoLight, this, [this] {
        if (step == Step::Timing)
            Missed();
    });
    connect(&box, &SwitchBox::EarlyLight, this, [this] {
        if (step == Step::Timing)
            Fail(EarlyLightText);
    });
    connect(&box, &SwitchBox::Lost, this, [this] {
        if (Running())
            Fail(NoBoxText);
    });
    connect(&window, &ActionWin::CheckSpace, this, [this] {
        if (step != Step::Ready)
            return;
        window.SetChecking(true, false); // the ring would lie under the sensor
        window.SetMessage(Measuring(0, flashes));
        WaitForFlash();
    });
    connect(&window, &ActionWin::SignalStop, this, [this] {
        if (!Running())
            return;
        DebugLog("Bildschirmmessung abgebrochen");
        End();
        Q_EMIT Cancelled();
    });
}

void ScreenCheck::SetPlan(int flashCount, int shortestMs, int longestMs)
{
    flashes = flashCount;
    shortestWaitMs = shortestMs;
    longestWaitMs = longestMs;
}

void ScreenCheck::WaitForFlash()
{
    step = Step::Waiting;
    timer.start(static_cast<int>(shortestWaitMs + RandomUpTo(longestWaitMs - shortestWaitMs)));
}

void ScreenCheck::Start()
{
    if (Running())
        return;
    if (!box.IsOpen()) {
        Q_EMIT Failed(NoBoxText);
        return;
    }
    latencies.clear();
    heldUp = 0;
    misses = 0;
    step = Step::Echoing;
    box.SetPromptReading(true);
    line.Measure(Echoes);
}

void ScreenCheck::Echoed()
{
    if (step != Step::Echoing)
        return;
    arming.Reset(line.OneWayUs());
    step = Step::Ready;
    // The dialog that started the check is modal: so must this window be, or it would take no key.
    window.setWindowModality(Qt::ApplicationModal);
    window.SetChecking(true, true);
    window.Present(Instruction);
}

void ScreenCheck::Flash()
{
    // The sensor is armed before the drawing: a program held up after it would otherwise add its
    // delay to the latency, and a fast screen's light could come before the command.
    lightAsked = arming.Arm(box, false);
    window.ShowSignal(50, 50);
    step = Step::Timing;
    timer.start(LongestLightUs / 1000 + 500); // the box's own timeout, and the line
}

void ScreenCheck::Light(int us)
{
    if (step != Step::Timing)
        return;
    // Against the instant a reaction time starts.
    const std::int64_t latency = LightLatencyUs(lightAsked, arming.OneWayUs(), us, window.DiscInstant());
    window.HideSignal();
    if (lightAsked.heldUp) { // first: a command late at the box makes the light look early
        DebugLog("Bildschirmmessung: aufgehalten (Senden oder Leitung, Echo nach %lld us), %lld us ausgelassen",
            static_cast<long long>(lightAsked.echoUs), static_cast<long long>(latency));
        if (++heldUp > flashes) {
            Fail(QStringLiteral("Bei %1 Scheiben kam der Befehl an die Schaltbox verspätet an; so lässt sich nicht "
                                "genau messen. Bitte andere Programme beenden und erneut messen.")
                     .arg(heldUp));
            return;
        }
        WaitForFlash();
        return;
    }
    if (latency < 0) { // the light came before the disc
        Fail(EarlyLightText);
        return;
    }
    DebugLog("Bildschirmmessung: Echo nach %lld us, gemalt in %lld us", static_cast<long long>(lightAsked.echoUs),
        static_cast<long long>(window.Painting().count()));
    DebugLog("Bildschirmmessung: %lld us", static_cast<long long>(latency));
    latencies.append(static_cast<double>(latency));
    if (latencies.size() == flashes) {
        const LatencyFigures figures = SummarizeLatencies(latencies);
        DebugLog("Bildschirmlatenz %.1f ms (Median; Quartile %.1f und %.1f ms, Mittel %.1f ms, SD %.1f ms, %.1f bis "
                 "%.1f ms, %d ausgelassen)",
            figures.medianMs, figures.lowerQuartileMs, figures.upperQuartileMs, figures.meanMs, figures.sdMs,
            figures.minMs, figures.maxMs, heldUp);
        if (!IsScreenLatency(figures.medianMs)) { // what the program would not take from its settings
            Fail(QStringLiteral("Die Messung ergab eine Bildschirmlatenz von %1 ms; mehr als 1000 ms kann sie nicht "
                                "sein. Sie wird nicht übernommen.")
                     .arg(QLocale(QLocale::German).toString(figures.medianMs, 'f', 1)));
            return;
        }
        End();
        Q_EMIT Finished(figures);
        return;
    }
    window.SetMessage(Measuring(static_cast<int>(latencies.size()), flashes));
    WaitForFlash();
}

void ScreenCheck::Missed()
{
    window.HideSignal();
    if (++misses > MissesTolerated) {
        Fail(NoLightText);
        return;
    }
    DebugLog("Bildschirmmessung: kein Licht gesehen");
    WaitForFlash();
}

void ScreenCheck::Fail(const QString &why)
{
    DebugLog("Bildschirmmessung gescheitert: %s", why.toUtf8().constData());
    End();
    Q_EMIT Failed(why);
}

void ScreenCheck::End()
{
    if (step == Step::Timing)
        box.SetLED(false); // takes back the light command: no late answer
    step = Step::Idle;
    timer.stop();
    line.Stop();
    box.SetPromptReading(false);
    window.Withdraw();
    window.setWindowModality(Qt::NonModal);
}

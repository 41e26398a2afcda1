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

const QString NoBox = QStringLiteral("Es ist keine Schaltbox geöffnet. Bitte die Schaltbox anschließen, "
                                     "„Schaltbox“ und ihre Schnittstelle wählen und mit OK übernehmen.");
const QString OldFirmware = QStringLiteral("Die Schaltbox antwortet nicht auf die Prüfanfrage: Ihre Firmware ist "
                                           "zu alt für die Bildschirmmessung. Bitte die Firmware "
                                           "blinkdash-box.hex neu aufspielen.");
const QString NoLight = QStringLiteral("Der Lichtsensor hat die Scheibe nicht gesehen. Bitte den Sensor auf den "
                                       "markierten Kreis halten und die Schwelle am Sensor einstellen.");
const QString EarlyLight = QStringLiteral("Der Lichtsensor sah schon Licht, bevor die Scheibe erschien. Bitte "
                                          "Raumlicht abschirmen oder die Schwelle am Sensor höher stellen.");
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

double MedianOf(QList<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const qsizetype middle = values.size() / 2;
    return values.size() % 2 ? values.at(middle) : (values.at(middle - 1) + values.at(middle)) / 2;
}

ScreenCheck::ScreenCheck(SwitchBox &switchBox, ActionWin &stimulus, QObject *parent)
    : QObject(parent)
    , box(switchBox)
    , window(stimulus)
{
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    connect(&timer, &QTimer::timeout, this, [this] {
        if (step == Step::Echoing && roundTripsUs.isEmpty() && otherLines.isEmpty())
            Fail(OldFirmware);
        else if (step == Step::Echoing) // one lost answer, or noise: the firmware knows the echo
            Fail(QStringLiteral("Die Schaltbox hat %1 von %2 Prüfanfragen beantwortet, die nächste nicht "
                                "innerhalb von %3 ms.%4 Bitte die Verbindung prüfen und erneut messen.")
                     .arg(roundTripsUs.size())
                     .arg(Echoes)
                     .arg(EchoTimeoutMs)
                     .arg(otherLines.isEmpty()
                             ? QString()
                             : QStringLiteral(" Stattdessen kam: „%1“.").arg(otherLines.join(QStringLiteral("“, „")))));
        else if (step == Step::Waiting)
            Flash();
        else if (step == Step::Timing)
            Missed(); // no answer at all: as if no light
    });
    connect(&box, &SwitchBox::EchoAnswered, this, &ScreenCheck::Echoed);
    connect(&box, &SwitchBox::OtherLine, this, [this](const QByteArray &line) {
        if (step == Step::Echoing && otherLines.size() < 3)
            otherLines << QString::fromLatin1(line);
    });
    connect(&box, &SwitchBox::LightSeen, this, &ScreenCheck::Light);
    connect(&box, &SwitchBox::NoLight, this, [this] {
        if (step == Step::Timing)
            Missed();
    });
    connect(&box, &SwitchBox::EarlyLight, this, [this] {
        if (step == Step::Timing)
            Fail(EarlyLight);
    });
    connect(&box, &SwitchBox::Lost, this, [this] {
        if (Running())
            Fail(NoBox);
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
        Q_EMIT Failed(NoBox);
        return;
    }
    roundTripsUs.clear();
    otherLines.clear();
    latencies.clear();
    heldUp = 0;
    misses = 0;
    step = Step::Echoing;
    box.SetPromptReading(true); // a poll's wait would count as the line's
    SendEcho();
}

void ScreenCheck::SendEcho()
{
    if (step != Step::Echoing)
        return;
    echoSent.start();
    echoOutstanding = true;
    box.SendEcho();
    timer.start(EchoTimeoutMs);
}

void ScreenCheck::Echoed()
{
    // An answer no request is waiting for (a box that doubles one) would time the next one short.
    if (step != Step::Echoing || !std::exchange(echoOutstanding, false)) {
        DebugLog("Bildschirmmessung: Echo ohne Anfrage verworfen");
        return;
    }
    roundTripsUs.append(static_cast<double>(echoSent.nsecsElapsed()) / 1000);
    if (roundTripsUs.size() < Echoes) {
        // Asked once the bytes at hand are read, so that a double arriving with this one is seen as such.
        QTimer::singleShot(0, this, &ScreenCheck::SendEcho);
        return;
    }
    timer.stop();
    oneWayUs = MedianOf(roundTripsUs) / 2; // the median: a round trip the system held up says nothing
    DebugLog("Bildschirmmessung: Leitung %.0f us je Richtung", oneWayUs);
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
    const SteadyTime before = std::chrono::steady_clock::now();
    box.StartLightTiming();
    const SteadyTime after = std::chrono::steady_clock::now();
    lightAsked = before + (after - before) / 2;
    sendHeldUp = after - before > std::chrono::microseconds(HeldUpUs);
    window.ShowSignal(50, 50);
    step = Step::Timing;
    timer.start(LongestLightUs / 1000 + 500); // the box's own timeout, and the line
}

void ScreenCheck::Light(int us)
{
    if (step != Step::Timing)
        return;
    // The light came the box's time after the command reached it, which was the line's delay after
    // it was sent; the reaction time starts at the disc's instant.
    const SteadyTime lit = lightAsked + std::chrono::microseconds(std::llround(oneWayUs) + us);
    const auto latency = std::chrono::duration_cast<std::chrono::microseconds>(lit - window.DiscInstant()).count();
    window.HideSignal();
    if (latency < 0) { // the light came before the disc
        Fail(EarlyLight);
        return;
    }
    if (sendHeldUp) {
        DebugLog("Bildschirmmessung: beim Senden aufgehalten, %lld us ausgelassen", static_cast<long long>(latency));
        if (++heldUp > flashes) {
            Fail(QStringLiteral("Das Programm wurde bei %1 Scheiben beim Senden an die Schaltbox aufgehalten; so "
                                "lässt sich nicht genau messen. Bitte andere Programme beenden und erneut messen.")
                     .arg(heldUp));
            return;
        }
        WaitForFlash();
        return;
    }
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
        Fail(NoLight);
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
    box.SetPromptReading(false);
    window.Withdraw();
    window.setWindowModality(Qt::NonModal);
}

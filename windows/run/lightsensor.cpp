#include "lightsensor.h"

#include "debuglog.h"

#include <algorithm>
#include <cmath>
#include <utility>

const QString NoBoxText = QStringLiteral("Es ist keine Schaltbox geöffnet. Bitte die Schaltbox anschließen, "
                                         "„Schaltbox“ und ihre Schnittstelle wählen und mit OK übernehmen.");
const QString OldFirmwareText = QStringLiteral("Die Schaltbox antwortet nicht auf die Prüfanfrage: Ihre Firmware ist "
                                               "zu alt für die Bildschirmmessung. Bitte die Firmware "
                                               "blinkdash-box.hex neu aufspielen.");
const QString NoLightText = QStringLiteral("Der Lichtsensor hat die Scheibe nicht gesehen. Bitte den Sensor auf den "
                                           "markierten Kreis halten und die Schwelle am Sensor einstellen.");
const QString EarlyLightText = QStringLiteral("Der Lichtsensor sah schon Licht, bevor die Scheibe erschien. Bitte "
                                              "Raumlicht abschirmen oder die Schwelle am Sensor höher stellen.");

double MedianOf(QList<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const qsizetype middle = values.size() / 2;
    return values.size() % 2 ? values.at(middle) : (values.at(middle - 1) + values.at(middle)) / 2;
}

LineDelay::LineDelay(SwitchBox &switchBox, const char *traceName, QObject *parent)
    : QObject(parent)
    , box(switchBox)
    , trace(traceName)
{
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, this, &LineDelay::TimedOut);
    connect(&box, &SwitchBox::EchoAnswered, this, &LineDelay::Echoed);
    connect(&box, &SwitchBox::OtherLine, this, [this](const QByteArray &line) {
        if (Measuring() && otherLines.size() < 3)
            otherLines << QString::fromLatin1(line);
    });
}

void LineDelay::Measure(int echoes)
{
    roundTripsUs.clear();
    otherLines.clear();
    echoOutstanding = false;
    wanted = echoes;
    SendEcho();
}

void LineDelay::Stop()
{
    wanted = 0;
    timer.stop();
}

void LineDelay::SendEcho()
{
    if (!Measuring())
        return;
    echoSent.start();
    echoOutstanding = true;
    box.SendEcho();
    timer.start(EchoTimeoutMs);
}

void LineDelay::Echoed()
{
    if (!Measuring())
        return;
    // An answer no request is waiting for (a box that doubles one) would time the next one short.
    if (!std::exchange(echoOutstanding, false)) {
        DebugLog("%s: Echo ohne Anfrage verworfen", trace);
        return;
    }
    roundTripsUs.append(static_cast<double>(echoSent.nsecsElapsed()) / 1000);
    if (roundTripsUs.size() < wanted) {
        // Asked once the bytes at hand are read, so that a double arriving with this one is seen as such.
        QTimer::singleShot(0, this, &LineDelay::SendEcho);
        return;
    }
    oneWayUs = MedianOf(roundTripsUs) / 2; // the median: a round trip the system held up says nothing
    Stop();
    DebugLog("%s: Leitung %.0f us je Richtung", trace, oneWayUs);
    Q_EMIT Measured(oneWayUs);
}

void LineDelay::TimedOut()
{
    // None at all: the firmware knows no echo; one lost answer, or noise, is the line's.
    const QString why = roundTripsUs.isEmpty() && otherLines.isEmpty()
        ? OldFirmwareText
        : QStringLiteral("Die Schaltbox hat %1 von %2 Prüfanfragen beantwortet, die nächste nicht "
                         "innerhalb von %3 ms.%4 Bitte die Verbindung prüfen und erneut messen.")
              .arg(roundTripsUs.size())
              .arg(wanted)
              .arg(EchoTimeoutMs)
              .arg(otherLines.isEmpty()
                      ? QString()
                      : QStringLiteral(" Stattdessen kam: „%1“.").arg(otherLines.join(QStringLiteral("“, „"))));
    Stop();
    Q_EMIT Failed(why);
}

void LightArming::Reset(double oneWayUs)
{
    lineOneWayUs = oneWayUs;
    echoesUs.clear();
}

double LightArming::OneWayUs() const
{
    return echoesUs.isEmpty() ? lineOneWayUs : MedianOf(echoesUs) / 2;
}

LightCommand LightArming::Arm(SwitchBox &box, bool screenTrial)
{
    using std::chrono::microseconds;
    const SteadyTime before = std::chrono::steady_clock::now();
    if (screenTrial)
        box.StartScreenTrial();
    else
        box.StartLightTiming();
    const SteadyTime after = std::chrono::steady_clock::now();
    LightCommand command {before + (after - before) / 2, after - before > microseconds(HeldUpUs)};
    if (command.heldUp || lineOneWayUs <= 0)
        return command;
    const bool back = box.AwaitEcho(command.sent + microseconds(std::llround(2 * lineOneWayUs) + WaitUs));
    command.echoUs = std::chrono::duration_cast<microseconds>(std::chrono::steady_clock::now() - command.sent).count();
    // Judged against the armings before it, once there are a few.
    double limitUs = 2 * lineOneWayUs + FirstLateUs;
    if (echoesUs.size() >= FewEchoes)
        limitUs = MedianOf(echoesUs) + LateUs;
    if (back) // one given up on says only that it was late
        echoesUs.append(static_cast<double>(command.echoUs));
    command.heldUp = !back || static_cast<double>(command.echoUs) > limitUs;
    return command;
}

std::int64_t LightLatencyUs(const LightCommand &command, double oneWayUs, int us, SteadyTime disc)
{
    const SteadyTime lit = command.sent + std::chrono::microseconds(std::llround(oneWayUs) + us);
    return std::chrono::duration_cast<std::chrono::microseconds>(lit - disc).count();
}

#pragma once

#include "reactionclock.h"
#include "switchbox.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QTimer>

// What the person is told where the box's light sensor cannot be used.
extern const QString NoBoxText;       // no box open
extern const QString OldFirmwareText; // the box does not echo
extern const QString NoLightText;     // the sensor did not see the disc
extern const QString EarlyLightText;  // it saw light before the disc

double MedianOf(QList<double> values);

// The line's one-way delay to the box: half the median round trip of a number of echoes, each
// asked once the one before is answered (the box's prompt reading on: a poll's wait would count as
// the line's). A box that answers none within EchoTimeoutMs has a firmware without the echo; one
// that stops answering is told with what came instead.
class LineDelay : public QObject
{
    Q_OBJECT

public:
    static constexpr int EchoTimeoutMs = 500;

    // trace: what the debug log's lines begin with ("Bildschirmmessung").
    LineDelay(SwitchBox &box, const char *trace, QObject *parent = nullptr);

    void Measure(int echoes);
    void Stop();
    bool Measuring() const { return wanted > 0; }
    double OneWayUs() const { return oneWayUs; }

Q_SIGNALS:
    void Measured(double oneWayUs);
    void Failed(const QString &why);

private:
    void SendEcho();
    void Echoed();
    void TimedOut();

    SwitchBox &box;
    const char *trace;
    QTimer timer; // how long an echo may take
    QElapsedTimer echoSent;
    QList<double> roundTripsUs;
    QStringList otherLines;       // what came instead of echoes, to be told
    bool echoOutstanding = false; // an answer is due: each request has one, a second is none
    int wanted = 0;               // echoes; 0 when not measuring
    double oneWayUs = 0;
};

// The sensor armed: the command handed to the driver, its instant taken as the middle of the
// clock read before and after. Handing it over takes tens of microseconds; longer, the program was
// held up, and when in between the command left is not known.
struct LightCommand
{
    static constexpr int HeldUpUs = 500;
    SteadyTime sent;
    bool heldUp = false;
};
// "l", or with screenTrial "s" (the button timed after the light too).
LightCommand ArmLightSensor(SwitchBox &box, bool screenTrial);

// How long after the disc's instant the light came, in microseconds: it came the box's time after
// the command reached it, which was the line's delay after it was sent.
std::int64_t LightLatencyUs(const LightCommand &command, double oneWayUs, int us, SteadyTime disc);

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
// held up, and when in between the command left is not known. The line can hold it up too (a
// kernel worker or a USB adapter delivering it late), which the program cannot see in sending: an
// echo sent behind it comes back no sooner than the command has arrived. Either way the light's
// time would count from a later instant than the program takes, and so is not the disc's.
struct LightCommand
{
    SteadyTime sent;
    bool heldUp = false;
    std::int64_t echoUs = 0; // when the echo behind it came back, or was given up on; 0: not asked
};

// Arms the sensor for each disc of a check or run and judges its echo against those of the armings
// before. A line's own echoes, asked back to back, come faster than one after a wait, which finds
// the box's side idle (a simulator's even more so): the line's delay as the armings find it is half
// their median echo, and the line's measured delay only the first guess and the wait's base.
class LightArming
{
public:
    static constexpr int HeldUpUs = 500;
    static constexpr int WaitUs = 3000; // beyond the round trip: how long the drawing may wait
    static constexpr int LateUs = 300;  // beyond the median echo
    // Until a few armings have a median of their own: this beyond the line's round trip.
    static constexpr int FewEchoes = 3;
    static constexpr int FirstLateUs = 2000;

    // A new check or run, on a line whose one-way delay is known (0: not yet, the echo not asked).
    void Reset(double lineOneWayUs);
    // "l", or with screenTrial "s" (the button timed after the light too).
    LightCommand Arm(SwitchBox &box, bool screenTrial);
    double OneWayUs() const;

private:
    double lineOneWayUs = 0;
    QList<double> echoesUs;
};

// How long after the disc's instant the light came, in microseconds: it came the box's time after
// the command reached it, which was the line's delay after it was sent.
std::int64_t LightLatencyUs(const LightCommand &command, double oneWayUs, int us, SteadyTime disc);

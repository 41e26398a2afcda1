#pragma once

#include "actionwin.h"
#include "lightsensor.h"
#include "switchbox.h"

#include <QList>
#include <QObject>
#include <QTimer>

// Median, quartiles, mean, standard deviation and range of display latencies, in milliseconds.
struct LatencyFigures
{
    int count = 0;
    double medianMs = 0; // the figure: one sample the system held up cannot move it far
    double lowerQuartileMs = 0;
    double upperQuartileMs = 0;
    double meanMs = 0;
    double sdMs = 0; // of the sample, n - 1
    double minMs = 0;
    double maxMs = 0;
};
LatencyFigures SummarizeLatencies(const QList<double> &latenciesUs);

// Measures the screen's display latency with the switch box's light sensor held on it: the
// line's one-way delay from a few dozen echoes, then the disc shown in the stimulus window after
// random waits, through the same painting and clock as a run, and for each the box's time from
// the command, sent just before the disc is painted, to the light. A latency counts from the
// instant a reaction time would start. A flash whose command the program was held up in sending
// is left out (its instant is not known well enough) and counted.
class ScreenCheck : public QObject
{
    Q_OBJECT

public:
    static constexpr int Echoes = 30;
    static constexpr int MissesTolerated = 2; // flashes the sensor did not see, of all

    ScreenCheck(SwitchBox &box, ActionWin &window, QObject *parent = nullptr);

    // How many flashes, after waits from shortest to longest (tests take fewer and shorter).
    void SetPlan(int flashCount, int shortestMs, int longestMs);

    void Start();
    bool Running() const { return step != Step::Idle; }
    const QList<double> &LatenciesUs() const { return latencies; }
    int HeldUp() const { return heldUp; } // flashes left out

Q_SIGNALS:
    void Finished(const LatencyFigures &figures);
    void Failed(const QString &why);
    void Cancelled();

private:
    enum class Step { Idle, Echoing, Ready, Waiting, Timing };

    void Echoed();
    void Flash();
    void WaitForFlash();
    void Light(int us);
    void Missed();
    void Fail(const QString &why);
    void End();

    SwitchBox &box;
    ActionWin &window;
    LineDelay line;
    Step step = Step::Idle;
    QTimer timer; // the wait before a flash, and how long a light may take
    LightArming arming;
    LightCommand lightAsked;
    QList<double> latencies;
    int heldUp = 0;
    int misses = 0;
    int flashes = 50;
    int shortestWaitMs = 300;
    int longestWaitMs = 700;
};

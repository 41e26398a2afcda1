#pragma once

#include "evaluation.h"
#include "reactionclock.h"
#include "task.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

// One signal of a run and its answer.
struct RunTrial
{
    int waitMs = 0;              // the drawn wait before the signal
    int timeMs = 0;              // the reaction time the run used, the screen's latency taken off where it was
    std::optional<qint64> boxUs; // box: the time as the box sent it
    std::optional<int> x, y;     // screen: the disc's place, per cent of the window
    bool warmUp = false;         // by the evaluation's rule, evaluated or not
    bool outlier = false;        // by the evaluation
    // What timed the reaction; the journal keeps the run's clocks together (RunRecord::timing).
    std::optional<ReactionTiming> clock;
    // A light-timed run: false for a trial whose light was not seen (or not timed well enough),
    // which is kept but neither timed (its time is 0) nor evaluated.
    bool counted = true;
    std::optional<double> lightLatencyMs; // the patch's light after the disc's instant
    std::optional<qint64> lightUs;        // the box's time from the sensor's arming to the light
    QString answer;                       // what answered: "space", "button"; empty where none did
    // A task's signal other than the simple one's: its place or colour (Stimulus), the key that
    // answers it right (empty: none may), and the answer judged (JudgeTrial); the answer above is
    // then the key given, "f", or empty where none was. The simple task judges nothing.
    QString stimulus;
    QString expected;
    std::optional<bool> correct;
    bool lapse = false;
    bool falseStart = false;
};

// A run as it was set up, how it went, and its evaluation: made by the run engine, kept by the
// journal as it is.
struct RunRecord
{
    enum class Ending { Complete, Stopped, EarlyPresses, BoxLost };

    qint64 id = 0; // given by the journal
    QDateTime started;
    QDateTime ended;
    QString name; // as typed
    Task task;
    bool box = false;
    QString place; // the screen's size ("1920x1080") or the box's port ("COM3 /dev/ttyUSB0")
    int signalCount = 0;
    double minWaitS = 0; // as set; the waits drawn show the milliseconds
    double maxWaitS = 0;
    bool randomPosition = false;
    bool warning = false;
    int leadMinMs = 0;
    int leadMaxMs = 0;
    QString sound;
    Ending ending = Ending::Complete;
    int earlyPresses = 0;
    Evaluation evaluation;
    QString version;
    std::optional<double> displayLatencyMs, displayLatencySdMs; // the screen's, as last measured
    bool latencyCorrected = false;                              // taken off the times
    // The clocks that timed the reactions, "+" between two ("x11-servertime", "xwayland-servertime",
    // "wayland-presentation", "program", "box"); empty where not known (runs of older versions).
    QString timing;
    // Each disc timed by the box's light sensor, answered with "space" or the box's "button";
    // empty for other runs.
    QString lightTiming;
    // The run's identity wherever it is copied to (a class server takes it once), and the
    // computer it ran on; empty for runs of older versions.
    QString uuid;
    QString computer;
    QList<RunTrial> trials; // in order, counted or not
    int trialCount = 0;     // counted ones, also where the trials were not read
};

QString EndingName(RunRecord::Ending ending);       // "complete", "stopped", "early presses", "box lost"
RunRecord::Ending EndingNamed(const QString &name); // an unknown name is "complete"
QString DeviceName(const RunRecord &run);           // "box", "screen"

// The trials that count: every one but a light-timed trial whose light was not seen.
QList<RunTrial> CountedTrials(const QList<RunTrial> &trials);

// The clocks of the trials, each once, the one used last at the end, as RunRecord::timing.
QString TimingOf(const QList<RunTrial> &trials);

#pragma once

#include "runrecord.h"

#include <QList>
#include <QPointF>

#include <optional>

// The measures of each task, each defined once, here. Reaction times in whole milliseconds, as
// kept with each trial.

// A PVT's reaction shorter than this is a false start: nobody reacts that fast, the key was
// pressed in anticipation (Basner & Dinges 2011).
constexpr int FalseStartMs = 100;

// A lapse: a reaction at or beyond the task's threshold, 500 ms for the PVT (Basner & Dinges 2011),
// 355 ms for PVT-B (Basner, Mollicone & Dinges 2011); tasks without lapses have none.
bool IsLapse(const Task &task, int ms);
int LapseThresholdMs(const Task &task);      // 0: the task has no lapses
bool IsFalseStart(const Task &task, int ms); // PVT and PVT-B only

// A task's trial judged as it ends: its answer right where it is the key expected (no key for a
// no-go, or a go missed), lapse and false start by the rules above. The simple task judges nothing.
void JudgeTrial(const Task &task, RunTrial &trial);

// PVT and PVT-B after Basner & Dinges 2011 (PVT-B's lapse after Basner, Mollicone & Dinges 2011),
// over the answered signals; a "valid" reaction is one that is no false start.
struct PvtMeasures
{
    int valid = 0;       // reactions that are no false start, lapses included
    int lapses = 0;      // valid reactions at or beyond the lapse threshold
    int falseStarts = 0; // presses with no signal shown (early presses) and reactions under 100 ms
    // None where no reaction is valid:
    std::optional<double> speed;        // response speed: the mean of 1/RT, per second
    std::optional<double> fastestMs;    // the mean of the fastest 10 % of reaction times
    std::optional<double> slowestSpeed; // the mean of the slowest 10 % of 1/RT, per second
    std::optional<double> medianMs;     // of the valid reactions
};
// "10 %" is the tenth of the valid reactions, rounded down, at least one.
PvtMeasures MeasurePvt(const RunRecord &run);

// Choice: answers with the key of the place shown, those with another key, and the mean reaction
// time of the right ones.
struct ChoiceMeasures
{
    int correct = 0;
    int wrong = 0;
    std::optional<double> meanCorrectMs;
};
ChoiceMeasures MeasureChoice(const RunRecord &run);

// Hick's law over choice runs: the least-squares line of each run's mean reaction time of its right
// answers against log2 of its number of places. The slope is the time per bit of information.
// None without runs of two different numbers of places (a run without right answers gives no point).
struct HickLine
{
    double slopeMs = 0; // per bit
    double interceptMs = 0;
};
std::optional<HickLine> FitHick(const QList<RunRecord> &runs);
// The same line through points of log2(places) and time; none without two different places.
std::optional<HickLine> FitHick(const QList<QPointF> &points);
// A run's point on Hick's chart: a choice run's log2 of its places and mean time of right answers;
// a simple run is one place (0 bits) with its result. None for other tasks or without that time.
std::optional<QPointF> HickPoint(const RunRecord &run);

// Go/no-go: go signals not answered in time (omissions), no-go signals answered (commission
// errors), and the mean reaction time of the go signals answered.
struct GoNoGoMeasures
{
    int omissions = 0;
    int commissions = 0;
    std::optional<double> meanGoMs;
};
GoNoGoMeasures MeasureGoNoGo(const RunRecord &run);

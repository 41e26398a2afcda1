#include "taskmeasures.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

int LapseMs(const Task &task)
{
    return task.kind == TaskKind::Pvt ? 500 : task.kind == TaskKind::PvtB ? 355 : 0;
}

std::optional<double> Mean(const QList<double> &values)
{
    if (values.isEmpty())
        return std::nullopt;
    return std::accumulate(values.begin(), values.end(), 0.0) / static_cast<double>(values.size());
}

// The answered trials that count.
QList<RunTrial> Answered(const RunRecord &run)
{
    QList<RunTrial> answered;
    for (const RunTrial &trial : CountedTrials(run.trials))
        if (!trial.answer.isEmpty())
            answered.append(trial);
    return answered;
}

} // namespace

bool IsLapse(const Task &task, int ms)
{
    return LapseMs(task) > 0 && ms >= LapseMs(task);
}

int LapseThresholdMs(const Task &task)
{
    return LapseMs(task);
}

bool IsFalseStart(const Task &task, int ms)
{
    return LapseMs(task) > 0 && ms < FalseStartMs;
}

void JudgeTrial(const Task &task, RunTrial &trial)
{
    if (task.kind == TaskKind::Simple)
        return;
    trial.correct = trial.answer == trial.expected;
    const bool answered = !trial.answer.isEmpty();
    trial.falseStart = answered && IsFalseStart(task, trial.timeMs);
    trial.lapse = answered && IsLapse(task, trial.timeMs);
}

PvtMeasures MeasurePvt(const RunRecord &run)
{
    PvtMeasures m;
    m.falseStarts = run.earlyPresses;
    QList<double> times; // ms, of the valid reactions
    for (const RunTrial &trial : Answered(run)) {
        if (IsFalseStart(run.task, trial.timeMs)) {
            ++m.falseStarts;
            continue;
        }
        times << trial.timeMs;
        m.lapses += IsLapse(run.task, trial.timeMs);
    }
    m.valid = static_cast<int>(times.size());
    if (times.isEmpty())
        return m;
    std::sort(times.begin(), times.end());
    QList<double> speeds; // 1/RT per second, slowest first
    for (auto t = times.rbegin(); t != times.rend(); ++t)
        speeds << 1000 / *t;
    const qsizetype tenth = std::max<qsizetype>(1, times.size() / 10);
    m.speed = Mean(speeds);
    m.fastestMs = Mean(times.first(tenth));
    m.slowestSpeed = Mean(speeds.first(tenth));
    const qsizetype half = times.size() / 2;
    m.medianMs = times.size() % 2 ? times.at(half) : (times.at(half - 1) + times.at(half)) / 2;
    return m;
}

ChoiceMeasures MeasureChoice(const RunRecord &run)
{
    ChoiceMeasures m;
    QList<double> times;
    for (const RunTrial &trial : Answered(run)) {
        if (trial.answer == trial.expected) {
            ++m.correct;
            times << trial.timeMs;
        } else {
            ++m.wrong;
        }
    }
    m.meanCorrectMs = Mean(times);
    return m;
}

std::optional<HickLine> FitHick(const QList<RunRecord> &runs)
{
    QList<QPointF> points;
    for (const RunRecord &run : runs) {
        const std::optional<QPointF> point = HickPoint(run);
        if (run.task.kind == TaskKind::Choice && point) // choice runs alone, as ever
            points << *point;
    }
    return FitHick(points);
}

std::optional<HickLine> FitHick(const QList<QPointF> &points)
{
    QList<double> xs, ys;
    for (const QPointF &point : points)
        xs << point.x(), ys << point.y();
    const std::optional<double> mx = Mean(xs);
    if (!mx)
        return std::nullopt;
    const double my = *Mean(ys);
    double sxx = 0, sxy = 0;
    for (qsizetype i = 0; i < xs.size(); ++i) {
        sxx += (xs.at(i) - *mx) * (xs.at(i) - *mx);
        sxy += (xs.at(i) - *mx) * (ys.at(i) - my);
    }
    if (sxx == 0) // one number of places: no line
        return std::nullopt;
    const double slope = sxy / sxx;
    return HickLine {slope, my - slope * *mx};
}

std::optional<QPointF> HickPoint(const RunRecord &run)
{
    if (run.task.kind == TaskKind::Simple && run.evaluation.result)
        return QPointF(0, *run.evaluation.result);
    const std::optional<double> y = MeasureChoice(run).meanCorrectMs;
    if (run.task.kind != TaskKind::Choice || !y)
        return std::nullopt;
    return QPointF(std::log2(run.task.alternatives), *y);
}

GoNoGoMeasures MeasureGoNoGo(const RunRecord &run)
{
    GoNoGoMeasures m;
    QList<double> times;
    for (const RunTrial &trial : CountedTrials(run.trials)) {
        const bool go = !trial.expected.isEmpty();
        const bool pressed = !trial.answer.isEmpty();
        if (go && !pressed)
            ++m.omissions;
        else if (!go && pressed)
            ++m.commissions;
        else if (go)
            times << trial.timeMs;
    }
    m.meanGoMs = Mean(times);
    return m;
}

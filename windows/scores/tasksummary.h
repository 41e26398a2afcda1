#pragma once

#include "runrecord.h"

#include <QList>
#include <QString>

#include <optional>

// A run's time as its task counts it, in ms: the simple task's result, a PVT's median, the mean of
// a choice's right answers, of go/no-go's go answers; none where the run has none.
std::optional<double> RunFigureMs(const RunRecord &run);

// A person's runs of one task, oldest first, by their figure: how many have one, their median and
// best (the shortest), and the trend, the least-squares slope over the runs in order, in ms per run
// (none with fewer than two).
struct TaskSummary
{
    int runs = 0;
    std::optional<double> medianMs, bestMs, trendMs;
};
TaskSummary Summarize(const QList<RunRecord> &oldestFirst);

// "Anna, PVT (10 min) – 3 Durchgänge, Median 312 ms, bester 280 ms, Trend −6 ms je Durchgang".
QString SummaryText(const QString &name, const Task &task, const TaskSummary &summary);

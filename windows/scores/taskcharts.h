#pragma once

#include "runrecord.h"

#include <QChart>

// The charts of the tasks other than the simple one, in "Verlauf".

// A PVT: each reaction time at the minute its signal came, lapses and false starts marked apart,
// the lapse threshold as a dashed line.
QChart *PvtChart(const RunRecord &run);
// A PVT's response speeds (1/RT, per second) of its valid reactions.
QChart *SpeedHistogram(const RunRecord &run);
// Choice and go/no-go: each answer's time by signal, right and wrong apart.
QChart *AnswersChart(const RunRecord &run);
// Choice and go/no-go: the times of the right answers.
QChart *RightTimesHistogram(const RunRecord &run);
// Hick's law: each run's point (HickPoint) and the least-squares line with its slope in ms per bit.
QChart *HickChart(const QList<RunRecord> &runs, const QString &title);
// Go/no-go runs, oldest first: omissions and commission errors, and the mean time of the go
// answers, per run.
QChart *GoNoGoChart(const QList<RunRecord> &oldestFirst, const QString &title);

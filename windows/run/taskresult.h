#pragma once

#include "runrecord.h"

#include <QString>
#include <QStringList>

// What the main window's result box says of a task's run (not the simple task's, whose result is
// its evaluation): the task's title and its main figure on two lines, and every measure, one a
// line, with the PVT's statement of how the screen's latency was measured.
struct TaskResult
{
    QString headline;
    QStringList measures;
};
TaskResult DescribeTaskRun(const RunRecord &run);

#pragma once

// What the benchmarks of the journal and the class server fill them with, and how they time.

#include "runrecord.h"

#include <QElapsedTimer>

// Run i of many: ten names in turn, 20 trials each, ten minutes apart.
inline RunRecord MakeRun(int i)
{
    RunRecord run;
    run.started = QDateTime(QDate(2024, 1, 1), QTime(8, 0), Qt::OffsetFromUTC, 3600).addSecs(i * 600LL);
    run.ended = run.started.addSecs(120);
    run.name = QStringLiteral("Person %1").arg(i % 10);
    run.place = QStringLiteral("1920x1080");
    run.signalCount = 20;
    run.minWaitS = 2, run.maxWaitS = 7;
    run.sound = QStringLiteral("ding.wav");
    for (int t = 0; t < 20; ++t)
        run.trials.append({2000 + (i * 37 + t * 101) % 5000, 200 + (i * 13 + t * 29) % 150, {}, 50, 50, t < 2, t == 19,
            {}, true, {}, {}, {}, {}, {}, {}, false, false});
    run.evaluation = {true, 270, 30, 315, 260 + i % 40};
    run.version = QStringLiteral("1.1");
    return run;
}

inline double Ms(const QElapsedTimer &timer)
{
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

#include "evaluation.h"

#include <QtGlobal>

Evaluation Evaluate(const QList<int> &times)
{
    Evaluation e;
    if (times.size() <= 3)
        return e;

    // 64-bit sums: a long run of large box times must not overflow.
    const auto evaluated = times.mid(WarmUpTimes);
    const qint64 k = evaluated.size();
    qint64 sum = 0;
    for (int t : evaluated)
        sum += t;
    e.mean = sum / k;

    qint64 deviations = 0;
    for (int t : evaluated)
        deviations += qAbs(e.mean - t);
    e.deviation = deviations / k;
    e.threshold = e.mean + (3 * e.deviation) / 2;
    e.evaluated = true;

    qint64 keptSum = 0;
    qint64 kept = 0;
    for (int t : evaluated) {
        if (!e.IsOutlier(t)) {
            keptSum += t;
            ++kept;
        }
    }
    if (kept > 0)
        e.result = static_cast<int>(keptSum / kept);
    return e;
}

#pragma once

#include <QList>
#include <optional>

// The first times of a run, never evaluated.
constexpr int WarmUpTimes = 2;

// A run reduced to one number: the first two times are warm-up; of the rest, those below
// mean + 1.5 mean deviations are averaged. Integer arithmetic throughout, divisions truncate.
struct Evaluation
{
    bool evaluated = false; // false for three times or fewer: nothing below is set
    qint64 mean = 0;
    qint64 deviation = 0;      // mean absolute deviation from the mean
    qint64 threshold = 0;      // times at or above it are outliers, where the times deviate at all
    std::optional<int> result; // set whenever evaluated

    // A deviation of 0 (equal times, or times a millisecond apart) puts the threshold on the mean;
    // nothing is an outlier then, or such a run would have no result.
    bool IsOutlier(qint64 time) const { return deviation > 0 && time >= threshold; }
};

Evaluation Evaluate(const QList<int> &times);

#include "runtiming.h"

#include "random.h"

#include <QtGlobal>
#include <cmath>

namespace {

long double DelayBound(double seconds)
{
    if (std::isnan(seconds))
        return 0.0L;
    return qBound(0.0L, static_cast<long double>(seconds), static_cast<long double>(MaxDelaySeconds));
}

int ToMilliseconds(long double seconds)
{
    return static_cast<int>(seconds * 1000.0L); // truncates toward zero, never rounds
}

} // namespace

RunTiming MakeRunTiming(const Settings &settings)
{
    const long double minDel = DelayBound(settings.minDel);
    const long double maxDel = DelayBound(settings.maxDel);
    RunTiming timing;
    timing.minDelayMs = ToMilliseconds(minDel);
    timing.delayRangeMs = ToMilliseconds(std::fabs(minDel - maxDel));
    timing.minDelayS = static_cast<double>(minDel);
    timing.maxDelayS = static_cast<double>(maxDel >= minDel ? maxDel : minDel + (minDel - maxDel));
    timing.minLeadMs = qBound(0, settings.minAkkust, MaxLeadMs);
    timing.maxLeadMs = qBound(0, settings.maxAkkust, MaxLeadMs);
    timing.signalCount = qMax(0, settings.cnt);
    return timing;
}

int NextWait(const RunTiming &timing)
{
    return timing.minDelayMs + static_cast<int>(RandomUpTo(timing.delayRangeMs));
}

int WarningOffset(const RunTiming &timing, int waitMs)
{
    return waitMs - timing.minLeadMs - static_cast<int>(RandomUpTo(timing.maxLeadMs - timing.minLeadMs));
}

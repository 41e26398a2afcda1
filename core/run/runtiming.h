#pragma once

#include "settings.h"

// The waits and warning leads of one run, fixed at its start. Settings are used as they stand
// when they lie in the ranges the settings dialog offers; hand-edited values outside them are
// brought to the nearest value a run can sensibly use (see MakeRunTiming).
struct RunTiming
{
    int minDelayMs = 0;   // shortest wait before a signal
    int delayRangeMs = 0; // waits lie in minDelayMs .. minDelayMs + delayRangeMs
    // The same bounds in seconds before they are cut to whole milliseconds: 1.2 s stays 1.2.
    double minDelayS = 0;
    double maxDelayS = 0;
    int minLeadMs = 0; // the acoustic warning sounds between these two leads before the signal
    int maxLeadMs = 0;
    int signalCount = 0;
};

constexpr double MaxDelaySeconds = 60.0;
constexpr int MaxLeadMs = 10000;

// Each wait bound is taken in 0..MaxDelaySeconds (not a number counts as 0) and turned into
// whole milliseconds by truncation in extended precision, so 0.3 s is 299 ms as the clock of a
// long double sees it. The range is the distance between the two bounds, whichever is larger.
// Warning leads are taken in 0..MaxLeadMs, the signal count at 0 or more.
RunTiming MakeRunTiming(const Settings &settings);

// A fresh wait: minDelayMs plus a random part of the range.
int NextWait(const RunTiming &timing);

// When, counted from now, the warning for a signal due in waitMs sounds; negative when the
// lead is longer than the wait, and then no warning sounds for that signal.
int WarningOffset(const RunTiming &timing, int waitMs);

#pragma once

#include <QtGlobal>

// A trace of the run's timing, one printf-style line per event. Every call does nothing until
// DebugLogOpen has been called, so the program can log unconditionally.
enum DebugLogFlags {
    DebugLogToStderr = 0x01,
    DebugLogToFile = 0x04,
    DebugLogToCallback = 0x08,
    DebugLogTruncate = 0x80, // with DebugLogToFile: start the file empty instead of appending
};

// A formatted line longer than this, terminator included, is cut to fit.
constexpr int DebugLogLineMax = 32000;

using DebugLogCallback = void (*)(const char *line);

// path is an 8-bit file path; a second open closes the first log. A file that cannot be opened
// is silently left out.
void DebugLogOpen(int flags, const char *path, DebugLogCallback callback);
void DebugLog(const char *format, ...) Q_ATTRIBUTE_FORMAT_PRINTF(1, 2);
void DebugLogClose();

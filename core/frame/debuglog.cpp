#include "debuglog.h"

#include <cstdarg>
#include <cstdio>

namespace {

int logFlags = 0;
FILE *logFile = nullptr;
DebugLogCallback logCallback = nullptr;
bool busy = false; // a line the callback itself tries to log is dropped

} // namespace

void DebugLogOpen(int flags, const char *path, DebugLogCallback callback)
{
    if (logFlags != 0)
        DebugLogClose();
    logFlags = flags;
    logCallback = callback;
    if ((flags & DebugLogToFile) && path)
        logFile = std::fopen(path, (flags & DebugLogTruncate) ? "wt" : "at");
}

void DebugLog(const char *format, ...)
{
    if (busy || logFlags == 0)
        return;
    busy = true;

    static char text[DebugLogLineMax];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);

    if (logFlags & DebugLogToStderr) {
        std::fputs(text, stderr);
        std::fputc('\n', stderr);
    }
    if ((logFlags & DebugLogToFile) && logFile) {
        std::fputs(text, logFile);
        std::fputc('\n', logFile);
        std::fflush(logFile);
    }
    if ((logFlags & DebugLogToCallback) && logCallback)
        logCallback(text);

    busy = false;
}

void DebugLogClose()
{
    if (logFile)
        std::fclose(logFile);
    logFile = nullptr;
    logCallback = nullptr;
    logFlags = 0;
}

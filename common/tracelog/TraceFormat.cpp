#include "TraceFormat.h"

#include <stdio.h>
#include <string.h>

int FormatTracePrefix(char* out, size_t capacity, const TraceClock& when, unsigned long threadId)
{
    int n = snprintf(out, capacity, "%04d/%02d/%02d %02d:%02d:%02d.%03d(%08lx) ", when.year, when.month,
                     when.day, when.hour, when.minute, when.second, when.millisecond, threadId);
    if (n < 0) {
        out[0] = '\0';
        return 0;
    }
    return (size_t)n < capacity ? n : (int)capacity - 1;
}

bool BuildTraceLogPath(char* out, size_t capacity, const char* tempDir, const char* prefix,
                       const TraceClock& start, bool withThreadId, unsigned long threadId)
{
    int n;
    if (withThreadId)
        n = snprintf(out, capacity, "%s%s%04d%02d%02d%02d%02d%02d%08lx.log", tempDir, prefix, start.year,
                     start.month, start.day, start.hour, start.minute, start.second, threadId);
    else
        n = snprintf(out, capacity, "%s%s%04d%02d%02d%02d%02d%02d.log", tempDir, prefix, start.year,
                     start.month, start.day, start.hour, start.minute, start.second);
    if (n < 0 || (size_t)n >= capacity) {
        if (capacity > 0)
            out[0] = '\0';
        return false;
    }
    return true;
}

TraceClock TraceClockFromTm(const struct tm& local, int millisecond)
{
    TraceClock c = {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                    local.tm_min,         local.tm_sec,     millisecond};
    return c;
}

bool SplitFileTime(unsigned long long ticks, long long* unixSeconds, int* millisecond)
{
    const unsigned long long kTicksPerSecond = 10000000ULL;
    const unsigned long long kEpochDifference = 11644473600ULL * kTicksPerSecond;  // 1601 -> 1970
    if (ticks < kEpochDifference)
        return false;
    unsigned long long since1970 = ticks - kEpochDifference;
    *unixSeconds = static_cast<long long>(since1970 / kTicksPerSecond);
    *millisecond = static_cast<int>((since1970 % kTicksPerSecond) / 10000ULL);
    return true;
}

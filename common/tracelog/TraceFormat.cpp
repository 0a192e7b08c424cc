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

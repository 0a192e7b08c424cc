// Portable formatting of trace lines and log file names.
#ifndef KEVO_TRACEFORMAT_H
#define KEVO_TRACEFORMAT_H

#include <stddef.h>
#include <time.h>

struct TraceClock {
    int year, month, day, hour, minute, second, millisecond;
};

// The fields of a broken-down local time (from localtime) and milliseconds.
TraceClock TraceClockFromTm(const struct tm& local, int millisecond);

// Splits a Windows file time (100-ns intervals since 1601-01-01 UTC) into
// seconds since 1970-01-01 UTC and milliseconds; false before 1970.
bool SplitFileTime(unsigned long long ticks, long long* unixSeconds, int* millisecond);

enum { TRACE_MESSAGE_BUFFER = 1024, TRACE_PATH_CAPACITY = 260 };

// "YYYY/MM/DD hh:mm:ss.mmm(tttttttt) " into out; returns its length.
int FormatTracePrefix(char* out, size_t capacity, const TraceClock& when, unsigned long threadId);

// tempDir + prefix + YYYYMMDDhhmmss [+ 8 hex digits of threadId] + ".log".
// Returns false, leaving out empty, when the name does not fit in capacity
// characters including the terminator.
bool BuildTraceLogPath(char* out, size_t capacity, const char* tempDir, const char* prefix,
                       const TraceClock& start, bool withThreadId, unsigned long threadId);

#endif

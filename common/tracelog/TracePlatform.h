// What the trace log needs of the operating system (TraceLogWin.cpp on
// Windows, TraceLogPosix.cpp elsewhere).
#ifndef KEVO_TRACEPLATFORM_H
#define KEVO_TRACEPLATFORM_H

#include <stdio.h>
#include <stddef.h>
#include "TraceFormat.h"

// Reads a trace setting; false when absent or unreadable.
bool TracePlatformReadSetting(const char* name, int* value);
// Local time with milliseconds, through the C runtime's local-time
// conversion so that a zone the program fixes (TZ) applies; all fields 0
// when the clock cannot be read.
TraceClock TracePlatformNow();
// The user's temporary directory with its trailing separator; false on failure.
bool TracePlatformTempDir(char* out, size_t capacity);
unsigned long TracePlatformThreadId();
void TracePlatformCreateLock();
void TracePlatformLock();
void TracePlatformUnlock();
// Opens path for appending in text mode, committing every flush when commit.
FILE* TracePlatformOpenAppend(const char* path, bool commit);

// The caller's error state: the thread's last error (Windows) and errno.
struct TraceCallerError {
    unsigned long lastError;
    int cError;
};
TraceCallerError TracePlatformSaveError();
void TracePlatformRestoreError(const TraceCallerError& saved);

// Keeps the caller's error state across one trace call: opening the log file
// sets the last error (183 for an existing file), and callers read their own
// failing call's code after tracing.
class TraceErrorKeeper {
public:
    TraceErrorKeeper() : saved_(TracePlatformSaveError()) {}
    ~TraceErrorKeeper() { TracePlatformRestoreError(saved_); }

private:
    TraceErrorKeeper(const TraceErrorKeeper&);
    TraceErrorKeeper& operator=(const TraceErrorKeeper&);
    TraceCallerError saved_;
};

#endif

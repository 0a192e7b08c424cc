// What the trace log needs of the operating system (TraceLogWin.cpp on
// Windows, TraceLogPosix.cpp elsewhere).
#ifndef KEVO_TRACEPLATFORM_H
#define KEVO_TRACEPLATFORM_H

#include <stdio.h>
#include <stddef.h>
#include "TraceFormat.h"

// Reads a trace setting; false when absent or unreadable.
bool TracePlatformReadSetting(const char* name, int* value);
// Local time with milliseconds; all fields 0 when the clock cannot be read.
TraceClock TracePlatformNow();
// The user's temporary directory with its trailing separator; false on failure.
bool TracePlatformTempDir(char* out, size_t capacity);
unsigned long TracePlatformThreadId();
void TracePlatformCreateLock();
void TracePlatformLock();
void TracePlatformUnlock();
// Opens path for appending in text mode, committing every flush when commit.
FILE* TracePlatformOpenAppend(const char* path, bool commit);

#endif

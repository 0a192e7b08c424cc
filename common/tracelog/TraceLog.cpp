// The trace log proper. Build parameters (set by kevo_add_tracelog):
//   KEVO_TRACE_FILE_PREFIX       file-name prefix, e.g. "KEVORevoke"
//   KEVO_TRACE_THREAD_ID_IN_NAME 1 when the file name ends in the thread id
#include "TraceLog.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "TraceFormat.h"
#include "TracePlatform.h"

#ifndef KEVO_TRACE_FILE_PREFIX
#error "KEVO_TRACE_FILE_PREFIX must name the log file prefix"
#endif
#ifndef KEVO_TRACE_THREAD_ID_IN_NAME
#define KEVO_TRACE_THREAD_ID_IN_NAME 0
#endif

namespace {

// Read once per process, unlocked: two threads racing on the first call
// both read the same registry values.
int g_traceLevel = 0;
bool g_traceLevelRead = false;
int g_traceCommit = 0;
bool g_traceCommitRead = false;

char g_logPath[TRACE_PATH_CAPACITY] = "";

int ReadSettingOrZero(const char* name)
{
    int value = 0;
    return TracePlatformReadSetting(name, &value) ? value : 0;
}

void EnsureLevelRead()
{
    if (!g_traceLevelRead) {
        g_traceLevel = ReadSettingOrZero("TRACE");
        g_traceLevelRead = true;
    }
}

void EnsureCommitRead()
{
    if (!g_traceCommitRead) {
        g_traceCommit = ReadSettingOrZero("TRACECOMMIT");
        g_traceCommitRead = true;
    }
}

// Fixes the log path at the first write; false when it cannot be built.
bool EnsureLogPath()
{
    if (g_logPath[0] != '\0')
        return true;
    TraceClock start = TracePlatformNow();
    char tempDir[TRACE_PATH_CAPACITY];
    if (!TracePlatformTempDir(tempDir, sizeof tempDir))
        return false;
    return BuildTraceLogPath(g_logPath, sizeof g_logPath, tempDir, KEVO_TRACE_FILE_PREFIX, start,
                             KEVO_TRACE_THREAD_ID_IN_NAME != 0, TracePlatformThreadId());
}

void AppendFragment(const char* format, va_list args)
{
    TracePlatformLock();
    if (EnsureLogPath()) {
        FILE* file = TracePlatformOpenAppend(g_logPath, g_traceCommit != 0);
        if (file != NULL) {
            vfprintf(file, format, args);
            fflush(file);
            fclose(file);
        }
    }
    TracePlatformUnlock();
}

}  // namespace

extern "C" void TraceInitLock(void)
{
    TracePlatformCreateLock();
}

extern "C" void TraceAppend(int level, const char* format, ...)
{
    TraceErrorKeeper keeper;
    EnsureLevelRead();
    EnsureCommitRead();
    if (level > g_traceLevel)
        return;
    va_list args;
    va_start(args, format);
    AppendFragment(format, args);
    va_end(args);
}

extern "C" void TraceLog(int level, const char* format, ...)
{
    TraceErrorKeeper keeper;
    EnsureLevelRead();
    if (level > g_traceLevel)
        return;

    char prefix[64];
    FormatTracePrefix(prefix, sizeof prefix, TracePlatformNow(), TracePlatformThreadId());
    TraceAppend(level, "%s", prefix);

    char message[TRACE_MESSAGE_BUFFER];
    va_list args;
    va_start(args, format);
    int n = vsnprintf(message, sizeof message, format, args);
    va_end(args);
    if (n < 0)
        message[0] = '\0';
    message[sizeof message - 1] = '\0';
    TraceAppend(level, "%s", message);
}

extern "C" const char* TraceSourceName(const char* path)
{
    const char* name = path;
    for (const char* p = path; *p != '\0'; ++p) {
        if (*p == '\\' || *p == '/')
            name = p + 1;
    }
    return name;
}

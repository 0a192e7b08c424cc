// POSIX backend of the trace log, for the natively built service library.
// The settings come from the environment variables KEVO_TRACE and
// KEVO_TRACECOMMIT (the registry's TRACE and TRACECOMMIT), the directory
// from TMPDIR (default /tmp).
#include <errno.h>
#include <pthread.h>
#include <stdlib.h>
#include <string.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include "TracePlatform.h"

namespace {
pthread_mutex_t g_lock = PTHREAD_MUTEX_INITIALIZER;
}

bool TracePlatformReadSetting(const char* name, int* value)
{
    char variable[64] = "KEVO_";
    strncat(variable, name, sizeof variable - strlen(variable) - 1);
    const char* text = getenv(variable);
    if (text == NULL || *text == '\0')
        return false;
    *value = atoi(text);
    return true;
}

TraceClock TracePlatformNow()
{
    TraceClock c = {0, 0, 0, 0, 0, 0, 0};
    struct timeval tv;
    struct tm local;
    if (gettimeofday(&tv, NULL) != 0 || localtime_r(&tv.tv_sec, &local) == NULL)
        return c;
    return TraceClockFromTm(local, static_cast<int>(tv.tv_usec / 1000));
}

bool TracePlatformTempDir(char* out, size_t capacity)
{
    const char* dir = getenv("TMPDIR");
    if (dir == NULL || *dir == '\0')
        dir = "/tmp";
    size_t len = strlen(dir);
    bool slash = dir[len - 1] == '/';
    if (len + (slash ? 0 : 1) + 1 > capacity)
        return false;
    memcpy(out, dir, len);
    if (!slash)
        out[len++] = '/';
    out[len] = '\0';
    return true;
}

unsigned long TracePlatformThreadId()
{
    return static_cast<unsigned long>(syscall(SYS_gettid));
}

void TracePlatformCreateLock() {}

void TracePlatformLock()
{
    pthread_mutex_lock(&g_lock);
}

void TracePlatformUnlock()
{
    pthread_mutex_unlock(&g_lock);
}

FILE* TracePlatformOpenAppend(const char* path, bool commit)
{
    FILE* file = fopen(path, "a+");
    (void)commit;  // flushes reach the file; fsync is not needed for a diagnostic log
    return file;
}

TraceCallerError TracePlatformSaveError()
{
    TraceCallerError saved = {0, errno};
    return saved;
}

void TracePlatformRestoreError(const TraceCallerError& saved)
{
    errno = saved.cError;
}

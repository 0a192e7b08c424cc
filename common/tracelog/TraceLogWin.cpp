// Windows backend of the trace log: HKCU\SOFTWARE\KEVO settings, local
// time, the user's temporary directory and a critical section.
#include <windows.h>

#include <errno.h>
#include <string.h>
#include <time.h>

#include "KevoPolicy.h"
#include "TracePlatform.h"

namespace {
CRITICAL_SECTION g_lock;
LONG g_lockState = 0;  // 0 none, 1 being created, 2 ready
}

bool TracePlatformReadSetting(const char* name, int* value)
{
    // The machine's policy sets the level for every user of the PC.
    DWORD policy = 0;
    if (strcmp(name, "TRACE") == 0 && kevopolicy::ReadDword(KEVO_POLICY_TRACE, &policy)) {
        *value = static_cast<int>(policy);
        return true;
    }
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\KEVO", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    // A value larger than 4 bytes fails with ERROR_MORE_DATA; the type is ignored.
    DWORD data = 0;
    DWORD size = sizeof data;
    LONG rc = RegQueryValueExA(key, name, NULL, NULL, reinterpret_cast<BYTE*>(&data), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS)
        return false;
    *value = static_cast<int>(data);
    return true;
}

TraceClock TracePlatformNow()
{
    // The C runtime's conversion, not GetLocalTime: the revocation tool fixes
    // TZ=JST-9 for every local time it shows, and its log follows it. A
    // program that sets no TZ gets the system's zone from the runtime, as
    // GetLocalTime would give it.
    TraceClock zero = {0, 0, 0, 0, 0, 0, 0};
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER ticks;
    ticks.LowPart = now.dwLowDateTime;
    ticks.HighPart = now.dwHighDateTime;
    long long seconds = 0;
    int millisecond = 0;
    if (!SplitFileTime(ticks.QuadPart, &seconds, &millisecond))
        return zero;
    __time64_t when = static_cast<__time64_t>(seconds);
    struct tm local;
    if (_localtime64_s(&local, &when) != 0)
        return zero;
    return TraceClockFromTm(local, millisecond);
}

bool TracePlatformTempDir(char* out, size_t capacity)
{
    DWORD n = GetTempPathA(static_cast<DWORD>(capacity), out);
    return n != 0 && n < capacity;
}

unsigned long TracePlatformThreadId()
{
    return GetCurrentThreadId();
}

void TracePlatformCreateLock()
{
    // Hosts create the lock once; a stray second call or a trace call before
    // it must not leave the lock half made.
    if (InterlockedCompareExchange(&g_lockState, 1, 0) == 0) {
        InitializeCriticalSection(&g_lock);
        InterlockedExchange(&g_lockState, 2);
    }
    while (g_lockState != 2)
        Sleep(0);
}

void TracePlatformLock()
{
    if (g_lockState != 2)
        TracePlatformCreateLock();
    EnterCriticalSection(&g_lock);
}

void TracePlatformUnlock()
{
    LeaveCriticalSection(&g_lock);
}

FILE* TracePlatformOpenAppend(const char* path, bool commit)
{
    // Text mode: the C runtime writes each "\n" as CR LF; "c" commits on flush.
    return fopen(path, commit ? "a+c" : "a+");
}

TraceCallerError TracePlatformSaveError()
{
    TraceCallerError saved = {GetLastError(), errno};
    return saved;
}

void TracePlatformRestoreError(const TraceCallerError& saved)
{
    errno = saved.cError;
    SetLastError(saved.lastError);
}

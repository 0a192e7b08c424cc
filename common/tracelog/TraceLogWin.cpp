// Windows backend of the trace log: HKCU\SOFTWARE\KEVO settings, local
// time, the user's temporary directory and a critical section.
#include <windows.h>

#include "TracePlatform.h"

namespace {
CRITICAL_SECTION g_lock;
LONG g_lockState = 0;  // 0 none, 1 being created, 2 ready
}

bool TracePlatformReadSetting(const char* name, int* value)
{
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
    SYSTEMTIME st;
    GetLocalTime(&st);
    TraceClock c = {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
    return c;
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

#include "DiagBounded.h"

namespace {

volatile LONG g_leftRunning = 0;

DWORD WINAPI RunWork(void* argument)
{
    static_cast<BoundedWork*>(argument)->Run();
    return 0;
}

}  // namespace

bool RunBounded(BoundedWork* work, DWORD limitMs)
{
    HANDLE thread = CreateThread(NULL, 0, RunWork, work, 0, NULL);
    if (thread == NULL)
        return false;
    const bool ended = WaitForSingleObject(thread, limitMs) == WAIT_OBJECT_0;
    CloseHandle(thread);
    if (!ended)
        InterlockedExchange(&g_leftRunning, 1);
    return ended;
}

bool BoundedStepLeftRunning()
{
    return g_leftRunning != 0;
}

// Entry point of the Windows library: the trace lock at process attach and
// one trace line per notification; nothing else happens at load or unload.
#include <windows.h>

#include "TraceLog.h"

namespace {
const char* ReasonName(DWORD reason)
{
    switch (reason) {
    case DLL_PROCESS_DETACH: return "DLL_PROCESS_DETACH";
    case DLL_PROCESS_ATTACH: return "DLL_PROCESS_ATTACH";
    case DLL_THREAD_ATTACH: return "DLL_THREAD_ATTACH";
    case DLL_THREAD_DETACH: return "DLL_THREAD_DETACH";
    default: return "UNKNOWN";
    }
}
}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        TraceInitLock();
    TraceLog(TRACE_LEVEL_FLOW, "DllMain : reason = %s, PID =0x%x \n", ReasonName(reason),
             static_cast<unsigned>(GetCurrentProcessId()));
    return TRUE;
}

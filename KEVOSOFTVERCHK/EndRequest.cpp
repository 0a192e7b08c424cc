#include "EndRequest.h"

#include <sddl.h>

#include "TraceLog.h"

namespace {

// Everyone may wait on it; only Administrators and SYSTEM may set it, so that
// no user ends another user's checker.
const wchar_t kEventAccess[] = L"D:(A;;0x00100000;;;WD)(A;;0x001F0003;;;SY)(A;;0x001F0003;;;BA)";

HANDLE OpenOrCreateEndEvent()
{
    HANDLE event = OpenEventW(SYNCHRONIZE, FALSE, KEVO_VERCHK_END_EVENT);
    if (event != NULL)
        return event;
    PSECURITY_DESCRIPTOR descriptor = NULL;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kEventAccess, SDDL_REVISION_1, &descriptor, NULL))
        return NULL;
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
    event = CreateEventW(&attributes, TRUE, FALSE, KEVO_VERCHK_END_EVENT);
    LocalFree(descriptor);
    // Another checker may have made it in between: wait on that one.
    if (event == NULL && GetLastError() == ERROR_ACCESS_DENIED)
        event = OpenEventW(SYNCHRONIZE, FALSE, KEVO_VERCHK_END_EVENT);
    return event;
}

DWORD WINAPI EndWhenRequested(LPVOID event)
{
    if (WaitForSingleObject(static_cast<HANDLE>(event), INFINITE) == WAIT_OBJECT_0) {
        TraceLog(TRACE_LEVEL_FLOW, "インストーラの終了要求により終了\n");
        ExitProcess(0);
    }
    return 0;
}

}  // namespace

bool WatchEndRequest()
{
    HANDLE event = OpenOrCreateEndEvent();
    if (event == NULL) {
        TraceLog(TRACE_LEVEL_ERROR, "CreateEvent 失敗(%lu)\n", (unsigned long)GetLastError());
        return false;
    }
    if (WaitForSingleObject(event, 0) == WAIT_OBJECT_0) {
        TraceLog(TRACE_LEVEL_FLOW, "インストーラの終了要求により終了\n");
        CloseHandle(event);
        return true;
    }
    // The event stays open for the life of the process, held by the thread.
    HANDLE thread = CreateThread(NULL, 0, EndWhenRequested, event, 0, NULL);
    if (thread == NULL) {
        TraceLog(TRACE_LEVEL_ERROR, "CreateThread 失敗(%lu)\n", (unsigned long)GetLastError());
        CloseHandle(event);
        return false;
    }
    CloseHandle(thread);
    return false;
}

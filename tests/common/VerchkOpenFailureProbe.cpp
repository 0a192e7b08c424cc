// The version checker's request opening with WinINet refusing to open the
// Internet handle, so that the checker's "HTTP_InternetOpen() 失敗(%ld)"
// line has a real code to report. WinINet accepts every argument that the
// checker passes, so the probe routes its import of InternetOpenA through a
// shim that asks for a proxy without naming one, which the real WinINet
// refuses with ERROR_INVALID_PARAMETER.
#include <windows.h>
#include <wininet.h>

#include <string.h>

#include "SoftVerChkHttpAccess.h"
#include "TraceLog.h"

namespace {

typedef HINTERNET(WINAPI* InternetOpenAFunction)(LPCSTR, DWORD, LPCSTR, LPCSTR, DWORD);
InternetOpenAFunction g_realInternetOpenA = NULL;

HINTERNET WINAPI RefusedInternetOpenA(LPCSTR agent, DWORD, LPCSTR, LPCSTR bypass, DWORD flags)
{
    return g_realInternetOpenA(agent, INTERNET_OPEN_TYPE_PROXY, NULL, bypass, flags);
}

// Replaces this program's import dll!function by replacement; the old entry
// goes to *original. False when the program does not import it.
bool ReplaceImport(const char* dll, const char* function, FARPROC replacement, FARPROC* original)
{
    BYTE* base = reinterpret_cast<BYTE*>(GetModuleHandleA(NULL));
    IMAGE_NT_HEADERS* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (dir.VirtualAddress == 0)
        return false;
    for (IMAGE_IMPORT_DESCRIPTOR* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress);
         d->Name != 0; ++d) {
        if (_stricmp(reinterpret_cast<const char*>(base + d->Name), dll) != 0 || d->OriginalFirstThunk == 0)
            continue;
        IMAGE_THUNK_DATA* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->OriginalFirstThunk);
        IMAGE_THUNK_DATA* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            IMAGE_IMPORT_BY_NAME* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (strcmp(reinterpret_cast<const char*>(byName->Name), function) != 0)
                continue;
            DWORD oldProtect = 0;
            if (!VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &oldProtect))
                return false;
            *original = reinterpret_cast<FARPROC>(slots->u1.Function);
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, oldProtect, &oldProtect);
            return true;
        }
    }
    return false;
}

}  // namespace

int main()
{
    TraceInitLock();
    FARPROC original = NULL;
    if (!ReplaceImport("wininet.dll", "InternetOpenA", reinterpret_cast<FARPROC>(&RefusedInternetOpenA), &original))
        return 3;
    g_realInternetOpenA = reinterpret_cast<InternetOpenAFunction>(original);

    SoftVerChkHttpAccess access;
    char host[] = "127.0.0.1";
    access.m_SettingInfo.proxy_type = 1;  // direct: no proxy text of the checker's own
    access.m_SettingInfo.hostname = host;
    access.m_SettingInfo.port = 80;
    HINTERNET internet = NULL, connection = NULL, request = NULL;
    int rc = access.HttpOpenRequest(&internet, &connection, &request);
    access.m_SettingInfo.hostname = NULL;
    return rc == -104 ? 0 : 1;
}

// installer_hold: what another program on the PC does to the installer.
//   installer_hold file PATH    holds PATH open for reading, sharing only reading
//   installer_hold mutex NAME   holds the named mutex
//   installer_hold sddl PATH    prints the owner and access list of PATH (SDDL)
// The holding forms print "held" once they hold, then wait to be killed.
#include <windows.h>
#include <sddl.h>

#include <stdio.h>
#include <string.h>
#include <wchar.h>

namespace {

int Held()
{
    printf("held\n");
    fflush(stdout);
    for (;;)
        Sleep(60000);
}

int PrintSecurity(const wchar_t* path)
{
    const SECURITY_INFORMATION what = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    DWORD needed = 0;
    GetFileSecurityW(path, what, NULL, 0, &needed);
    if (needed == 0)
        return 2;
    static BYTE buffer[65536];
    wchar_t* text = NULL;
    if (needed > sizeof buffer || !GetFileSecurityW(path, what, buffer, needed, &needed) ||
        !ConvertSecurityDescriptorToStringSecurityDescriptorW(buffer, SDDL_REVISION_1, what, &text, NULL))
        return 2;
    printf("%ls\n", text);
    LocalFree(text);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3)
        return 2;
    if (wcscmp(argv[1], L"file") == 0) {
        HANDLE file = CreateFileW(argv[2], GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
        return file == INVALID_HANDLE_VALUE ? 1 : Held();
    }
    if (wcscmp(argv[1], L"mutex") == 0)
        return CreateMutexW(NULL, TRUE, argv[2]) == NULL ? 1 : Held();
    if (wcscmp(argv[1], L"sddl") == 0)
        return PrintSecurity(argv[2]);
    return 2;
}

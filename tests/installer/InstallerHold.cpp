// installer_hold: what another program on the PC does to the installer.
//   installer_hold file PATH [r|rw [MS]]
//                             holds PATH open for reading, sharing only
//                             reading (r) or reading and writing but not
//                             deleting (rw); with MS, lets go after MS ms
//   installer_hold scan PATH MS
//                             as a virus scanner looks at a new file: waits
//                             for PATH to appear, holds it as "file r" does
//                             for MS ms, then lets go
//   installer_hold mutex NAME holds the named mutex
//   installer_hold sddl PATH  prints the owner and access list of PATH (SDDL)
//   installer_hold run EXE [ARGS...]
//                             runs EXE and prints "exit N" with its whole
//                             exit code (Wine hands only the low 8 bits to
//                             the Unix side: 1618 arrives as 82)
// The holding forms print "held" once they hold, and "released" when they
// let go; without a time they wait to be killed.
#include <windows.h>
#include <sddl.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include <string>

namespace {

int Held(HANDLE held, DWORD ms)
{
    printf("held\n");
    fflush(stdout);
    if (ms == INFINITE) {
        for (;;)
            Sleep(60000);
    }
    Sleep(ms);
    CloseHandle(held);
    printf("released\n");
    fflush(stdout);
    return 0;
}

DWORD ShareOf(const wchar_t* how)
{
    return wcscmp(how, L"rw") == 0 ? FILE_SHARE_READ | FILE_SHARE_WRITE : FILE_SHARE_READ;
}

int HoldFile(const wchar_t* path, DWORD share, DWORD ms)
{
    HANDLE file = CreateFileW(path, GENERIC_READ, share, NULL, OPEN_EXISTING, 0, NULL);
    return file == INVALID_HANDLE_VALUE ? 1 : Held(file, ms);
}

// The installer writes the file and opens it again at once: the scan takes
// it whenever the installer lets go in between, as a scanner would.
int Scan(const wchar_t* path, DWORD ms)
{
    for (DWORD waited = 0; waited < 120000; waited += 5) {
        HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
        if (file != INVALID_HANDLE_VALUE)
            return Held(file, ms);
        Sleep(5);
    }
    return 1;
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

// Quotes an argument that holds a blank, as a command line needs it.
std::wstring Quoted(const wchar_t* arg)
{
    if (wcschr(arg, L' ') == NULL)
        return arg;
    return std::wstring(L"\"") + arg + L"\"";
}

int Run(int argc, wchar_t** argv)
{
    std::wstring line = Quoted(argv[0]);
    for (int i = 1; i < argc; ++i)
        line += L" " + Quoted(argv[i]);
    STARTUPINFOW start = {};
    start.cb = sizeof start;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(argv[0], &line[0], NULL, NULL, FALSE, 0, NULL, NULL, &start, &process)) {
        printf("not started: %lu\n", GetLastError());
        return 2;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    printf("exit %lu\n", code);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc >= 3 && wcscmp(argv[1], L"run") == 0)
        return Run(argc - 2, argv + 2);
    if (argc >= 3 && argc <= 5 && wcscmp(argv[1], L"file") == 0)
        return HoldFile(argv[2], ShareOf(argc > 3 ? argv[3] : L"r"),
                        argc > 4 ? wcstoul(argv[4], NULL, 10) : INFINITE);
    if (argc == 4 && wcscmp(argv[1], L"scan") == 0)
        return Scan(argv[2], wcstoul(argv[3], NULL, 10));
    if (argc != 3)
        return 2;
    if (wcscmp(argv[1], L"mutex") == 0) {
        HANDLE mutex = CreateMutexW(NULL, TRUE, argv[2]);
        return mutex == NULL ? 1 : Held(mutex, INFINITE);
    }
    if (wcscmp(argv[1], L"sddl") == 0)
        return PrintSecurity(argv[2]);
    return 2;
}

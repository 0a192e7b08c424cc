// DLL search hygiene shared by every program of the tool set.
#ifndef KEVO_DLLSEARCH_H
#define KEVO_DLLSEARCH_H

#include <windows.h>

namespace kevowin {

// Keeps the current folder, and where the system allows it PATH, out of the
// program's DLL search, so that a DLL planted in the folder the program was
// started from (a downloads folder, say a jvm.dll) or in a folder on PATH is
// never loaded in place of the real one. Every program calls it first thing
// at start-up.
//
// SetDefaultDllDirectories (Windows 8, and 7 with its update) limits later
// loads to the system folder, the program's folder and folders added with
// AddDllDirectory or SetDllDirectory. Where it is missing, SetDllDirectoryW
// with an empty text at least drops the current folder.
inline void RemoveCurrentFolderFromDllSearch()
{
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesFunction)(DWORD);
    const DWORD kSearchSystemApplicationUser = 0x00000800 | 0x00000200 | 0x00000400;
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    SetDefaultDllDirectoriesFunction setDefault =
        kernel == NULL ? NULL
                       : reinterpret_cast<SetDefaultDllDirectoriesFunction>(
                             reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (setDefault == NULL || !setDefault(kSearchSystemApplicationUser))
        SetDllDirectoryW(L"");
}

}  // namespace kevowin

#endif

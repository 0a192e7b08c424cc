// DLL search hygiene shared by every program of the tool set.
#ifndef KEVO_DLLSEARCH_H
#define KEVO_DLLSEARCH_H

#include <windows.h>

namespace kevowin {

// Removes the current folder from the program's DLL search, so that a DLL
// planted in the folder the program was started from (a downloads folder,
// say a jvm.dll) is never loaded in place of the real one. Every program
// calls it first thing at start-up.
inline void RemoveCurrentFolderFromDllSearch()
{
    SetDllDirectoryW(L"");
}

}  // namespace kevowin

#endif

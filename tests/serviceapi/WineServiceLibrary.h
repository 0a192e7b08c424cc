// The Windows service library loaded over a jvm.dll that the test or the
// benchmark chooses: the JNI emulation's, or a real VM's. The directory of
// that jvm.dll goes on the DLL search path (SetDllDirectoryW) while the
// library is loaded, so that its import of jvm.dll is resolved there.
#ifndef KEVO_WINE_SERVICE_LIBRARY_H
#define KEVO_WINE_SERVICE_LIBRARY_H

#include <windows.h>

#include <string>

#include "KEVOServiceAPI.h"

struct WineServiceLibrary {
    HMODULE module = NULL;
    PFN_KEVOGetBasicData getBasicData = NULL;
    PFN_KEVOFreeBasicData freeBasicData = NULL;
    PFN_KEVOCertValid certValid = NULL;
    PFN_KEVOConfirm confirm = NULL;

    // library: the DLL's path; jvmDirectory: where its jvm.dll is.
    bool Load(const std::wstring& library, const std::wstring& jvmDirectory)
    {
        SetDllDirectoryW(jvmDirectory.c_str());
        module = LoadLibraryW(library.c_str());
        SetDllDirectoryW(NULL);
        if (module == NULL)
            return false;
        getBasicData = reinterpret_cast<PFN_KEVOGetBasicData>(GetProcAddress(module, "KEVOGetBasicData"));
        freeBasicData = reinterpret_cast<PFN_KEVOFreeBasicData>(GetProcAddress(module, "KEVOFreeBasicData"));
        certValid = reinterpret_cast<PFN_KEVOCertValid>(GetProcAddress(module, "KEVOCertValid"));
        confirm = reinterpret_cast<PFN_KEVOConfirm>(GetProcAddress(module, "KEVOConfirm"));
        return getBasicData != NULL && freeBasicData != NULL && certValid != NULL && confirm != NULL;
    }
};

#endif

// A small host of the trace log for the tests: writes the lines that its
// command line names, so that each scenario runs in a fresh process (the
// trace settings are read once per process).
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <string>

#include "TraceLog.h"

namespace {

typedef FILE*(__cdecl* OpenFunction)(const char*, const char*);
OpenFunction g_realOpen = NULL;
std::string g_openModes;

// Stands in for the C runtime's fopen in this program's import table, so that
// the modes the trace log opens its file with can be reported.
FILE* __cdecl RecordingOpen(const char* path, const char* mode)
{
    g_openModes += mode;
    g_openModes += "\n";
    return g_realOpen(path, mode);
}

// Points this program's import of `function` (from any library) at
// replacement; false when the program does not import it by name.
bool ReplaceImport(const char* function, void* replacement, void** original)
{
    BYTE* base = reinterpret_cast<BYTE*>(GetModuleHandleW(NULL));
    const IMAGE_NT_HEADERS* nt =
        reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (const IMAGE_IMPORT_DESCRIPTOR* library =
             reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         library->Name != 0; ++library) {
        const IMAGE_THUNK_DATA* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + library->OriginalFirstThunk);
        IMAGE_THUNK_DATA* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + library->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            const IMAGE_IMPORT_BY_NAME* byName =
                reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (strcmp(reinterpret_cast<const char*>(byName->Name), function) != 0)
                continue;
            DWORD protection = 0;
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &protection);
            *original = reinterpret_cast<void*>(slots->u1.Function);
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, protection, &protection);
            return true;
        }
    }
    return false;
}

void WriteBasicLines()
{
    TraceLog(TRACE_LEVEL_FLOW, "%s: start\n", "CREVOKE_Card::GetCertData");
    TraceLog(TRACE_LEVEL_ERROR, "m_CardOBJ.GetCardData:エラーが発生しました。(%s:%d)\n", TRACE_HERE);
    TraceLog(TRACE_LEVEL_FLOW, "%s: end\n", "CREVOKE_Card::GetCertData");
}

}  // namespace

int main(int argc, char** argv)
{
    TraceInitLock();
    const char* mode = argc > 1 ? argv[1] : "basic";
    if (strcmp(mode, "open-modes") == 0) {
        // The basic lines, then the open modes of the log file, one a line,
        // into the file named by the second argument.
        void* original = NULL;
        if (argc < 3 || !ReplaceImport("fopen", reinterpret_cast<void*>(&RecordingOpen), &original))
            return 3;
        g_realOpen = reinterpret_cast<OpenFunction>(original);
        WriteBasicLines();
        FILE* out = g_realOpen(argv[2], "wb");
        if (out == NULL)
            return 4;
        fwrite(g_openModes.data(), 1, g_openModes.size(), out);
        fclose(out);
    } else if (strcmp(mode, "basic") == 0) {
        WriteBasicLines();
    } else if (strcmp(mode, "long") == 0) {
        std::string text(2000, 'x');
        TraceLog(TRACE_LEVEL_FLOW, "%s", text.c_str());
        TraceLog(TRACE_LEVEL_FLOW, "after\n");
    } else if (strcmp(mode, "winerror") == 0) {
        TraceWinError(0x8010006EUL, "CryptAcquireContextW", "KEVOUserCertRevokeXML.cpp", 123);
        TraceWinError(0x80090005UL, "CryptSignHashW", "KEVOUserCertRevokeXML.cpp", 456);
        TraceWinError(8UL, "CryptCreateHash", "KEVOUserCertRevokeXML.cpp", 7);
    } else if (strcmp(mode, "second-boundary") == 0) {
        // First line, then wait past the next full second and write again.
        TraceLog(TRACE_LEVEL_FLOW, "first\n");
        SYSTEMTIME st;
        GetLocalTime(&st);
        Sleep(1100 - st.wMilliseconds);
        TraceLog(TRACE_LEVEL_FLOW, "second\n");
    }
    return 0;
}

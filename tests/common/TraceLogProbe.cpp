// A small host of the trace log for the tests: writes the lines that its
// command line names, so that each scenario runs in a fresh process (the
// trace settings are read once per process).
#include <windows.h>

#include <errno.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <string>

#include "TraceLog.h"

namespace {

// The current UTC time as YYYYMMDDhhmmssmmm.
void UtcStamp(char* out, size_t capacity)
{
    SYSTEMTIME st;
    GetSystemTime(&st);
    snprintf(out, capacity, "%04d%02d%02d%02d%02d%02d%03d", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute,
             st.wSecond, st.wMilliseconds);
}

// The codes a caller reads after a trace call.
void ReadCodes(char* out, size_t capacity)
{
    DWORD lastError = GetLastError();
    int cError = errno;
    snprintf(out, capacity, "%lu,%d", lastError, cError);
}

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
    } else if (strcmp(mode, "last-error") == 0) {
        // Two real failures (errno EBADF, last error ERROR_FILE_NOT_FOUND),
        // then each kind of trace call; the first one creates the file, the
        // later ones open it again.
        char missing[MAX_PATH + 32];
        GetTempPathA(MAX_PATH, missing);
        strcat(missing, "no-such-file.bin");
        _close(-1);
        CreateFileA(missing, GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
        char afterLog[32], afterAppend[32], afterWinError[32];
        TraceLog(TRACE_LEVEL_FLOW, "first\n");
        ReadCodes(afterLog, sizeof afterLog);
        TraceAppend(TRACE_LEVEL_FLOW, "fragment\n");
        ReadCodes(afterAppend, sizeof afterAppend);
        TraceWinError(0x8010006EUL, "CryptAcquireContextW", TRACE_HERE);
        ReadCodes(afterWinError, sizeof afterWinError);
        TraceLog(TRACE_LEVEL_FLOW, "kept:%s %s %s\n", afterLog, afterAppend, afterWinError);
    } else if (strcmp(mode, "zone") == 0 && argc > 2) {
        // The program fixes its zone as the revocation tool does; the line
        // between the two UTC readings carries the log's local time.
        char setting[64];
        snprintf(setting, sizeof setting, "TZ=%s", argv[2]);
        _putenv(setting);
        _tzset();
        char before[32], after[32];
        UtcStamp(before, sizeof before);
        TraceLog(TRACE_LEVEL_FLOW, "mark\n");
        UtcStamp(after, sizeof after);
        SYSTEMTIME pc;
        GetLocalTime(&pc);
        TraceLog(TRACE_LEVEL_FLOW, "utc:%s %s pc-hour:%02d\n", before, after, pc.wHour);
    }
    return 0;
}

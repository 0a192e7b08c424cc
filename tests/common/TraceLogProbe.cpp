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

}  // namespace

int main(int argc, char** argv)
{
    TraceInitLock();
    const char* mode = argc > 1 ? argv[1] : "basic";
    if (strcmp(mode, "basic") == 0) {
        TraceLog(TRACE_LEVEL_FLOW, "%s: start\n", "CREVOKE_Card::GetCertData");
        TraceLog(TRACE_LEVEL_ERROR, "m_CardOBJ.GetCardData:エラーが発生しました。(%s:%d)\n", TRACE_HERE);
        TraceLog(TRACE_LEVEL_FLOW, "%s: end\n", "CREVOKE_Card::GetCertData");
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

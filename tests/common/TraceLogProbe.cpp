// A small host of the trace log for the tests: writes the lines that its
// command line names, so that each scenario runs in a fresh process (the
// trace settings are read once per process).
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <string>

#include "TraceLog.h"

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
    }
    return 0;
}

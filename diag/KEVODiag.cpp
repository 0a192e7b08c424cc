// KEVODiag.exe: the diagnostics report for the help desk. Without
// arguments it shows the report in a window; "/report <file>" writes the
// same text to the file without a window and exits 0 (1 when the file cannot
// be written, 2 for other arguments).
#include <windows.h>
#include <shellapi.h>

#include "DiagChecks.h"
#include "DllSearch.h"
#include "KEVODiagDlg.h"
#include "TraceLog.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    kevowin::RemoveCurrentFolderFromDllSearch();
    TraceInitLock();
    TraceLog(TRACE_LEVEL_FLOW, "KEVODiag start\n");
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    int status = 0;
    if (argv != NULL && argc == 3 && _wcsicmp(argv[1], L"/report") == 0) {
        status = WriteReportFile(argv[2], RunDiagnostics()) ? 0 : 1;
    } else if (argv != NULL && argc == 1) {
        CKEVODiagDlg dialog;
        dialog.DoModal();
    } else {
        status = 2;
    }
    LocalFree(argv);
    TraceLog(TRACE_LEVEL_FLOW, "KEVODiag end(%d)\n", status);
    return status;
}

// KEVODiag.exe: the diagnostics report for the help desk. Without
// arguments it shows the report in a window; "/report <file>" writes the
// same text to the file without a window, the file rewritten as each line
// comes, so that a check that brings the program down leaves every line
// before it and the name of the section that was running.
// Exit codes: 0 the report is written (whatever it found); 1 the file cannot
// be written (the reason goes to the standard error); 2 other arguments.
#include <windows.h>
#include <shellapi.h>

#include "DiagBounded.h"
#include "DiagChecks.h"
#include "DiagTexts.h"
#include "DllSearch.h"
#include "KEVODiagDlg.h"
#include "TraceLog.h"

namespace {

// Rewrites the report file at every change; remembers the last failure.
class ReportFileWriter : public DiagObserver {
public:
    explicit ReportFileWriter(const std::wstring& path) : path_(path), error_(0) {}
    void ReportChanged(const DiagReport& report) override { Write(report.Render()); }
    bool Write(const std::wstring& text)
    {
        if (WriteReportFile(path_, text))
            return true;
        error_ = GetLastError();
        return false;
    }
    DWORD Error() const { return error_; }

private:
    std::wstring path_;
    DWORD error_;
};

// A message on the standard error: a console gets it as text, a file or a
// pipe in the ANSI code page. A program started from a console without a
// redirection has no standard error of its own: it writes to that console.
void WriteStandardError(const std::wstring& text)
{
    HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    if ((error == NULL || error == INVALID_HANDLE_VALUE) && AttachConsole(ATTACH_PARENT_PROCESS))
        error = CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    if (error == NULL || error == INVALID_HANDLE_VALUE)
        return;
    DWORD mode = 0, written = 0;
    if (GetConsoleMode(error, &mode)) {
        WriteConsoleW(error, text.c_str(), (DWORD)text.size(), &written, NULL);
        return;
    }
    const int n = WideCharToMultiByte(CP_ACP, 0, text.c_str(), (int)text.size(), NULL, 0, NULL, NULL);
    std::string bytes(n > 0 ? n : 0, '\0');
    if (n > 0)
        WideCharToMultiByte(CP_ACP, 0, text.c_str(), (int)text.size(), &bytes[0], n, NULL, NULL);
    WriteFile(error, bytes.data(), (DWORD)bytes.size(), &written, NULL);
}

std::wstring SystemMessage(DWORD error)
{
    wchar_t* text = NULL;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL,
                   error, 0, (LPWSTR)&text, 0, NULL);
    std::wstring message = text != NULL ? text : L"";
    LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L'.'))
        message.pop_back();
    return message;
}

int WriteReport(const std::wstring& path)
{
    ReportFileWriter writer(path);
    // Checked before any check runs: a folder that does not exist is said at once.
    if (writer.Write(L"")) {
        const std::wstring report = RunDiagnostics(&writer);
        if (writer.Write(report))
            return 0;
    }
    WriteStandardError(Fmt(kTextReportFailed, path.c_str(), writer.Error(), SystemMessage(writer.Error()).c_str()));
    return 1;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    kevowin::RemoveCurrentFolderFromDllSearch();
    TraceInitLock();
    TraceLog(TRACE_LEVEL_FLOW, "KEVODiag start\n");
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    int status = 0;
    if (argv != NULL && argc == 3 && _wcsicmp(argv[1], L"/report") == 0) {
        status = WriteReport(argv[2]);
    } else if (argv != NULL && argc == 1) {
        CKEVODiagDlg dialog;
        dialog.DoModal();
        // Closed while a check still runs: its requests end with the program.
        if (dialog.ChecksRunning() || BoundedStepLeftRunning()) {
            TraceLog(TRACE_LEVEL_FLOW, "KEVODiag end(%d)\n", status);
            TerminateProcess(GetCurrentProcess(), (UINT)status);
        }
    } else {
        WriteStandardError(kTextUsage);
        status = 2;
    }
    LocalFree(argv);
    TraceLog(TRACE_LEVEL_FLOW, "KEVODiag end(%d)\n", status);
    // A network step left running (cut at its limit) is not waited for.
    if (BoundedStepLeftRunning())
        TerminateProcess(GetCurrentProcess(), (UINT)status);
    return status;
}

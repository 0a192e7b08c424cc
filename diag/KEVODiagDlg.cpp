#include "KEVODiagDlg.h"

#include <commdlg.h>
#include <shlobj.h>

#include "DiagChecks.h"
#include "DiagTexts.h"
#include "KEVODiagRes.h"
#include "TraceLog.h"

namespace {
// Posted by the checks' thread: a newer rendering of the report is ready.
const UINT kReportChanged = WM_APP + 1;
}

CKEVODiagDlg::CKEVODiagDlg() : CKevoDialog(IDD_KEVODIAG_DIALOG), m_pending(false), m_worker(NULL)
{
    InitializeCriticalSection(&m_lock);
}

// Only reached once the checks' thread has ended: a running one ends with
// the program.
CKEVODiagDlg::~CKEVODiagDlg()
{
    if (m_worker != NULL)
        CloseHandle(m_worker);
    DeleteCriticalSection(&m_lock);
}

bool CKEVODiagDlg::ChecksRunning() const
{
    return m_worker != NULL && WaitForSingleObject(m_worker, 0) == WAIT_TIMEOUT;
}

BOOL CKEVODiagDlg::OnInitDialog()
{
    SetIcons(IDI_KEVODIAG);
    m_worker = CreateThread(NULL, 0, RunChecks, this, 0, NULL);
    if (m_worker == NULL) {
        TraceLog(TRACE_LEVEL_ERROR, "CreateThread:エラーが発生しました。(%lu)(%s:%d)\n", GetLastError(), TRACE_HERE);
        SetDlgItemTextW(m_hWnd, IDC_EDIT_REPORT, Fmt(kTextNoThread, GetLastError()).c_str());
    }
    // The focus on Close, so that Enter and Esc end the program at once.
    SetFocus(Item(IDCANCEL));
    return FALSE;
}

DWORD WINAPI CKEVODiagDlg::RunChecks(void* dialog)
{
    RunDiagnostics(static_cast<CKEVODiagDlg*>(dialog));
    return 0;
}

void CKEVODiagDlg::ReportChanged(const DiagReport& report)
{
    const std::wstring text = report.Render();
    EnterCriticalSection(&m_lock);
    m_latest = text;
    const bool post = !m_pending;
    m_pending = true;
    LeaveCriticalSection(&m_lock);
    if (post)
        PostMessageW(m_hWnd, kReportChanged, 0, 0);
}

LRESULT CKEVODiagDlg::OnMessage(UINT message, WPARAM, LPARAM, bool& handled)
{
    if (message != kReportChanged)
        return 0;
    handled = true;
    ShowLatest();
    return 0;
}

void CKEVODiagDlg::ShowLatest()
{
    EnterCriticalSection(&m_lock);
    m_report = m_latest;
    m_pending = false;
    LeaveCriticalSection(&m_lock);
    // The reader's place in the text stays where it was, and the text is
    // drawn once, at its new place, before any other message is answered.
    HWND edit = Item(IDC_EDIT_REPORT);
    const int top = (int)SendMessageW(edit, EM_GETFIRSTVISIBLELINE, 0, 0);
    SendMessageW(edit, WM_SETREDRAW, FALSE, 0);
    SetWindowTextW(edit, m_report.c_str());
    SendMessageW(edit, EM_LINESCROLL, 0, top);
    SendMessageW(edit, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(edit, NULL, TRUE);
    UpdateWindow(edit);
}

bool CKEVODiagDlg::OnCommand(WORD id, WORD code, HWND control)
{
    if (id == IDC_BUTTON_COPY) {
        CopyReport();
        return true;
    }
    if (id == IDC_BUTTON_SAVE) {
        SaveReport();
        return true;
    }
    return CKevoDialog::OnCommand(id, code, control);
}

void CKEVODiagDlg::CopyReport()
{
    const size_t bytes = (m_report.size() + 1) * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (memory == NULL)
        return;
    memcpy(GlobalLock(memory), m_report.c_str(), bytes);
    GlobalUnlock(memory);
    // Another program may hold the clipboard for a moment.
    bool open = false;
    for (int attempt = 0; attempt < 20 && !(open = OpenClipboard(m_hWnd) != FALSE); ++attempt)
        Sleep(25);
    if (!open) {
        TraceLog(TRACE_LEVEL_ERROR, "OpenClipboard:エラーが発生しました。(%lu)(%s:%d)\n", GetLastError(), TRACE_HERE);
        GlobalFree(memory);
        return;
    }
    EmptyClipboard();
    if (SetClipboardData(CF_UNICODETEXT, memory) == NULL)
        GlobalFree(memory);
    CloseClipboard();
}

void CKEVODiagDlg::SaveReport()
{
    // Proposed on the desktop, named with the date and time.
    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t file[MAX_PATH] = L"";
    _snwprintf(file, MAX_PATH - 1, L"KEVO診断情報_%04u%02u%02u_%02u%02u%02u.txt", now.wYear, now.wMonth, now.wDay,
               now.wHour, now.wMinute, now.wSecond);
    wchar_t desktop[MAX_PATH] = L"";
    SHGetFolderPathW(NULL, CSIDL_DESKTOPDIRECTORY, NULL, SHGFP_TYPE_CURRENT, desktop);
    OPENFILENAMEW ofn;
    ZeroMemory(&ofn, sizeof ofn);
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = m_hWnd;
    ofn.lpstrFilter = L"テキスト ファイル (*.txt)\0*.txt\0";
    ofn.lpstrFile = file;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrInitialDir = desktop[0] != L'\0' ? desktop : NULL;
    ofn.lpstrDefExt = L"txt";
    ofn.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
    if (!GetSaveFileNameW(&ofn))
        return;
    if (!WriteReportFile(file, m_report)) {
        TraceLog(TRACE_LEVEL_ERROR, "WriteReportFile:エラーが発生しました。(%lu)(%s:%d)\n", GetLastError(), TRACE_HERE);
        MessageBoxW(m_hWnd, Fmt(kTextSaveFailed, GetLastError()).c_str(), kTextTitle, MB_OK | MB_ICONEXCLAMATION);
    }
}

bool WriteReportFile(const std::wstring& path, const std::wstring& report)
{
    int size = WideCharToMultiByte(CP_UTF8, 0, report.c_str(), (int)report.size(), NULL, 0, NULL, NULL);
    std::string bytes = "\xEF\xBB\xBF" + std::string(size, '\0');
    WideCharToMultiByte(CP_UTF8, 0, report.c_str(), (int)report.size(), &bytes[3], size, NULL, NULL);
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, NULL) && written == bytes.size();
    DWORD error = GetLastError();
    CloseHandle(file);
    SetLastError(error);
    return ok != FALSE;
}

// The diagnostics window: the report in a read-only text that grows while
// the checks run on a thread of their own, and Copy, Save and Close, which
// work at any time (Close does not wait for a check).
#ifndef KEVO_KEVODIAGDLG_H
#define KEVO_KEVODIAGDLG_H

#include <windows.h>

#include <string>

#include "DiagReport.h"
#include "KevoDialog.h"

class CKEVODiagDlg : public kevoui::CKevoDialog, private DiagObserver {
public:
    CKEVODiagDlg();
    ~CKEVODiagDlg();

    // True while the checks' thread has not ended.
    bool ChecksRunning() const;

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(WORD id, WORD code, HWND control) override;
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;

private:
    static DWORD WINAPI RunChecks(void* dialog);
    void ReportChanged(const DiagReport& report) override;
    void ShowLatest();
    void CopyReport();
    void SaveReport();

    CRITICAL_SECTION m_lock;  // guards m_latest and m_pending
    std::wstring m_latest;    // the report as the checks' thread last rendered it
    bool m_pending;           // a message to show m_latest is on its way
    HANDLE m_worker;
    std::wstring m_report;    // what the window shows
};

// Writes the report as UTF-8 (with a byte order mark, so that every editor
// reads it as such); false with the Windows error left as the last error.
bool WriteReportFile(const std::wstring& path, const std::wstring& report);

#endif

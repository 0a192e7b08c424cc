// The diagnostics window: the report in a read-only text, and Copy, Save
// and Close.
#ifndef KEVO_KEVODIAGDLG_H
#define KEVO_KEVODIAGDLG_H

#include <string>

#include "KevoDialog.h"

class CKEVODiagDlg : public kevoui::CKevoDialog {
public:
    CKEVODiagDlg();

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(WORD id, WORD code, HWND control) override;
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;

private:
    void CopyReport();
    void SaveReport();
    std::wstring m_report;
};

// Writes the report as UTF-8 (with a byte order mark, so that every editor
// reads it as such); false with the Windows error left as the last error.
bool WriteReportFile(const std::wstring& path, const std::wstring& report);

#endif

// The reader/writer setting dialog: lists the PC/SC readers and the NMDA
// ports, shows the current choice from the registry and saves the new one.
#ifndef KEVO_KEVORWSETTINGDLG_H
#define KEVO_KEVORWSETTINGDLG_H

#include <windows.h>

#include <string>

#include "KevoDialog.h"
#include "KevoToolTip.h"
#include "RWSettingLogic.h"

class CKEVORWSettingDlg : public kevoui::CKevoDialog, private rwsetting::SaveTarget {
public:
    explicit CKEVORWSettingDlg(HWND parent = NULL);
    ~CKEVORWSettingDlg() override { CloseKey(); }

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(WORD id, WORD code, HWND control) override;
    void OnOK() override;
    bool PreTranslateMessage(MSG* msg) override;

private:

    void CreateToolTips();
    void FillReaderList();
    void ReadCurrentSetting(unsigned long& rwType, std::string& name, std::string& port);
    bool ReadPolicySetting(unsigned long& rwType, std::string& name, std::string& port);
    void ShowFixedByPolicy();
    void ApplyControlStates(rwsetting::ReaderKind kind);
    void SelectByText(int comboId, const std::string& text, bool insertWhenMissing);
    std::string ShownText(int comboId) const;

    // The save's access to the registry, the controls and the log.
    long CreateKey(const char* path) override;
    void CloseKey() override;
    long SetValue(const rwsetting::RegWrite& value) override;
    bool IsSixtyFourBitWindows() override;
    rwsetting::ReaderKind SelectedKind() override;
    std::string ReaderText() override { return ShownText(1015); }
    std::string PortText() override { return ShownText(1016); }
    void TraceError(const std::string& line) override;
    void ShowMessage(unsigned id, long code) override;

    kevoui::CKevoToolTip m_ToolTip;
    HKEY m_hSaveKey;  // key of the save pass under way, or NULL
    bool m_bFixedByPolicy;  // the machine's policy sets the reader choice
};

#endif

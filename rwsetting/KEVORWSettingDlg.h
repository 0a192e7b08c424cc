// The reader/writer setting dialog: lists the PC/SC readers and the NMDA
// ports, shows the current choice from the registry and saves the new one.
#ifndef KEVO_KEVORWSETTINGDLG_H
#define KEVO_KEVORWSETTINGDLG_H

#include <windows.h>

#include <string>

#include "KevoDialog.h"
#include "KevoToolTip.h"
#include "RWSettingLogic.h"

class CKEVORWSettingDlg : public kevoui::CKevoDialog {
public:
    explicit CKEVORWSettingDlg(HWND parent = NULL);

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(WORD id, WORD code, HWND control) override;
    void OnOK() override;
    bool PreTranslateMessage(MSG* msg) override;

private:
    enum PassResult { kPassSaved, kPassStopped };

    void CreateToolTips();
    void FillReaderList();
    void ReadCurrentSetting(unsigned long& rwType, std::string& name, std::string& port);
    void ApplyControlStates(rwsetting::ReaderKind kind);
    void SelectByText(int comboId, const std::string& text, bool insertWhenMissing);
    rwsetting::ReaderKind SelectedKind() const;
    std::string ShownText(int comboId) const;
    // One save pass into key; shows its own messages.
    PassResult WritePass(HKEY key);
    void ShowRegistryError(long code);

    kevoui::CKevoToolTip m_ToolTip;
    bool m_bSaved;
};

#endif

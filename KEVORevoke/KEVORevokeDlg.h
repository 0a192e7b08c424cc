// The revocation wizard: five screens on dialog resource 102 through which a
// citizen reads the card, signs the revocation request and sends it to the
// online counter. Every step runs to completion inside a button handler.
//
// The texts and renderings (error boxes, verdicts, send time, birth date) are
// operations of this class that work without a window, so that they can be
// exercised on a dialog object that was never shown (KEVORevokeDlgTexts.cpp);
// the window side lives in KEVORevokeDlg.cpp.
#ifndef KEVO_KEVOREVOKEDLG_H
#define KEVO_KEVOREVOKEDLG_H

#include <windows.h>

#include "KEVOServiceAPI.h"
#include "KEVOUserCertRevokeCard.h"
#include "KEVOUserCertRevokeHttp.h"
#include "KEVOUserCertRevokeXML.h"
#include "KevoDialog.h"
#include "KevoToolTip.h"
#include "TextBuffer.h"

struct WizardButton;

class CKEVORevokeDlg : public kevoui::CKevoDialog {
public:
    explicit CKEVORevokeDlg(HWND parent = NULL);
    ~CKEVORevokeDlg() override;

    // ---- wizard (window side) ----------------------------------------------
    void setConfirmText();
    void setButtonFont();
    void doScreenChange(short No);
    void doHideControl();
    void OnBnClickedOk();
    void OnBnClickedCancel();
    // Card step of screen 02: 0 or a code of the error table.
    int getInfoFromCard();
    // Request and signature step of screen 03: 0 or a code of the error table.
    int makeXML();

    // ---- texts and renderings (no window needed) ---------------------------
    // Sends the request; sets m_nRevokeResult (200 or 600 to 612) and
    // m_strResultMessage (the verdict, with the send time for failures).
    void doRevoke();
    // Message box for a failed card or signature step; none for 700.
    void showErrorDlg(int code);
    // Fills m_szSendTime from the counter's 14-digit UTC clock: 0, or -1.
    int convServerDate(const char* date);
    // Birth-date code -> Japanese-era text in a new allocation (*out, which
    // the caller frees): 0, -101 (*out holds a copy of the code) or -102.
    int dateOfBirthToString(const char* code, char** out);
    // Heap copy of text (length + 1 bytes), or NULL.
    char* strmalloc(const char* text);

    // ---- state --------------------------------------------------------------
    short m_nScreenNo;               // current screen, 1 to 5
    CTextBuffer m_strResultMessage;  // verdict text shown on screen 05
    int m_nRevokeResult;             // result of the send step: 200, or 600 to 612
    KEVOBinaryData binaryData;       // DER user certificate; the dialog frees data
    CREVOKE_Card m_CardOBJ;          // applicant data after the card step
    CREVOKE_Http m_HttpOBJ;          // online counter client
    CREVOKE_Xml m_XmlOBJ;            // revocation request document
    CTextBuffer m_strServerDate;     // counter's clock, 14 digits YYYYMMDDhhmmss (UTC)
    CTextBuffer m_strResponse;       // reply body of the send (not shown)
    char m_szSendTime[20];           // "YYYY/MM/DD hh:mm:ss", Japan time

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(WORD id, WORD code, HWND control) override;
    bool PreTranslateMessage(MSG* msg) override;
    HBRUSH OnCtlColor(HDC dc, HWND control, UINT message) override;
    bool OnSysCommand(WPARAM command, LPARAM position) override;
    bool OnPaint() override;
    HICON OnQueryDragIcon() override;
    void OnDpiChanged() override;
    void OnSystemColoursChanged() override;

private:
    // ---- window helpers (KEVORevokeDlg.cpp) ---------------------------------
    // A font of points and weight for the controls, face and charset
    // fixed; the DPI owner keeps it at the window's DPI.
    void AssignFont(int points, LONG weight, const int* ids, size_t count);
    void SetFieldMargins();
    void ShowControl(int id, bool show);       // shown and enabled, or hidden and disabled
    void FocusControl(int id);
    kevoui::CKevoToolTip* ToolTip(int tip);    // by WizardTip; NULL for kTipNone
    void ApplyButton(int id, const WizardButton& button);
    void ShowApplicantTable();
    void FillApplicantTable();

    // ---- window resources (KEVORevokeDlg.cpp) -------------------------------
    HICON m_hIcon;
    LOGFONTW m_logFont;                 // work record reused for every font
    kevoui::CKevoGdiObject m_whiteBrush;
    kevoui::CKevoGdiObject m_cyanBrush;
    bool m_highContrast;                // system colours for the panels
    kevoui::CKevoToolTip m_ToolTip1;    // forward button, screens 1 and 2
    kevoui::CKevoToolTip m_ToolTip4;    // forward button, screen 3
    kevoui::CKevoToolTip m_ToolTip5;    // forward button, screen 4
    kevoui::CKevoToolTip m_ToolTip2;    // end button, screens 1 and 5
    kevoui::CKevoToolTip m_ToolTip3;    // end button, screens 2 to 4
    kevoui::CKevoToolTip m_ToolTip6;    // end button, screen 5
};

#endif

// Modal dialog on a dialog template, run by its own message loop so that a
// derived dialog can pre-translate messages (tooltips), with one dialog
// procedure that forwards to virtual handlers. No exception thrown by a
// handler crosses the dialog procedure or the loop. Every dialog owns its
// DPI (KevoDpi.h): its own fonts and icons follow the window's DPI, and a
// DPI change moves it to the rectangle the system suggests.
#ifndef KEVO_KEVODIALOG_H
#define KEVO_KEVODIALOG_H

#include <windows.h>

#include "KevoDpi.h"

namespace kevoui {

class CKevoDialog {
public:
    CKevoDialog(UINT templateId, HWND parent = NULL);
    virtual ~CKevoDialog();
    CKevoDialog(const CKevoDialog&) = delete;
    CKevoDialog& operator=(const CKevoDialog&) = delete;

    // Creates the dialog from the template of the current module (or of the
    // application's instance), shows it and runs it until EndDialog. Returns
    // the EndDialog result, or -1 when the dialog could not be created. The
    // owner is disabled while the dialog runs.
    INT_PTR DoModal();
    // Ends the modal loop with this result; the window goes after the loop.
    void EndDialog(INT_PTR result);

    HWND GetSafeHwnd() const { return m_hWnd; }
    HWND Item(int id) const { return GetDlgItem(m_hWnd, id); }
    void EnableItem(int id, bool enable) { EnableWindow(Item(id), enable ? TRUE : FALSE); }
    void ShowItem(int id, bool show) { ShowWindow(Item(id), show ? SW_SHOW : SW_HIDE); }
    // Big and small icon of the dialog from an icon resource, in the sizes
    // of the window's DPI (made again when it changes).
    void SetIcons(UINT iconId);
    CKevoDpi& Dpi() { return m_dpi; }

    // For the time a step runs synchronously on the dialog's thread (card,
    // signature, network): the wait cursor, kept over the dialog also after
    // a window the step shows (a PIN prompt) has set its own. The dialog
    // takes no input meanwhile anyway; the cursor tells the user it works.
    class CWaitScope {
    public:
        explicit CWaitScope(CKevoDialog& dialog);
        ~CWaitScope();
        CWaitScope(const CWaitScope&) = delete;
        CWaitScope& operator=(const CWaitScope&) = delete;

    private:
        CKevoDialog& m_dialog;
        HCURSOR m_previous;
    };

protected:
    // Default initialisation: applies the template's list initialisation
    // data (resource type 240 with the template's id). Return TRUE to let the
    // dialog manager put the focus on the first control.
    virtual BOOL OnInitDialog();
    // WM_COMMAND. The default sends IDOK to OnOK and IDCANCEL (button 2,
    // Escape, the close box) to OnCancel; return true when handled.
    virtual bool OnCommand(WORD id, WORD code, HWND control);
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    // Called for every message of the loop before the dialog manager sees
    // it; return true to consume it.
    virtual bool PreTranslateMessage(MSG* msg);
    // WM_CTLCOLOR* requests; NULL keeps the dialog manager's colours.
    virtual HBRUSH OnCtlColor(HDC dc, HWND control, UINT message);
    // WM_SYSCOMMAND, WM_PAINT, WM_QUERYDRAGICON; false/NULL: default handling.
    virtual bool OnSysCommand(WPARAM command, LPARAM position);
    virtual bool OnPaint();
    virtual HICON OnQueryDragIcon();
    // Any other message; set handled and return the message's result.
    virtual LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    // After a DPI change has remade the fonts and icons: anything else the
    // dialog sized in pixels.
    virtual void OnDpiChanged() {}
    // The system colours or the high-contrast theme changed.
    virtual void OnSystemColoursChanged() {}
    // A handler threw. The default does nothing more; the dialog stays.
    virtual void OnHandlerException() {}

    HWND m_hWnd;
    UINT m_templateId;
    HWND m_hParent;
    HINSTANCE m_hResources;  // module holding the template

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    void ApplyDialogInit();

    CKevoDpi m_dpi;
    UINT m_iconId;  // the icon SetIcons set, 0 for none
    int m_waiting;  // open CWaitScopes
    bool m_ended;
    INT_PTR m_result;
};

}  // namespace kevoui

#endif

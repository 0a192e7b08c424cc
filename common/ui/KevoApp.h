// Application object of a dialog program: the program's entry calls Run once;
// the derived class does its start-up in InitInstance (single-instance guard,
// the main dialog) and the program ends when it returns.
#ifndef KEVO_KEVOAPP_H
#define KEVO_KEVOAPP_H

#include <windows.h>

#include <string>

namespace kevoui {

class CKevoDialog;

class CKevoApp {
public:
    // titleId: string resource with the application title, the caption of
    // every message box the program shows.
    explicit CKevoApp(UINT titleId);
    virtual ~CKevoApp();
    CKevoApp(const CKevoApp&) = delete;
    CKevoApp& operator=(const CKevoApp&) = delete;

    // Runs InitInstance, then ExitInstance; returns ExitInstance's status.
    // No exception leaves it.
    int Run(HINSTANCE instance);

    // The one application object of the process (NULL before construction).
    static CKevoApp* Current();

    HINSTANCE Instance() const { return m_hInstance; }

    // A text of the program's string table in Shift-JIS (KevoText.h); empty
    // when there is none with that id.
    std::string LoadText(UINT id) const;
    // Message box with the application title as caption; text in Shift-JIS.
    // owner NULL means the main window when there is one.
    int ShowMessage(HWND owner, const std::string& text, UINT type) const;
    int ShowMessage(HWND owner, UINT textId, UINT type) const;

    // Runs dialog modally as the program's main window; its end result.
    INT_PTR RunMainDialog(CKevoDialog& dialog);

    // The program's main window while it runs (the owner of message boxes
    // shown without one), or NULL.
    CKevoDialog* m_pMainWnd;

protected:
    // Start-up; the program ends when it returns (the result is not used
    // further, as the programs of this system run one dialog and end).
    virtual bool InitInstance() = 0;
    virtual int ExitInstance() { return 0; }

private:
    HINSTANCE m_hInstance;
    UINT m_titleId;
    static CKevoApp* s_current;
};

// printf-style formatting of a Shift-JIS text (the format comes from our own
// string table); the result is cut at 1023 bytes.
std::string FormatText(const char* format, ...);

}  // namespace kevoui

#endif

// Drives the windows of another program as a user would: finds its
// top-level windows (a message box can carry its owner's title: the one that
// takes input is the enabled one), reads what controls show, presses
// buttons and keys through the program's own message loop, hovers for
// tooltips, answers a PIN prompt and photographs one window. Every wait is
// bounded.
#ifndef KEVO_WINDOWDRIVER_H
#define KEVO_WINDOWDRIVER_H

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace kevotest {

// Polls condition every 20 ms until it holds (true) or timeoutMs passed.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = 10000);

// ---- finding windows ---------------------------------------------------------
// Visible top-level windows of pid, in z-order.
std::vector<HWND> VisibleWindows(DWORD pid);
// Waits for a visible top-level window of pid that accept takes; NULL on time-out.
HWND WaitForWindowOf(DWORD pid, const std::function<bool(HWND)>& accept, DWORD timeoutMs);
// The visible, enabled window of pid with this title: a message box rather
// than its disabled owner when both carry the title.
HWND WaitForEnabledWindow(DWORD pid, const std::wstring& title, DWORD timeoutMs);
std::wstring ClassOf(HWND window);
bool HasEditControl(HWND window);

// ---- reading -----------------------------------------------------------------
// WM_GETTEXT (bounded): also the contents of another process's edits.
std::wstring ItemText(HWND dialog, int id);
bool ItemVisible(HWND dialog, int id);
bool ItemEnabled(HWND dialog, int id);
// (A message box's message: DialogStaticText of KevoTestSupport.h.)
// Horizontal and vertical dialog base units of a dialog whose client area
// the template gives as cxDu by cyDu dialog units.
POINT DialogBaseUnits(HWND dialog, int cxDu, int cyDu);
// A control's rectangle in the dialog's client area, in pixels.
RECT ItemRect(HWND dialog, int id);
// The texts of the visible tooltips of pid.
std::vector<std::wstring> VisibleToolTipTexts(DWORD pid);

// ---- acting --------------------------------------------------------------------
// (Buttons: ClickButton of KevoTestSupport.h.)
// A key pressed and released in the window that has the keyboard focus in
// the thread of window (or window itself), through the program's loop.
void PressKey(HWND window, UINT virtualKey);
// Alt+F4: the system key the window manager turns into the close command.
void PressAltF4(HWND window);
// What the title bar's close box sends.
void ClickCloseBox(HWND window);
// A system-menu item chosen (its command id).
void ChooseSystemMenuItem(HWND window, UINT command);
// Moves the pointer onto the control and keeps it there (with a mouse move
// every two seconds) until a tooltip of pid shows expected; returns expected,
// or the tooltip texts last seen.
std::wstring HoverForToolTip(DWORD pid, HWND control, const std::wstring& expected, DWORD timeoutMs);

// A PIN prompt: an enabled window of pid with an edit box and OK (1) and
// Cancel (2), other than except. NULL on time-out.
HWND WaitForPinPrompt(DWORD pid, HWND except, DWORD timeoutMs);
// Types pin into the prompt's edit box and presses OK; true when the prompt
// went away in time.
bool EnterPin(HWND prompt, const std::wstring& pin, DWORD timeoutMs);
bool CancelPrompt(HWND prompt, DWORD timeoutMs);

// ---- pictures ------------------------------------------------------------------
// The expected texts that window does not show now: each must be the
// window's caption or one line of a visible control's text, read from the
// window (WM_GETTEXT), with a button's mnemonic marker ("(&S)", "&") left
// out. Empty when the window shows them all.
std::vector<std::wstring> MissingTexts(HWND window, const std::vector<std::wstring>& expected);
// The window as the screen shows it, cropped to its rectangle, as a 24-bit
// BMP file.
bool SaveWindowImage(HWND window, const std::wstring& path);

}  // namespace kevotest

#endif

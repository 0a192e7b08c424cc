#include "KevoDpi.h"

namespace kevoui {

namespace {

// Entry points of newer systems (Windows 10 1607 and 1703), looked up at run
// time so that the programs still start where they are missing.
typedef UINT(WINAPI* GetDpiForWindowFn)(HWND);
typedef int(WINAPI* GetSystemMetricsForDpiFn)(int, UINT);
typedef BOOL(WINAPI* SetDialogControlDpiChangeBehaviorFn)(HWND, int, int);
const int kDisableFontUpdate = 1;  // DCDC_DISABLE_FONT_UPDATE

template <typename Fn>
Fn User32Entry(const char* name)
{
    HMODULE user32 = GetModuleHandleA("user32.dll");
    if (user32 == NULL)
        return NULL;
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(user32, name)));
}

UINT WindowDpi(HWND window)
{
    GetDpiForWindowFn forWindow = User32Entry<GetDpiForWindowFn>("GetDpiForWindow");
    UINT dpi = forWindow != NULL ? forWindow(window) : 0;
    if (dpi != 0)
        return dpi;
    // Older systems have one DPI for every monitor: the screen's.
    HDC screen = GetDC(NULL);
    dpi = screen != NULL ? (UINT)GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen != NULL)
        ReleaseDC(NULL, screen);
    return dpi != 0 ? dpi : 96;
}

}  // namespace

CKevoDpi::~CKevoDpi()
{
    for (size_t i = 0; i < m_fonts.size(); ++i)
        if (m_fonts[i].handle != NULL)
            DeleteObject(m_fonts[i].handle);
}

void CKevoDpi::Attach(HWND window)
{
    m_hWnd = window;
    m_dpi = WindowDpi(window);
}

int CKevoDpi::Metric(int index) const
{
    GetSystemMetricsForDpiFn forDpi = User32Entry<GetSystemMetricsForDpiFn>("GetSystemMetricsForDpi");
    return forDpi != NULL ? forDpi(index, m_dpi) : GetSystemMetrics(index);
}

HFONT CKevoDpi::SetFont(const LOGFONTW& face, int points, const int* ids, size_t count)
{
    std::vector<int> controls(ids, ids + count);
    Font* font = NULL;
    for (size_t i = 0; i < m_fonts.size() && font == NULL; ++i)
        if (m_fonts[i].ids == controls)
            font = &m_fonts[i];
    if (font == NULL) {
        Font added = {face, points, controls, NULL};
        m_fonts.push_back(added);
        font = &m_fonts.back();
    }
    font->face = face;
    font->points = points;
    // The dialog manager of a per-monitor program would otherwise hand
    // these controls the template's font after a DPI change.
    SetDialogControlDpiChangeBehaviorFn keepFont =
        User32Entry<SetDialogControlDpiChangeBehaviorFn>("SetDialogControlDpiChangeBehavior");
    for (size_t i = 0; keepFont != NULL && i < count; ++i)
        keepFont(GetDlgItem(m_hWnd, ids[i]), kDisableFontUpdate, kDisableFontUpdate);
    Make(*font);
    return font->handle;
}

void CKevoDpi::Make(Font& font)
{
    LOGFONTW sized = font.face;
    sized.lfHeight = FontHeight(font.points);
    HFONT made = CreateFontIndirectW(&sized);
    if (made == NULL)
        return;  // the controls keep the font they have
    for (size_t i = 0; i < font.ids.size(); ++i)
        SendMessageW(GetDlgItem(m_hWnd, font.ids[i]), WM_SETFONT, reinterpret_cast<WPARAM>(made), TRUE);
    if (font.handle != NULL)
        DeleteObject(font.handle);
    font.handle = made;
}

void CKevoDpi::OnDpiChanged(UINT dpi, const RECT* suggested)
{
    if (dpi != 0)
        m_dpi = dpi;
    for (size_t i = 0; i < m_fonts.size(); ++i)
        Make(m_fonts[i]);
    if (suggested != NULL && m_hWnd != NULL)
        SetWindowPos(m_hWnd, NULL, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void KeepInWorkArea(HWND window)
{
    RECT r;
    MONITORINFO monitor;
    monitor.cbSize = sizeof monitor;
    if (!GetWindowRect(window, &r) || !GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor))
        return;
    const RECT& work = monitor.rcWork;
    LONG x = r.left, y = r.top;
    if (r.right > work.right)
        x -= r.right - work.right;
    if (r.bottom > work.bottom)
        y -= r.bottom - work.bottom;
    if (x < work.left)
        x = work.left;
    if (y < work.top)
        y = work.top;
    if (x != r.left || y != r.top)
        SetWindowPos(window, NULL, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace kevoui

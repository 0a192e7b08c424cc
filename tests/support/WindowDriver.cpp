#include "WindowDriver.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "KevoTestSupport.h"

namespace kevotest {

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        if (condition())
            return true;
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(20);
    }
}

// ---- finding windows ---------------------------------------------------------
namespace {
struct Collect {
    DWORD pid;
    std::vector<HWND>* out;
};
BOOL CALLBACK CollectVisible(HWND window, LPARAM param)
{
    Collect* collect = reinterpret_cast<Collect*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == collect->pid && IsWindowVisible(window))
        collect->out->push_back(window);
    return TRUE;
}
BOOL CALLBACK FindEdit(HWND child, LPARAM param)
{
    if (lstrcmpiW(ClassOf(child).c_str(), L"Edit") == 0 && IsWindowVisible(child)) {
        *reinterpret_cast<HWND*>(param) = child;
        return FALSE;
    }
    return TRUE;
}
HWND FirstEdit(HWND window)
{
    HWND edit = NULL;
    EnumChildWindows(window, FindEdit, reinterpret_cast<LPARAM>(&edit));
    return edit;
}
}  // namespace

std::vector<HWND> VisibleWindows(DWORD pid)
{
    std::vector<HWND> windows;
    Collect collect = {pid, &windows};
    EnumWindows(CollectVisible, reinterpret_cast<LPARAM>(&collect));
    return windows;
}

HWND WaitForWindowOf(DWORD pid, const std::function<bool(HWND)>& accept, DWORD timeoutMs)
{
    HWND found = NULL;
    WaitUntil(
        [&] {
            for (HWND window : VisibleWindows(pid))
                if (accept(window)) {
                    found = window;
                    return true;
                }
            return false;
        },
        timeoutMs);
    return found;
}

HWND WaitForEnabledWindow(DWORD pid, const std::wstring& title, DWORD timeoutMs)
{
    return WaitForWindowOf(
        pid, [&](HWND window) { return IsWindowEnabled(window) && WindowText(window) == title; }, timeoutMs);
}

std::wstring ClassOf(HWND window)
{
    wchar_t name[128] = L"";
    GetClassNameW(window, name, 128);
    return name;
}

bool HasEditControl(HWND window) { return FirstEdit(window) != NULL; }

// ---- reading -----------------------------------------------------------------
std::wstring ItemText(HWND dialog, int id)
{
    HWND item = GetDlgItem(dialog, id);
    return item != NULL ? WindowText(item) : std::wstring(L"<no control>");
}

bool ItemVisible(HWND dialog, int id) { return IsWindowVisible(GetDlgItem(dialog, id)) != FALSE; }

bool ItemEnabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }

POINT DialogBaseUnits(HWND dialog, int cxDu, int cyDu)
{
    RECT client;
    GetClientRect(dialog, &client);
    // Template sizes are rounded from the base units, so the nearest whole
    // base unit is the one the dialog manager used.
    POINT units = {(LONG)((client.right * 4 + cxDu / 2) / cxDu), (LONG)((client.bottom * 8 + cyDu / 2) / cyDu)};
    return units;
}

RECT ItemRect(HWND dialog, int id)
{
    RECT r = {0, 0, 0, 0};
    HWND item = GetDlgItem(dialog, id);
    if (item == NULL)
        return r;
    GetWindowRect(item, &r);
    MapWindowPoints(NULL, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

namespace {
struct TipProbe {
    DWORD pid;
    std::vector<std::wstring> texts;
};
BOOL CALLBACK ReadVisibleTip(HWND window, LPARAM param)
{
    TipProbe* probe = reinterpret_cast<TipProbe*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == probe->pid && IsWindowVisible(window) && lstrcmpiW(ClassOf(window).c_str(), L"tooltips_class32") == 0) {
        std::wstring text = WindowText(window);
        probe->texts.push_back(text.empty() ? L"<visible, no text>" : text);
    }
    return TRUE;
}
}  // namespace

std::vector<std::wstring> VisibleToolTipTexts(DWORD pid)
{
    TipProbe probe = {pid, {}};
    EnumWindows(ReadVisibleTip, reinterpret_cast<LPARAM>(&probe));
    return probe.texts;
}

// ---- acting --------------------------------------------------------------------
namespace {
HWND FocusOf(HWND window)
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    DWORD thread = GetWindowThreadProcessId(window, NULL);
    if (GetGUIThreadInfo(thread, &info) && info.hwndFocus != NULL)
        return info.hwndFocus;
    return window;
}
LPARAM KeyData(UINT virtualKey, bool up, bool alt)
{
    UINT scan = MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC);
    LPARAM data = 1 | ((LPARAM)scan << 16);
    if (alt)
        data |= (LPARAM)1 << 29;
    if (up)
        data |= ((LPARAM)1 << 30) | ((LPARAM)1 << 31);
    return data;
}
}  // namespace

void PressKey(HWND window, UINT virtualKey)
{
    // Posted to the focus, as the keyboard delivers it, so that the
    // program's own loop (and its dialog manager) sees the key.
    HWND focus = FocusOf(window);
    PostMessageW(focus, WM_KEYDOWN, virtualKey, KeyData(virtualKey, false, false));
    PostMessageW(focus, WM_KEYUP, virtualKey, KeyData(virtualKey, true, false));
}

void PressAltF4(HWND window)
{
    HWND focus = FocusOf(window);
    PostMessageW(focus, WM_SYSKEYDOWN, VK_F4, KeyData(VK_F4, false, true));
    PostMessageW(focus, WM_SYSKEYUP, VK_F4, KeyData(VK_F4, true, true));
}

void ClickCloseBox(HWND window) { PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0); }

void ChooseSystemMenuItem(HWND window, UINT command) { PostMessageW(window, WM_SYSCOMMAND, command, 0); }

std::wstring HoverForToolTip(DWORD pid, HWND control, const std::wstring& expected, DWORD timeoutMs)
{
    RECT r;
    GetClientRect(control, &r);
    POINT centre = {r.right / 2, r.bottom / 2};
    ClientToScreen(control, &centre);
    // The tooltip checks that the pointer is really over its tool.
    SetCursorPos(centre.x, centre.y);
    std::wstring seen;
    int step = 0;
    WaitUntil(
        [&] {
            // One move, then rest: a tip shows once the pointer rests. The
            // move takes the program's loop, where the dialog relays it.
            if (step++ % 100 == 0)
                PostMessageW(control, WM_MOUSEMOVE, 0, MAKELPARAM(r.right / 2, r.bottom / 2));
            // A tip of an earlier screen may still be fading out.
            seen.clear();
            for (const std::wstring& text : VisibleToolTipTexts(pid)) {
                if (text == expected) {
                    seen = text;
                    return true;
                }
                seen += (seen.empty() ? L"" : L" | ") + text;
            }
            return false;
        },
        timeoutMs);
    return seen;
}

HWND WaitForPinPrompt(DWORD pid, HWND except, DWORD timeoutMs)
{
    return WaitForWindowOf(
        pid,
        [&](HWND window) {
            return window != except && IsWindowEnabled(window) && HasEditControl(window) &&
                   GetDlgItem(window, IDOK) != NULL && GetDlgItem(window, IDCANCEL) != NULL;
        },
        timeoutMs);
}

bool EnterPin(HWND prompt, const std::wstring& pin, DWORD timeoutMs)
{
    HWND edit = FirstEdit(prompt);
    if (edit == NULL)
        return false;
    SendMessageTimeoutW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(pin.c_str()), SMTO_ABORTIFHUNG, 5000, NULL);
    ClickButton(prompt, IDOK);
    return WaitForWindowGone(prompt, timeoutMs);
}

bool CancelPrompt(HWND prompt, DWORD timeoutMs)
{
    ClickButton(prompt, IDCANCEL);
    return WaitForWindowGone(prompt, timeoutMs);
}

// ---- pictures ------------------------------------------------------------------
bool SaveWindowImage(HWND window, const std::wstring& path)
{
    RECT r;
    if (!GetWindowRect(window, &r))
        return false;
    const int width = r.right - r.left, height = r.bottom - r.top;
    if (width <= 0 || height <= 0)
        return false;
    HDC screen = GetDC(NULL);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;  // bottom-up, as BMP files store rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = NULL;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, NULL, 0);
    bool ok = false;
    if (bitmap != NULL) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        ok = BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY) != FALSE;
        GdiFlush();
        SelectObject(memory, old);
    }
    if (ok) {
        const DWORD stride = ((DWORD)width * 3 + 3) & ~3u;
        const DWORD imageSize = stride * (DWORD)height;
        BITMAPFILEHEADER file = {};
        file.bfType = 0x4D42;  // "BM"
        file.bfOffBits = sizeof file + sizeof info.bmiHeader;
        file.bfSize = file.bfOffBits + imageSize;
        info.bmiHeader.biSizeImage = imageSize;
        std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
        bytes.append(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
        bytes.append(static_cast<const char*>(bits), imageSize);
        try {
            WriteBytes(path, bytes);
        } catch (const std::exception&) {
            ok = false;
        }
    }
    if (bitmap != NULL)
        DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(NULL, screen);
    return ok;
}

namespace {

// "送信(&S)" -> "送信", "&OK" -> "OK": the words a user reads on the button.
std::wstring WithoutMnemonic(std::wstring text)
{
    size_t open = text.find(L"(&");
    if (open != std::wstring::npos && text.size() >= open + 4 && text[open + 3] == L')')
        text.erase(open, 4);
    size_t amp;
    while ((amp = text.find(L'&')) != std::wstring::npos)
        text.erase(amp, 1);
    return text;
}

BOOL CALLBACK CollectVisibleLines(HWND child, LPARAM param)
{
    if (IsWindowVisible(child)) {
        std::vector<std::wstring>* lines = reinterpret_cast<std::vector<std::wstring>*>(param);
        std::wstring text = WindowText(child);
        size_t start = 0;
        while (start <= text.size()) {
            size_t end = text.find(L'\n', start);
            if (end == std::wstring::npos)
                end = text.size();
            std::wstring line = text.substr(start, end - start);
            if (!line.empty() && line.back() == L'\r')
                line.pop_back();
            lines->push_back(WithoutMnemonic(line));
            start = end + 1;
        }
    }
    return TRUE;
}

}  // namespace

std::vector<std::wstring> MissingTexts(HWND window, const std::vector<std::wstring>& expected)
{
    std::vector<std::wstring> shown;
    shown.push_back(WindowText(window));
    EnumChildWindows(window, CollectVisibleLines, reinterpret_cast<LPARAM>(&shown));
    std::vector<std::wstring> missing;
    for (const std::wstring& text : expected)
        if (std::find(shown.begin(), shown.end(), text) == shown.end())
            missing.push_back(text);
    return missing;
}

}  // namespace kevotest

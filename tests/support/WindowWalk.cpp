#include "WindowWalk.h"

#include <algorithm>
#include <cctype>
#include <set>

#include "KevoTestSupport.h"
#include "WindowDriver.h"

namespace kevotest {

namespace {

struct Control {
    HWND hwnd;
    std::string kind;  // "static", "button", "edit", "combobox", other class names
    std::wstring text;
    RECT rect;         // screen pixels
    LONG style;
    int id;
};

std::string Lower(const std::wstring& name)
{
    std::string lower;
    for (wchar_t c : name)
        lower.push_back((char)tolower(c < 128 ? (int)c : '?'));
    return lower;
}

std::wstring TextOf(HWND window)
{
    wchar_t text[1024] = L"";
    DWORD_PTR length = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, &length);
    return text;
}

// Visible direct children in z-order (the dialog manager's tab order).
std::vector<Control> Children(HWND window)
{
    std::vector<Control> children;
    for (HWND child = GetWindow(window, GW_CHILD); child != NULL; child = GetWindow(child, GW_HWNDNEXT)) {
        if (!IsWindowVisible(child))
            continue;
        Control c = {child, Lower(ClassOf(child)), TextOf(child), {}, (LONG)GetWindowLongPtrW(child, GWL_STYLE),
                     GetDlgCtrlID(child)};
        GetWindowRect(child, &c.rect);
        children.push_back(c);
    }
    return children;
}

bool IsTextStatic(const Control& c)
{
    const LONG type = c.style & SS_TYPEMASK;
    return c.kind == "static" && !c.text.empty() &&
           (type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT || type == SS_SIMPLE || type == SS_LEFTNOWORDWRAP);
}
bool IsRadio(const Control& c)
{
    const LONG type = c.style & BS_TYPEMASK;
    return c.kind == "button" && (type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON);
}
bool IsGroupBox(const Control& c) { return c.kind == "button" && (c.style & BS_TYPEMASK) == BS_GROUPBOX; }
bool IsInput(const Control& c) { return c.kind == "edit" || c.kind == "combobox" || c.kind == "listbox"; }
bool HasText(const Control& c) { return IsTextStatic(c) || IsInput(c) || (c.kind == "button" && !IsGroupBox(c)); }

// b comes after a when read top to bottom, left to right: on a later row,
// or on the same row (the two overlap vertically) further right.
bool ReadsAfter(const RECT& a, const RECT& b, int tolerance)
{
    if (b.top >= a.bottom - tolerance)
        return true;
    bool sameRow = b.top < a.bottom && a.top < b.bottom;
    return sameRow && b.left >= a.left - tolerance;
}

std::string Describe(const Control& c) { return c.kind + "#" + std::to_string(c.id) + " \"" + Utf8(c.text) + "\""; }

HWND Focus(HWND window)
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(window, NULL), &info);
    return info.hwndFocus;
}

// The mnemonic of a text, or 0: the character after a single '&'.
wchar_t Mnemonic(const std::wstring& text)
{
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != L'&')
            continue;
        if (text[i + 1] != L'&')
            return (wchar_t)towupper(text[i + 1]);
        ++i;
    }
    return 0;
}

const Control* Find(const std::vector<Control>& controls, HWND hwnd)
{
    for (const Control& c : controls)
        if (c.hwnd == hwnd)
            return &c;
    return NULL;
}

// Presses key and waits (bounded) until the focus leaves from.
HWND PressAndFollow(HWND window, UINT key, HWND from)
{
    PressKey(window, key);
    HWND now = from;
    WaitUntil([&] { return (now = Focus(window)) != from; }, 3000);
    return now;
}

void WalkTabs(HWND window, const std::vector<Control>& controls, UINT dpi, WalkResult& result)
{
    std::vector<HWND> stops;
    for (const Control& c : controls)
        if ((c.style & WS_TABSTOP) && IsWindowEnabled(c.hwnd))
            stops.push_back(c.hwnd);
    HWND start = Focus(window);
    const Control* first = Find(controls, start);
    if (first == NULL || !IsWindowEnabled(start) || first->kind == "static") {
        result.faults.push_back("the focus is on nothing visible that takes it");
        return;
    }
    std::vector<HWND> cycle(1, start);
    for (size_t i = 1; i < stops.size(); ++i) {
        HWND next = PressAndFollow(window, VK_TAB, cycle.back());
        const Control* c = Find(controls, next);
        if (c == NULL || c->kind == "static") {
            result.faults.push_back("Tab puts the focus on nothing visible that takes it");
            return;
        }
        cycle.push_back(next);
    }
    if (stops.size() > 1 && PressAndFollow(window, VK_TAB, cycle.back()) != start)
        result.faults.push_back("Tab does not come back round to where it started");
    if (std::set<HWND>(cycle.begin(), cycle.end()) != std::set<HWND>(stops.begin(), stops.end()))
        result.faults.push_back("Tab does not reach every tab stop exactly once");
    // From the first tab stop of the window, as a user meets the window.
    std::rotate(cycle.begin(), std::find(cycle.begin(), cycle.end(), stops[0]), cycle.end());
    for (size_t i = 1; i < cycle.size(); ++i) {
        const Control* a = Find(controls, cycle[i - 1]);
        const Control* b = Find(controls, cycle[i]);
        if (a != NULL && b != NULL && !ReadsAfter(a->rect, b->rect, MulDiv(2, dpi, 96)))
            result.faults.push_back("Tab goes from " + Describe(*a) + " to " + Describe(*b) + ", against the layout");
    }
}

// Down from a radio button goes round its group: every step lands on a
// radio button, and as many steps as there are buttons come back.
void WalkRadioGroup(HWND window, const std::vector<Control>& controls, WalkResult& result)
{
    HWND start = Focus(window);
    const Control* first = Find(controls, start);
    if (first == NULL || !IsRadio(*first))
        return;
    size_t radios = std::count_if(controls.begin(), controls.end(), IsRadio);
    HWND at = start;
    for (size_t i = 0; i < radios; ++i) {
        at = PressAndFollow(window, VK_DOWN, at);
        const Control* c = Find(controls, at);
        if (c == NULL || !IsRadio(*c)) {
            result.faults.push_back("Down from a radio button leaves the group for " +
                                    (c != NULL ? Describe(*c) : std::string("an invisible control")));
            return;
        }
        if (at == start)
            return;
    }
    result.faults.push_back("Down does not go round the radio group");
}

void CheckNamesAndMnemonics(HWND window, const std::vector<Control>& controls, const WalkExpectations& expect,
                            WalkResult& result)
{
    const LRESULT defId = SendMessageW(window, DM_GETDEFID, 0, 0);
    std::set<wchar_t> mnemonics;
    for (size_t i = 0; i < controls.size(); ++i) {
        const Control& c = controls[i];
        if (expect.namedInputs && IsInput(c) && (i == 0 || !IsTextStatic(controls[i - 1])))
            result.faults.push_back(Describe(c) + " has no label right before it");
        const bool hasPrefix = c.kind == "button" || (IsTextStatic(c) && !(c.style & SS_NOPREFIX));
        const wchar_t key = hasPrefix ? Mnemonic(c.text) : 0;
        if (key != 0 && !mnemonics.insert(key).second)
            result.faults.push_back("mnemonic " + Utf8(std::wstring(1, key)) + " used twice");
        if (c.kind != "button" || IsGroupBox(c) || key != 0)
            continue;
        const bool isDefault = (c.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON ||
                               (HIWORD(defId) == DC_HASDEFID && LOWORD(defId) == c.id);
        if (!isDefault && c.id != IDCANCEL)
            result.faults.push_back(Describe(c) + " has neither a mnemonic nor the default or cancel role");
    }
}

void CheckPlace(HWND window, UINT dpi, WalkResult& result)
{
    RECT r;
    GetWindowRect(window, &r);
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT& work = monitor.rcWork;
    // The smallest work area the tools are made for: 1366x768 at 125 %
    // with a 40-pixel task bar, in 96-dpi units (150 % on 1920x1080 leaves
    // more). On a screen that offers this scale, the whole window shows.
    const int minWidth96 = 1093, minHeight96 = 582;
    const int width96 = MulDiv(r.right - r.left, 96, dpi), height96 = MulDiv(r.bottom - r.top, 96, dpi);
    if (width96 > minWidth96 || height96 > minHeight96)
        result.faults.push_back("window of " + std::to_string(width96) + "x" + std::to_string(height96) +
                                " at 96 dpi does not fit 1366x768 at 125 %");
    const bool screenOffersScale = MulDiv(work.right - work.left, 96, dpi) >= minWidth96 &&
                                   MulDiv(work.bottom - work.top, 96, dpi) >= minHeight96;
    const bool inside = r.left >= work.left && r.top >= work.top && r.right <= work.right && r.bottom <= work.bottom;
    const bool cornerInside = r.left >= work.left && r.top >= work.top;
    if (screenOffersScale ? !inside : !cornerInside)
        result.faults.push_back("window reaches out of the work area");
}

}  // namespace

void SeeRealPixels()
{
    typedef BOOL(WINAPI * SetContextFn)(HANDLE);
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    SetContextFn set = reinterpret_cast<SetContextFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(user32, "SetProcessDpiAwarenessContext")));
    // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2
    if (set == NULL || !set(reinterpret_cast<HANDLE>(-4)))
        SetProcessDPIAware();
}

namespace {
// The luminance of each pixel of rect (screen coordinates), row by row.
std::vector<int> Luma(const RECT& rect)
{
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    std::vector<int> luma;
    if (width <= 0 || height <= 0)
        return luma;
    HDC screen = GetDC(NULL);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = NULL;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, NULL, 0);
    if (bitmap != NULL) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
        GdiFlush();
        const unsigned char* p = static_cast<const unsigned char*>(bits);
        luma.resize((size_t)width * height);
        for (size_t i = 0; i < luma.size(); ++i)
            luma[i] = (p[4 * i] * 11 + p[4 * i + 1] * 59 + p[4 * i + 2] * 30) / 100;
        SelectObject(memory, old);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(NULL, screen);
    return luma;
}
}  // namespace

bool WaitForSteadyPixels(HWND window, DWORD timeoutMs)
{
    RECT r;
    GetWindowRect(window, &r);
    std::vector<int> last;
    return WaitUntil(
        [&] {
            std::vector<int> now = Luma(r);
            bool same = !now.empty() && now == last;
            last.swap(now);
            return same;
        },
        timeoutMs);
}

int TextLineHeight(const RECT& rect, UINT dpi)
{
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    const std::vector<int> luma = Luma(rect);
    if (luma.empty())
        return 0;
    std::map<int, int> counts;
    for (int value : luma)
        ++counts[value];
    int background = 0, most = 0;
    for (const auto& entry : counts)
        if (entry.second > most)
            most = entry.second, background = entry.first;
    // Runs of rows with ink; a run shorter than a few pixels is an underline.
    std::vector<int> runs;
    int run = 0;
    const int shortest = std::max(3, MulDiv(3, dpi, 96));
    for (int y = 0; y <= height; ++y) {
        bool ink = false;
        for (int x = 0; y < height && x < width && !ink; ++x)
            ink = abs(luma[y * width + x] - background) > 96;
        if (ink) {
            ++run;
        } else {
            if (run >= shortest)
                runs.push_back(run);
            run = 0;
        }
    }
    if (runs.empty())
        return 0;
    std::sort(runs.begin(), runs.end());
    return runs[runs.size() / 2];
}

WalkResult WalkWindow(HWND window, UINT dpi, const WalkExpectations& expect)
{
    WalkResult result;
    const std::vector<Control> controls = Children(window);
    // Text heights first, before Tab makes focus rectangles show; the
    // focused control is left out for its focus rectangle.
    const HWND focus = Focus(window);
    std::map<std::string, int> seen;
    for (const Control& c : controls) {
        if (!HasText(c) || c.text.empty() || c.hwnd == focus || !IsWindowEnabled(c.hwnd))
            continue;
        RECT r;
        GetClientRect(c.hwnd, &r);
        MapWindowPoints(c.hwnd, NULL, reinterpret_cast<POINT*>(&r), 2);
        // Inside a button's edges, and clear of the table rules that run
        // along a label's sides.
        const bool pushButton = c.kind == "button" && !IsRadio(c);
        InflateRect(&r, -MulDiv(pushButton ? 4 : 3, dpi, 96), pushButton ? -MulDiv(4, dpi, 96) : 0);
        const std::string key = c.kind + "#" + std::to_string(c.id) + "/" + std::to_string(seen[c.kind + "#" + std::to_string(c.id)]++);
        const int h = TextLineHeight(r, dpi);
        if (h > 0)
            result.textHeights[key] = h;
    }
    if (expect.readingOrder) {
        const Control* previous = NULL;
        for (const Control& c : controls) {
            if (!HasText(c))
                continue;
            if (previous != NULL && !ReadsAfter(previous->rect, c.rect, MulDiv(2, dpi, 96)))
                result.faults.push_back("a screen reader reads " + Describe(c) + " after " + Describe(*previous) +
                                        ", against the layout");
            previous = &c;
        }
    }
    CheckNamesAndMnemonics(window, controls, expect, result);
    CheckPlace(window, dpi, result);
    WalkTabs(window, controls, dpi, result);
    if (expect.arrowsInGroups)
        WalkRadioGroup(window, controls, result);
    return result;
}

}  // namespace kevotest

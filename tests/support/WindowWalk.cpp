#include "WindowWalk.h"

#include <algorithm>
#include <set>

#include "KevoTestSupport.h"
#include "WindowDriver.h"

namespace kevotest {

namespace {

struct Control {
    HWND hwnd;
    std::wstring kind, text;  // class name in lower case
    RECT rect;                // screen pixels
    LONG style;
    int id;
};

bool TextStatic(const Control& c)
{
    const LONG t = c.style & SS_TYPEMASK;
    return c.kind == L"static" && !c.text.empty() && (t <= SS_RIGHT || t == SS_SIMPLE || t == SS_LEFTNOWORDWRAP);
}
bool Radio(const Control& c)
{
    const LONG t = c.style & BS_TYPEMASK;
    return c.kind == L"button" && (t == BS_RADIOBUTTON || t == BS_AUTORADIOBUTTON);
}
bool Input(const Control& c) { return c.kind == L"edit" || c.kind == L"combobox"; }
bool Button(const Control& c) { return c.kind == L"button" && (c.style & BS_TYPEMASK) != BS_GROUPBOX; }
std::string Name(const Control& c) { return Utf8(c.kind) + "#" + std::to_string(c.id) + " \"" + Utf8(c.text) + "\""; }

// Visible children in z-order, the dialog manager's order.
std::vector<Control> Children(HWND window)
{
    std::vector<Control> children;
    for (HWND child = GetWindow(window, GW_CHILD); child != NULL; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t text[1024] = L"";
        SendMessageTimeoutW(child, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, NULL);
        std::wstring kind = ClassOf(child);
        std::transform(kind.begin(), kind.end(), kind.begin(), ::towlower);
        Control c = {child, kind, text, {}, (LONG)GetWindowLongPtrW(child, GWL_STYLE), GetDlgCtrlID(child)};
        GetWindowRect(child, &c.rect);
        if (IsWindowVisible(child))
            children.push_back(c);
    }
    return children;
}

// b after a when read: on a later row, or on the same row further right.
bool ReadsAfter(const RECT& a, const RECT& b, UINT dpi)
{
    const int slack = MulDiv(2, dpi, 96);
    return b.top >= a.bottom - slack || (b.top < a.bottom && a.top < b.bottom && b.left >= a.left - slack);
}

HWND Focus(HWND window)
{
    GUITHREADINFO info = {sizeof info};
    GetGUIThreadInfo(GetWindowThreadProcessId(window, NULL), &info);
    return info.hwndFocus;
}

// Presses key; the focus once it has left from (bounded wait).
HWND Press(HWND window, UINT key, HWND from)
{
    PressKey(window, key);
    HWND now = from;
    WaitUntil([&] { return (now = Focus(window)) != from; }, 3000);
    return now;
}

const Control* Find(const std::vector<Control>& controls, HWND hwnd)
{
    for (const Control& c : controls)
        if (c.hwnd == hwnd)
            return &c;
    return NULL;
}

std::vector<int> Luma(const RECT& r)
{
    const int w = r.right - r.left, h = r.bottom - r.top;
    std::vector<int> luma;
    if (w <= 0 || h <= 0)
        return luma;
    HDC screen = GetDC(NULL), memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {{sizeof(BITMAPINFOHEADER), w, -h, 1, 32}};
    void* bits = NULL;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, NULL, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    const unsigned char* p = static_cast<const unsigned char*>(bits);
    for (int i = 0; p != NULL && i < w * h; ++i)
        luma.push_back((p[4 * i] * 11 + p[4 * i + 1] * 59 + p[4 * i + 2] * 30) / 100);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(NULL, screen);
    return luma;
}

// The median height of the runs of rows with ink (far from the commonest
// shade) in r; runs of a few pixels (underlines, rules) do not count.
int TextLineHeight(const RECT& r, UINT dpi)
{
    const int w = r.right - r.left;
    const std::vector<int> luma = Luma(r);
    const int h = w > 0 ? (int)luma.size() / w : 0;
    std::map<int, int> counts;
    int background = 0, most = 0;
    for (int v : luma)
        if (++counts[v] > most)
            most = counts[v], background = v;
    std::vector<int> runs;
    for (int y = 0, run = 0; y <= h; ++y) {
        bool ink = false;
        for (int x = 0; y < h && x < w && !ink; ++x)
            ink = abs(luma[y * w + x] - background) > 96;
        if (ink) {
            ++run;
            continue;
        }
        if (run >= std::max(3, MulDiv(3, dpi, 96)))
            runs.push_back(run);
        run = 0;
    }
    std::sort(runs.begin(), runs.end());
    return runs.empty() ? 0 : runs[runs.size() / 2];
}

void MeasureText(const std::vector<Control>& controls, HWND focus, UINT dpi, WalkResult& result)
{
    const RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    for (const Control& c : controls) {
        RECT shown;  // a control the screen cuts off is not measured
        if (IntersectRect(&shown, &screen, &c.rect) && !EqualRect(&shown, &c.rect))
            continue;
        // The focused control is left out for its focus rectangle.
        if (!(TextStatic(c) || Input(c) || Button(c)) || c.text.empty() || c.hwnd == focus || !IsWindowEnabled(c.hwnd))
            continue;
        RECT r;
        GetClientRect(c.hwnd, &r);
        MapWindowPoints(c.hwnd, NULL, reinterpret_cast<POINT*>(&r), 2);
        // Inside a button's edges; clear of the rules along a label's sides.
        const bool push = Button(c) && !Radio(c);
        InflateRect(&r, -MulDiv(push ? 4 : 3, dpi, 96), push ? -MulDiv(4, dpi, 96) : 0);
        const int h = TextLineHeight(r, dpi);
        if (h > 0)
            result.textHeights[Utf8(c.kind) + "#" + std::to_string(c.id)] = h;
    }
}

void CheckOrderNamesAndKeys(HWND window, const std::vector<Control>& controls, UINT dpi, const WalkExpectations& expect,
                            WalkResult& result)
{
    const LRESULT defId = SendMessageW(window, DM_GETDEFID, 0, 0);
    const Control* previous = NULL;
    for (size_t i = 0; i < controls.size(); ++i) {
        const Control& c = controls[i];
        if (expect.readingOrder && (TextStatic(c) || Input(c) || Button(c))) {
            if (previous != NULL && !ReadsAfter(previous->rect, c.rect, dpi))
                result.faults.push_back("read " + Name(c) + " after " + Name(*previous) + ", against the layout");
            previous = &c;
        }
        if (expect.namedInputs && Input(c) && (i == 0 || !TextStatic(controls[i - 1])))
            result.faults.push_back(Name(c) + " has no label right before it");
        const size_t amp = c.text.find(L'&');
        const bool mnemonic = amp != std::wstring::npos && amp + 1 < c.text.size() && c.text[amp + 1] != L'&';
        const bool isDefault = (c.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON ||
                               (HIWORD(defId) == DC_HASDEFID && LOWORD(defId) == c.id);
        if (Button(c) && !mnemonic && !isDefault && c.id != IDCANCEL)
            result.faults.push_back(Name(c) + " has neither a mnemonic nor the default or cancel role");
    }
}

void CheckPlace(HWND window, UINT dpi, WalkResult& result)
{
    RECT r;
    GetWindowRect(window, &r);
    MONITORINFO monitor = {sizeof monitor};
    GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT& work = monitor.rcWork;
    // The smallest work area the tools are made for, in 96-dpi units:
    // 1366x768 at 125 % with a 40-pixel task bar (150 % on 1920x1080 leaves
    // more). On a screen that offers this scale the whole window shows.
    const SIZE least = {1093, 582};
    if (MulDiv(r.right - r.left, 96, dpi) > least.cx || MulDiv(r.bottom - r.top, 96, dpi) > least.cy)
        result.faults.push_back("the window does not fit 1366x768 at 125 %");
    const bool offered = MulDiv(work.right - work.left, 96, dpi) >= least.cx &&
                         MulDiv(work.bottom - work.top, 96, dpi) >= least.cy;
    if (r.left < work.left || r.top < work.top || (offered && (r.right > work.right || r.bottom > work.bottom)))
        result.faults.push_back("the window reaches out of the work area");
}

void WalkTabs(HWND window, const std::vector<Control>& controls, UINT dpi, WalkResult& result)
{
    std::vector<HWND> stops;
    for (const Control& c : controls)
        if ((c.style & WS_TABSTOP) && IsWindowEnabled(c.hwnd))
            stops.push_back(c.hwnd);
    std::vector<HWND> cycle(1, Focus(window));
    for (size_t i = 0;; ++i) {
        const Control* c = Find(controls, cycle.back());
        if (c == NULL || c->kind == L"static" || !IsWindowEnabled(c->hwnd)) {
            result.faults.push_back("the focus is on nothing visible that takes it");
            return;
        }
        if (stops.size() < 2 || i == stops.size())
            break;
        cycle.push_back(Press(window, VK_TAB, cycle.back()));
    }
    if (cycle.size() > 1 && cycle.back() != cycle.front())
        result.faults.push_back("Tab does not come back round to where it started");
    if (cycle.size() > 1)
        cycle.pop_back();
    if (std::set<HWND>(cycle.begin(), cycle.end()) != std::set<HWND>(stops.begin(), stops.end()))
        result.faults.push_back("Tab does not reach every tab stop once");
    // From the window's first tab stop, as a user meets the window.
    std::rotate(cycle.begin(), std::find(cycle.begin(), cycle.end(), stops.empty() ? cycle[0] : stops[0]), cycle.end());
    for (size_t i = 1; i < cycle.size(); ++i) {
        const Control *a = Find(controls, cycle[i - 1]), *b = Find(controls, cycle[i]);
        if (a != NULL && b != NULL && !ReadsAfter(a->rect, b->rect, dpi))
            result.faults.push_back("Tab goes from " + Name(*a) + " to " + Name(*b) + ", against the layout");
    }
    // Down from a radio button goes round its group and back.
    const Control* start = Find(controls, Focus(window));
    if (start == NULL || !Radio(*start))
        return;
    HWND at = start->hwnd;
    for (long i = std::count_if(controls.begin(), controls.end(), Radio); i > 0; --i) {
        const Control* c = Find(controls, at = Press(window, VK_DOWN, at));
        if (c == NULL || !Radio(*c)) {
            result.faults.push_back("Down leaves the radio group for " + (c != NULL ? Name(*c) : "nothing visible"));
            return;
        }
        if (at == start->hwnd)
            return;
    }
    result.faults.push_back("Down does not go round the radio group");
}

}  // namespace

void SeeRealPixels()
{
    typedef BOOL(WINAPI * SetContextFn)(HANDLE);
    SetContextFn set = reinterpret_cast<SetContextFn>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetProcessDpiAwarenessContext")));
    if (set == NULL || !set(reinterpret_cast<HANDLE>(-4)))  // per monitor v2
        SetProcessDPIAware();
}

bool WaitForPainted(HWND window, DWORD timeoutMs)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, pid);
    WaitForInputIdle(process, timeoutMs);
    CloseHandle(process);
    RECT r;
    GetWindowRect(window, &r);
    std::vector<int> last;
    return WaitUntil([&] {
        std::vector<int> now = Luma(r);
        bool same = !now.empty() && now == last;
        last.swap(now);
        return same;
    }, timeoutMs);
}

COLORREF PixelAt(HWND window, POINT client)
{
    ClientToScreen(window, &client);
    HDC screen = GetDC(NULL);
    COLORREF colour = GetPixel(screen, client.x, client.y);
    ReleaseDC(NULL, screen);
    return colour;
}

WalkResult WalkWindow(HWND window, UINT dpi, const WalkExpectations& expect)
{
    WalkResult result;
    const std::vector<Control> controls = Children(window);
    // Text first: Tab makes focus rectangles show.
    MeasureText(controls, Focus(window), dpi, result);
    CheckOrderNamesAndKeys(window, controls, dpi, expect, result);
    CheckPlace(window, dpi, result);
    WalkTabs(window, controls, dpi, result);
    return result;
}

}  // namespace kevotest

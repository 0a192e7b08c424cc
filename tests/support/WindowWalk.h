// Walks one window of another program as a keyboard and screen-reader user
// meets it: Tab (pressed) and the reading order against the layout, a label
// right before each input, mnemonics or the default/cancel role, arrows in a
// radio group, the window in the work area, and the height of each control's
// text as the screen shows it.
#ifndef KEVO_WINDOWWALK_H
#define KEVO_WINDOWWALK_H

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace kevotest {

struct WalkExpectations {
    bool namedInputs = true;   // each input named by the static text right before it
    bool readingOrder = true;  // controls read top to bottom, left to right
};

struct WalkResult {
    std::vector<std::string> faults;         // empty when all is well
    std::map<std::string, int> textHeights;  // line height drawn, per "<class>#<id>"
};

// This process sees other programs' windows in real pixels.
void SeeRealPixels();
// Waits (bounded) until the window is idle and two looks at it agree.
bool WaitForPainted(HWND window, DWORD timeoutMs);
// Walks a shown, idle window of another process at dpi; leaves the focus
// where it found it.
WalkResult WalkWindow(HWND window, UINT dpi, const WalkExpectations& expect);
// Colour of the screen at a point of window's client area.
COLORREF PixelAt(HWND window, POINT client);

}  // namespace kevotest

#endif

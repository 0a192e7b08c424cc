// Walks one window of another program as a keyboard and screen-reader user
// meets it, and notes what an accessibility review looks at: the Tab order
// (pressed, not read from the styles) against the window's geometry, the
// order a screen reader reads, the label that names each input, mnemonics,
// the window's place in the work area and the height of each control's text
// as the screen shows it.
#ifndef KEVO_WINDOWWALK_H
#define KEVO_WINDOWWALK_H

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace kevotest {

struct WalkExpectations {
    bool namedInputs = true;   // every input named by the static text right before it
    bool readingOrder = true;  // controls with text read top to bottom, left to right
    bool arrowsInGroups = true;  // arrows keep the focus on the radio buttons of a group
};

struct WalkResult {
    std::vector<std::string> faults;  // one line per finding, empty when all is well
    // Height of a text line in pixels as drawn, per control ("<class>#<id>").
    std::map<std::string, int> textHeights;
};

// Makes this process per-monitor DPI aware, so that it sees other programs'
// windows in real pixels.
void SeeRealPixels();

// Walks window (a dialog or a message box of another process, shown and
// idle). Presses Tab and the arrow keys; leaves the focus where Tab took it.
WalkResult WalkWindow(HWND window, UINT dpi, const WalkExpectations& expect);

// Waits (bounded) until two looks at the window's pixels agree: painted.
bool WaitForSteadyPixels(HWND window, DWORD timeoutMs);

// The ink height of a line of text inside rect (screen coordinates): the
// median height of the runs of rows that hold dark pixels; 0 when none.
int TextLineHeight(const RECT& rect, UINT dpi);

}  // namespace kevotest

#endif

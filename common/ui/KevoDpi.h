// The one owner of a window's DPI. It knows the window's current DPI, scales
// values given for 96 dpi, makes the window's own fonts from point sizes
// (never from pixel heights) and, when the window moves to a monitor of
// another DPI, remakes those fonts and takes the rectangle the system
// suggests. Everything a dialog template places scales with the template's
// font by itself; only what a program makes on its own goes through here.
#ifndef KEVO_KEVODPI_H
#define KEVO_KEVODPI_H

#include <windows.h>

#include <vector>

namespace kevoui {

class CKevoDpi {
public:
    CKevoDpi() : m_hWnd(NULL), m_dpi(96) {}
    ~CKevoDpi();
    CKevoDpi(const CKevoDpi&) = delete;
    CKevoDpi& operator=(const CKevoDpi&) = delete;

    // Takes window's DPI: its monitor's for a per-monitor aware program, the
    // system's otherwise.
    void Attach(HWND window);
    UINT Dpi() const { return m_dpi; }
    // A length given for 96 dpi, at the current DPI.
    int Scale(int value96) const { return MulDiv(value96, (int)m_dpi, 96); }
    // The character height (negative, as LOGFONT takes it) of a font of
    // this many points at the current DPI.
    LONG FontHeight(int points) const { return -MulDiv(points, (int)m_dpi, 72); }
    // A system metric at the current DPI.
    int Metric(int index) const;

    // Makes a font like face (its height replaced) of the given points and
    // sets it on the dialog's controls ids. The same controls given again
    // get the new font instead. This owner keeps the font, and remakes it
    // and sets it again whenever the DPI changes. NULL when it cannot be made.
    HFONT SetFont(const LOGFONTW& face, int points, const int* ids, size_t count);

    // WM_DPICHANGED: the new DPI, the fonts remade for it, the window moved
    // to the suggested rectangle (NULL: left where it is).
    void OnDpiChanged(UINT dpi, const RECT* suggested);

private:
    struct Font {
        LOGFONTW face;
        int points;
        std::vector<int> ids;
        HFONT handle;
    };
    void Make(Font& font);

    HWND m_hWnd;
    UINT m_dpi;
    std::vector<Font> m_fonts;
};

// Moves window, when it reaches past the work area of its monitor, back
// into it (its top left corner first when it is larger).
void KeepInWorkArea(HWND window);

}  // namespace kevoui

#endif

// A tooltip control owned by a dialog, with tools that are the dialog's
// controls. Mouse messages reach it only through RelayEvent (no subclassing),
// so the owner relays from its pre-translation hook.
#ifndef KEVO_KEVOTOOLTIP_H
#define KEVO_KEVOTOOLTIP_H

#include <windows.h>

namespace kevoui {

class CKevoToolTip {
public:
    CKevoToolTip() : m_hWnd(NULL), m_hOwner(NULL) {}
    ~CKevoToolTip();
    CKevoToolTip(const CKevoToolTip&) = delete;
    CKevoToolTip& operator=(const CKevoToolTip&) = delete;

    // A second Create replaces the control made by the first.
    bool Create(HWND owner);
    // The tooltip keeps its own copy of text (Shift-JIS, KevoText.h).
    bool AddTool(HWND control, const char* text);
    void RelayEvent(const MSG* msg);
    void Activate(bool on);
    HWND Handle() const { return m_hWnd; }

private:
    HWND m_hWnd;
    HWND m_hOwner;
};

// Owned GDI objects: deleted with the holder.
class CKevoGdiObject {
public:
    CKevoGdiObject() : m_handle(NULL) {}
    ~CKevoGdiObject() { Reset(NULL); }
    CKevoGdiObject(const CKevoGdiObject&) = delete;
    CKevoGdiObject& operator=(const CKevoGdiObject&) = delete;
    void Reset(HGDIOBJ handle)
    {
        if (m_handle != NULL)
            DeleteObject(m_handle);
        m_handle = handle;
    }
    HFONT Font() const { return static_cast<HFONT>(m_handle); }
    HBRUSH Brush() const { return static_cast<HBRUSH>(m_handle); }
    bool Valid() const { return m_handle != NULL; }

private:
    HGDIOBJ m_handle;
};

}  // namespace kevoui

#endif

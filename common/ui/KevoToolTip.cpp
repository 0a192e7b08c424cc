#include "KevoToolTip.h"

#include <commctrl.h>

#include <string>

#include "KevoText.h"

namespace kevoui {

CKevoToolTip::~CKevoToolTip()
{
    // Usually gone already with its owner dialog.
    if (m_hWnd != NULL && IsWindow(m_hWnd))
        DestroyWindow(m_hWnd);
}

bool CKevoToolTip::Create(HWND owner)
{
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    // Made again: the earlier control and its tools go.
    if (m_hWnd != NULL && IsWindow(m_hWnd))
        DestroyWindow(m_hWnd);
    m_hOwner = owner;
    m_hWnd = CreateWindowExW(0, TOOLTIPS_CLASSW, NULL, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, owner, NULL, GetModuleHandleW(NULL), NULL);
    return m_hWnd != NULL;
}

bool CKevoToolTip::AddTool(HWND control, const char* text)
{
    if (m_hWnd == NULL || control == NULL)
        return false;
    std::wstring wide = FromCp932(text);
    TOOLINFOW info = {};
    // The version-5 size, which every common-controls version accepts.
    info.cbSize = TTTOOLINFOW_V2_SIZE;
    info.uFlags = TTF_IDISHWND;
    info.hwnd = m_hOwner;
    info.uId = reinterpret_cast<UINT_PTR>(control);
    info.lpszText = &wide[0];
    return SendMessageW(m_hWnd, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info)) != FALSE;
}

void CKevoToolTip::RelayEvent(const MSG* msg)
{
    if (m_hWnd != NULL)
        SendMessageW(m_hWnd, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(msg));
}

void CKevoToolTip::Activate(bool on)
{
    if (m_hWnd != NULL)
        SendMessageW(m_hWnd, TTM_ACTIVATE, on ? TRUE : FALSE, 0);
}

}  // namespace kevoui

#include "KevoDialog.h"

#include <vector>

#include "DlgInitData.h"
#include "KevoApp.h"
#include "KevoText.h"

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

namespace kevoui {

CKevoDialog::CKevoDialog(UINT templateId, HWND parent)
    : m_hWnd(NULL), m_templateId(templateId), m_hParent(parent), m_hResources(NULL), m_iconId(0), m_waiting(0),
      m_ended(false), m_result(-1)
{
}

CKevoDialog::~CKevoDialog()
{
    if (m_hWnd != NULL && IsWindow(m_hWnd))
        DestroyWindow(m_hWnd);
}

INT_PTR CKevoDialog::DoModal()
{
    CKevoApp* app = CKevoApp::Current();
    m_hResources = (app != NULL && app->Instance() != NULL) ? app->Instance() : GetModuleHandleW(NULL);
    m_ended = false;
    m_result = -1;

    HWND owner = m_hParent;
    bool reenableOwner = false;
    if (owner != NULL && IsWindowEnabled(owner)) {
        EnableWindow(owner, FALSE);
        reenableOwner = true;
    }

    HWND window = CreateDialogParamW(m_hResources, MAKEINTRESOURCEW(m_templateId), owner, DialogProc,
                                     reinterpret_cast<LPARAM>(this));
    if (window != NULL) {
        if (!m_ended) {
            KeepInWorkArea(window);
            ShowWindow(window, SW_SHOW);
            SetForegroundWindow(window);
        }
        MSG msg;
        while (!m_ended) {
            BOOL got = GetMessageW(&msg, NULL, 0, 0);
            if (got == 0) {
                // WM_QUIT belongs to the outer loop, if there is one.
                PostQuitMessage((int)msg.wParam);
                break;
            }
            if (got == -1)
                break;
            bool consumed = false;
            try {
                consumed = PreTranslateMessage(&msg);
            } catch (...) {
                OnHandlerException();
            }
            if (consumed)
                continue;
            if (IsWindow(window) && IsDialogMessageW(window, &msg))
                continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    if (reenableOwner)
        EnableWindow(owner, TRUE);
    if (window != NULL && IsWindow(window))
        DestroyWindow(window);
    m_hWnd = NULL;
    return window != NULL ? m_result : -1;
}

void CKevoDialog::EndDialog(INT_PTR result)
{
    m_result = result;
    m_ended = true;
    // Wake the loop, which may be waiting in GetMessage.
    PostMessageW(m_hWnd, WM_NULL, 0, 0);
}

void CKevoDialog::SetIcons(UINT iconId)
{
    m_iconId = iconId;
    HICON big = (HICON)LoadImageW(m_hResources, MAKEINTRESOURCEW(iconId), IMAGE_ICON, m_dpi.Metric(SM_CXICON),
                                  m_dpi.Metric(SM_CYICON), LR_SHARED);
    HICON small = (HICON)LoadImageW(m_hResources, MAKEINTRESOURCEW(iconId), IMAGE_ICON, m_dpi.Metric(SM_CXSMICON),
                                    m_dpi.Metric(SM_CYSMICON), LR_SHARED);
    if (big != NULL)
        SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    if (small != NULL)
        SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
}

BOOL CKevoDialog::OnInitDialog()
{
    ApplyDialogInit();
    return TRUE;
}

void CKevoDialog::ApplyDialogInit()
{
    HRSRC found = FindResourceW(m_hResources, MAKEINTRESOURCEW(m_templateId), MAKEINTRESOURCEW(kDlgInitResourceType));
    if (found == NULL)
        return;
    HGLOBAL loaded = LoadResource(m_hResources, found);
    const unsigned char* data = loaded != NULL ? static_cast<const unsigned char*>(LockResource(loaded)) : NULL;
    if (data == NULL)
        return;
    std::vector<DlgInitItem> items;
    // A damaged tail is ignored; the complete records before it still apply.
    ParseDlgInit(data, SizeofResource(m_hResources, found), items);
    for (size_t i = 0; i < items.size(); ++i) {
        UINT message;
        if (items[i].message == kDlgInitComboAddString)
            message = CB_ADDSTRING;
        else if (items[i].message == kDlgInitListAddString)
            message = LB_ADDSTRING;
        else
            continue;
        // The texts are Shift-JIS, as the resource compiler of the template
        // wrote them.
        SendDlgItemMessageW(m_hWnd, items[i].controlId, message, 0,
                            reinterpret_cast<LPARAM>(FromCp932(items[i].text).c_str()));
    }
}

bool CKevoDialog::OnCommand(WORD id, WORD code, HWND control)
{
    (void)control;
    if (code != BN_CLICKED)
        return false;
    if (id == IDOK) {
        OnOK();
        return true;
    }
    if (id == IDCANCEL) {
        OnCancel();
        return true;
    }
    return false;
}

bool CKevoDialog::PreTranslateMessage(MSG* msg)
{
    (void)msg;
    return false;
}

HBRUSH CKevoDialog::OnCtlColor(HDC dc, HWND control, UINT message)
{
    (void)dc;
    (void)control;
    (void)message;
    return NULL;
}

bool CKevoDialog::OnSysCommand(WPARAM command, LPARAM position)
{
    (void)command;
    (void)position;
    return false;
}

bool CKevoDialog::OnPaint() { return false; }

HICON CKevoDialog::OnQueryDragIcon() { return NULL; }

LRESULT CKevoDialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled)
{
    (void)message;
    (void)wParam;
    (void)lParam;
    handled = false;
    return 0;
}

INT_PTR CALLBACK CKevoDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    CKevoDialog* self;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<CKevoDialog*>(lParam);
        SetWindowLongPtrW(window, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
        self->m_hWnd = window;
        self->m_dpi.Attach(window);
    } else {
        self = reinterpret_cast<CKevoDialog*>(GetWindowLongPtrW(window, DWLP_USER));
    }
    if (self == NULL)
        return FALSE;
    try {
        return self->Dispatch(message, wParam, lParam);
    } catch (...) {
        try {
            self->OnHandlerException();
        } catch (...) {
        }
        return FALSE;
    }
}

INT_PTR CKevoDialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog();
    case WM_COMMAND:
        return OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam)) ? TRUE : FALSE;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
        // These return the brush itself, not through DWLP_MSGRESULT.
        return reinterpret_cast<INT_PTR>(OnCtlColor(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam), message));
    case WM_SYSCOMMAND:
        return OnSysCommand(wParam, lParam) ? TRUE : FALSE;
    case WM_PAINT:
        return OnPaint() ? TRUE : FALSE;
    case WM_QUERYDRAGICON:
        return reinterpret_cast<INT_PTR>(OnQueryDragIcon());
    case WM_DPICHANGED:
        m_dpi.OnDpiChanged(HIWORD(wParam), reinterpret_cast<const RECT*>(lParam));
        if (m_iconId != 0)
            SetIcons(m_iconId);
        OnDpiChanged();
        // Not handled: the dialog manager of a per-monitor program lays
        // out the template's controls for the new DPI itself.
        return FALSE;
    case WM_SYSCOLORCHANGE:
    case WM_SETTINGCHANGE:
    case WM_THEMECHANGED:
        OnSystemColoursChanged();
        break;
    case WM_SETCURSOR:
        if (m_waiting > 0) {
            SetCursor(LoadCursor(NULL, IDC_WAIT));
            SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, TRUE);
            return TRUE;
        }
        break;
    case WM_DESTROY:
        break;
    default:
        break;
    }
    bool handled = false;
    LRESULT result = OnMessage(message, wParam, lParam, handled);
    if (!handled)
        return FALSE;
    SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, result);
    return TRUE;
}

CKevoDialog::CWaitScope::CWaitScope(CKevoDialog& dialog)
    : m_dialog(dialog), m_previous(SetCursor(LoadCursor(NULL, IDC_WAIT)))
{
    ++m_dialog.m_waiting;
}

CKevoDialog::CWaitScope::~CWaitScope()
{
    --m_dialog.m_waiting;
    SetCursor(m_previous);
}

}  // namespace kevoui

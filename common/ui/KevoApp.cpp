#include "KevoApp.h"

#include "KevoDialog.h"

#include <cstdarg>
#include <cstdio>

namespace kevoui {

CKevoApp* CKevoApp::s_current = NULL;

CKevoApp::CKevoApp(UINT titleId) : m_pMainWnd(NULL), m_hInstance(NULL), m_titleId(titleId)
{
    s_current = this;
}

CKevoApp::~CKevoApp()
{
    if (s_current == this)
        s_current = NULL;
}

CKevoApp* CKevoApp::Current() { return s_current; }

int CKevoApp::Run(HINSTANCE instance)
{
    m_hInstance = instance;
    try {
        InitInstance();
        return ExitInstance();
    } catch (...) {
        // Nothing may unwind out of the program's entry; a failure that got
        // this far has nothing left to report to.
        return 1;
    }
}

INT_PTR CKevoApp::RunMainDialog(CKevoDialog& dialog)
{
    m_pMainWnd = &dialog;
    INT_PTR result = dialog.DoModal();
    m_pMainWnd = NULL;
    return result;
}

std::string CKevoApp::LoadText(UINT id) const
{
    // LoadStringA converts the resource's UTF-16 text to the system code
    // page; a long enough buffer is tried again with double size.
    for (int size = 512; size <= 65536; size *= 2) {
        std::string buffer(size, '\0');
        int n = LoadStringA(m_hInstance, id, &buffer[0], size);
        if (n <= 0)
            return std::string();
        if (n < size - 2) {
            buffer.resize(n);
            return buffer;
        }
    }
    return std::string();
}

int CKevoApp::ShowMessage(HWND owner, const std::string& text, UINT type) const
{
    if (owner == NULL && m_pMainWnd != NULL)
        owner = m_pMainWnd->GetSafeHwnd();
    std::string title = LoadText(m_titleId);
    return MessageBoxA(owner, text.c_str(), title.c_str(), type);
}

int CKevoApp::ShowMessage(HWND owner, UINT textId, UINT type) const
{
    return ShowMessage(owner, LoadText(textId), type);
}

std::string FormatText(const char* format, ...)
{
    char buffer[1024];
    va_list args;
    va_start(args, format);
    int n = vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n < 0)
        return std::string();
    buffer[sizeof buffer - 1] = '\0';
    return buffer;
}

}  // namespace kevoui

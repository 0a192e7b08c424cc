#include "KevoApp.h"

#include "KevoDialog.h"
#include "KevoText.h"

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
    // With a zero length LoadStringW hands out a pointer into the resource
    // itself, so texts of any length come back whole.
    const wchar_t* text = NULL;
    int length = LoadStringW(m_hInstance, id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || text == NULL)
        return std::string();
    return ToCp932(std::wstring(text, static_cast<size_t>(length)));
}

int CKevoApp::ShowMessage(HWND owner, const std::string& text, UINT type) const
{
    if (owner == NULL && m_pMainWnd != NULL)
        owner = m_pMainWnd->GetSafeHwnd();
    std::wstring title = FromCp932(LoadText(m_titleId));
    return MessageBoxW(owner, FromCp932(text).c_str(), title.c_str(), type);
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

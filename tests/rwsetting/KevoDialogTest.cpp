// The dialog base class inside this process: the template's initialisation
// data reaches the lists in order (unknown controls and messages skipped),
// exceptions from handlers and from the pre-translation hook are stopped at
// the dialog procedure and the loop, and EndDialog's result comes back; the
// dialog's DPI owner remakes its fonts and takes the suggested rectangle
// when the DPI changes.
#include <gtest/gtest.h>
#include <windows.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "KevoDialog.h"

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

namespace {

std::vector<std::string> Items(HWND control, UINT countMessage, UINT lengthMessage, UINT textMessage)
{
    std::vector<std::string> items;
    LRESULT count = SendMessageA(control, countMessage, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        std::string text((size_t)SendMessageA(control, lengthMessage, i, 0) + 1, '\0');
        SendMessageA(control, textMessage, i, reinterpret_cast<LPARAM>(&text[0]));
        text.resize(strlen(text.c_str()));
        items.push_back(text);
    }
    return items;
}

class ThrowingDialog : public kevoui::CKevoDialog {
public:
    ThrowingDialog() : CKevoDialog(200) {}
    int exceptions = 0;
    int commands = 0;
    std::vector<std::string> combo, list;

protected:
    BOOL OnInitDialog() override
    {
        CKevoDialog::OnInitDialog();
        combo = Items(Item(301), CB_GETCOUNT, CB_GETLBTEXTLEN, CB_GETLBTEXT);
        list = Items(Item(302), LB_GETCOUNT, LB_GETTEXTLEN, LB_GETTEXT);
        PostMessageW(m_hWnd, WM_APP, 0, 0);
        PostMessageW(m_hWnd, WM_COMMAND, MAKEWPARAM(303, BN_CLICKED), 0);
        return TRUE;
    }
    bool PreTranslateMessage(MSG* msg) override
    {
        if (msg->message == WM_APP)
            throw std::runtime_error("from the hook");
        return false;
    }
    bool OnCommand(WORD id, WORD code, HWND control) override
    {
        if (id == 303 && code == BN_CLICKED && ++commands > 0)
            throw std::runtime_error("from a handler");
        return CKevoDialog::OnCommand(id, code, control);
    }
    void OnHandlerException() override
    {
        if (++exceptions == 2)
            PostMessageW(m_hWnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }
    void OnOK() override { EndDialog(77); }
};

// Gives button 303 a 9-point font, then lives through a change to 192 dpi.
class DpiDialog : public kevoui::CKevoDialog {
public:
    DpiDialog() : CKevoDialog(200) {}
    LONG before = 0, after = 0;
    int margin = 0;
    RECT suggested = {40, 30, 640, 530}, moved = {};

protected:
    BOOL OnInitDialog() override
    {
        LOGFONTW face = {};
        static const int button[] = {303};
        Dpi().SetFont(face, 9, button, 1);
        before = Height();
        PostMessageW(m_hWnd, WM_DPICHANGED, MAKEWPARAM(192, 192), reinterpret_cast<LPARAM>(&suggested));
        PostMessageW(m_hWnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        return TRUE;
    }
    void OnDpiChanged() override
    {
        after = Height();
        margin = Dpi().Scale(2);
        GetWindowRect(m_hWnd, &moved);
    }
    LONG Height()
    {
        LOGFONTA made = {};
        GetObjectA(reinterpret_cast<HFONT>(SendMessageW(Item(303), WM_GETFONT, 0, 0)), sizeof made, &made);
        return made.lfHeight;
    }
};

}  // namespace

TEST(KevoDialog, DpiChangeRemakesFontsAndTakesTheSuggestedRectangle)
{
    DpiDialog dialog;
    EXPECT_EQ(IDOK, dialog.DoModal());
    HDC screen = GetDC(NULL);
    EXPECT_EQ(-MulDiv(9, GetDeviceCaps(screen, LOGPIXELSY), 72), dialog.before);
    ReleaseDC(NULL, screen);
    EXPECT_EQ(-24, dialog.after);
    EXPECT_EQ(4, dialog.margin);
    EXPECT_TRUE(EqualRect(&dialog.suggested, &dialog.moved));
}

TEST(KevoDialog, InitialisationDataExceptionsAndResult)
{
    ThrowingDialog dialog;
    EXPECT_EQ(77, dialog.DoModal());
    std::vector<std::string> combo = {"First", "\x82\xa0"};
    std::vector<std::string> list = {"Left", "Right"};
    EXPECT_EQ(combo, dialog.combo);
    EXPECT_EQ(list, dialog.list);
    EXPECT_EQ(2, dialog.exceptions);
    EXPECT_EQ(1, dialog.commands);
    EXPECT_TRUE(dialog.GetSafeHwnd() == NULL);
}

TEST(KevoDialog, MissingTemplateGivesMinusOne)
{
    kevoui::CKevoDialog missing(4711);
    EXPECT_EQ(-1, missing.DoModal());
}

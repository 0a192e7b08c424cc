#include "SoftCardPinDialog.h"

#include <string.h>
#include <wchar.h>

#include <vector>

namespace {

const wchar_t kTitle[] = L"ICカード暗証番号入力";
const wchar_t kLabel[] = L"ICカードの暗証番号を入力してください。";
const wchar_t kFont[] = L"MS UI Gothic";

// Predefined window classes of dialog item templates.
const WORD kButtonClass = 0x0080;
const WORD kEditClass = 0x0081;
const WORD kStaticClass = 0x0082;

// A DLGTEMPLATE with its items, laid out as the dialog manager reads it:
// WORD-aligned strings, every item DWORD-aligned.
class TemplateBuilder {
public:
    void Header(DWORD style, WORD items, short cx, short cy)
    {
        DLGTEMPLATE header = {};
        header.style = style;
        header.cdit = items;
        header.cx = cx;
        header.cy = cy;
        Raw(&header, sizeof header);
        Word(0);  // no menu
        Word(0);  // the dialog class
        Text(kTitle);
        Word(9);  // DS_SETFONT: point size and typeface
        Text(kFont);
    }
    void Item(WORD windowClass, WORD id, DWORD style, short x, short y, short cx, short cy, const wchar_t* text)
    {
        while (words_.size() % 2 != 0)
            Word(0);
        DLGITEMTEMPLATE item = {};
        item.style = style | WS_CHILD | WS_VISIBLE;
        item.x = x;
        item.y = y;
        item.cx = cx;
        item.cy = cy;
        item.id = id;
        Raw(&item, sizeof item);
        Word(0xFFFF);
        Word(windowClass);
        Text(text);
        Word(0);  // no creation data
    }
    const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(&words_[0]); }

private:
    void Word(WORD w) { words_.push_back(w); }
    void Raw(const void* data, size_t size)
    {
        // DLGTEMPLATE (18 bytes) and DLGITEMTEMPLATE (18 bytes) are whole WORDs.
        const WORD* w = static_cast<const WORD*>(data);
        words_.insert(words_.end(), w, w + size / sizeof(WORD));
    }
    void Text(const wchar_t* text)
    {
        for (; *text != L'\0'; ++text)
            Word(static_cast<WORD>(*text));
        Word(0);
    }
    std::vector<WORD> words_;
};

static_assert(sizeof(DLGTEMPLATE) % sizeof(WORD) == 0 && sizeof(DLGITEMTEMPLATE) % sizeof(WORD) == 0,
              "dialog templates are laid out in WORDs");

struct PinEntry {
    wchar_t* pin;
    int capacity;
};

INT_PTR CALLBACK PinDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        SendDlgItemMessageW(dialog, SOFTCARD_IDC_PIN_EDIT, EM_LIMITTEXT, SOFTCARD_PIN_MAX_LENGTH, 0);
        SetForegroundWindow(dialog);
        SetFocus(GetDlgItem(dialog, SOFTCARD_IDC_PIN_EDIT));
        return FALSE;  // the focus is set
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            PinEntry* entry = reinterpret_cast<PinEntry*>(GetWindowLongPtrW(dialog, DWLP_USER));
            GetDlgItemTextW(dialog, SOFTCARD_IDC_PIN_EDIT, entry->pin, entry->capacity);
            SetDlgItemTextW(dialog, SOFTCARD_IDC_PIN_EDIT, L"");
            EndDialog(dialog, IDOK);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            SetDlgItemTextW(dialog, SOFTCARD_IDC_PIN_EDIT, L"");
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

}  // namespace

PinAnswer AskForPin(HINSTANCE instance, HWND owner, wchar_t* pin, int capacity)
{
    if (capacity <= 0)
        return kPinNoWindow;
    pin[0] = L'\0';
    TemplateBuilder builder;
    builder.Header(DS_MODALFRAME | DS_SETFONT | DS_CENTER | DS_SETFOREGROUND | WS_POPUP | WS_CAPTION | WS_SYSMENU,
                   4, 200, 74);
    builder.Item(kStaticClass, SOFTCARD_IDC_PIN_LABEL, SS_LEFT, 10, 10, 180, 10, kLabel);
    builder.Item(kEditClass, SOFTCARD_IDC_PIN_EDIT, ES_PASSWORD | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 10, 26,
                 180, 14, L"");
    builder.Item(kButtonClass, IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP, 84, 50, 50, 14, L"OK");
    builder.Item(kButtonClass, IDCANCEL, BS_PUSHBUTTON | WS_TABSTOP, 140, 50, 50, 14, L"キャンセル");

    PinEntry entry = {pin, capacity};
    INT_PTR answer = DialogBoxIndirectParamW(instance, builder.Get(), owner, PinDialogProc,
                                             reinterpret_cast<LPARAM>(&entry));
    if (answer == IDOK)
        return kPinEntered;
    return answer == IDCANCEL ? kPinCancelled : kPinNoWindow;
}

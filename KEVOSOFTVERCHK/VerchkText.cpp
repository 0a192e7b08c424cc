#include "VerchkText.h"

std::wstring LoadVerchkText(UINT id)
{
    // With a zero length LoadStringW hands out a pointer into the resource
    // itself, so texts of any length come back whole.
    const wchar_t* text = NULL;
    int length = LoadStringW(GetModuleHandleW(NULL), id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || text == NULL)
        return std::wstring();
    return std::wstring(text, static_cast<size_t>(length));
}

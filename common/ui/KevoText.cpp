#include "KevoText.h"

#include <windows.h>

namespace kevoui {

namespace {
const UINT kShiftJis = 932;
}

std::wstring FromCp932(const char* text)
{
    return text != NULL ? FromCp932(std::string(text)) : std::wstring();
}

std::wstring FromCp932(const std::string& text)
{
    if (text.empty())
        return std::wstring();
    int n = MultiByteToWideChar(kShiftJis, 0, text.data(), (int)text.size(), NULL, 0);
    if (n <= 0)
        return std::wstring();
    std::wstring wide(n, L'\0');
    MultiByteToWideChar(kShiftJis, 0, text.data(), (int)text.size(), &wide[0], n);
    return wide;
}

std::string ToCp932(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    int n = WideCharToMultiByte(kShiftJis, 0, text.data(), (int)text.size(), NULL, 0, NULL, NULL);
    if (n <= 0)
        return std::string();
    std::string narrow(n, '\0');
    WideCharToMultiByte(kShiftJis, 0, text.data(), (int)text.size(), &narrow[0], n, NULL, NULL);
    return narrow;
}

}  // namespace kevoui

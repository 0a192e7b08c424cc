#include "TextCodePage.h"

#include <windows.h>

namespace {
UINT WindowsCodePage(TextCodePage codePage)
{
    // Never CP_ACP: an English Windows has 1252 there, and Windows 10 and
    // later may have UTF-8.
    return codePage == kTextCodePageUtf8 ? CP_UTF8 : 932;
}
}  // namespace

int TextWideToNarrow(TextCodePage codePage, const wchar_t* text, char* out, int outSize)
{
    return WideCharToMultiByte(WindowsCodePage(codePage), 0, text, -1, outSize == 0 ? NULL : out, outSize, NULL,
                               NULL);
}

int TextNarrowToWide(TextCodePage codePage, const char* text, int length, wchar_t* out, int outUnits)
{
    return MultiByteToWideChar(WindowsCodePage(codePage), 0, text, length, out, outUnits);
}

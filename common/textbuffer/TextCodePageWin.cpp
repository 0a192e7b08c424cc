#include "TextCodePage.h"

#include <windows.h>

namespace {
UINT WindowsCodePage(TextCodePage codePage)
{
    return codePage == kTextCodePageUtf8 ? CP_UTF8 : CP_ACP;
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

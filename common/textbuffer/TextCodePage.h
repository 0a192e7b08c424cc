// The two code-page conversions the text buffer needs, behind a small seam:
// on Windows they are the platform's WideCharToMultiByte and
// MultiByteToWideChar (no flags) with code page 932 or UTF-8; a native
// build of the buffer (its fuzz target) gets a portable stand-in with the
// same contract.
#ifndef KEVO_TEXTCODEPAGE_H
#define KEVO_TEXTCODEPAGE_H

enum TextCodePage {
    kTextCodePageAnsi,  // the tool's narrow text: Shift-JIS (932) on any system
    kTextCodePageUtf8   // CP_UTF8
};

// The zero-terminated text converted, terminator included, as
// WideCharToMultiByte(codePage, 0, text, -1, out, outSize, NULL, NULL):
// with outSize 0 the bytes needed; otherwise the bytes written, or 0 when
// they do not fit or the conversion fails.
int TextWideToNarrow(TextCodePage codePage, const wchar_t* text, char* out, int outSize);

// length bytes (no terminator) converted, as MultiByteToWideChar(codePage,
// 0, text, length, out, outUnits): the units written, or 0 when they do not
// fit or the conversion fails.
int TextNarrowToWide(TextCodePage codePage, const char* text, int length, wchar_t* out, int outUnits);

#endif

// The programs' own narrow texts (their literals, the string tables as
// LoadText hands them out, the trace log) are Shift-JIS, whatever the
// system's ANSI code page: an English Windows has 1252, and Windows 10 and
// later may have UTF-8. Such text goes to the screen only through the wide
// functions, converted here with code page 932 itself.
#ifndef KEVO_KEVOTEXT_H
#define KEVO_KEVOTEXT_H

#include <string>

namespace kevoui {

// Shift-JIS to UTF-16; empty for NULL or empty text.
std::wstring FromCp932(const char* text);
std::wstring FromCp932(const std::string& text);
// UTF-16 to Shift-JIS; a character that Shift-JIS lacks becomes "?".
std::string ToCp932(const std::wstring& text);

}  // namespace kevoui

#endif

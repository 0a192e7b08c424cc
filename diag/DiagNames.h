// Words for the numbers of the diagnostics report: Windows' version names,
// the names of smart-card and WinINet error codes (the number kept after the
// name, since the help desk searches for either), the reader kinds, and
// where a setting comes from.
#ifndef KEVO_DIAGNAMES_H
#define KEVO_DIAGNAMES_H

#include <string>

namespace diagnames {

// "Windows 11", "Windows 7", ...; empty for a version without a name here.
std::wstring WindowsName(unsigned long major, unsigned long minor, unsigned long build);
// "SCARD_E_NO_SERVICE"; NULL for a code without a name here.
const char* SmartCardErrorName(unsigned long code);
// "ERROR_INTERNET_SEC_CERT_CN_INVALID" and the other WinINet codes the
// report names; NULL for a code without a name here.
const char* InternetErrorName(unsigned long code);
// name and the code ("NAME 0x8010001D" in hex, "NAME 12002" in decimal);
// the code alone when name is NULL.
std::wstring CodeWithName(const char* name, unsigned long code, bool hex);

// What an RWType means, in the dialog's words; other values are automatic
// detection, as the dialog shows them.
// The code with its name, as the report shows it.
std::wstring SmartCardError(unsigned long code);
std::wstring InternetError(unsigned long code);

enum ReaderKind { kReaderAuto, kReaderPcsc, kReaderNmda };
ReaderKind ReaderKindOf(unsigned long rwType);
// "PC/SC対応「name」", "NMDA対応 ポート port" or "自動検出".
std::wstring ReaderChoiceWords(unsigned long rwType, const std::wstring& name, const std::wstring& port);

enum Source { kSourcePolicy, kSourceFile, kSourceUser, kSourceDefault };
const wchar_t* SourceName(Source source);

}  // namespace diagnames

#endif

#include "DiagNames.h"

#include <stdio.h>

#include "DiagTexts.h"

namespace diagnames {

namespace {

struct NamedCode {
    unsigned long code;
    const char* name;
};

// The codes the report meets when it opens the service and lists and asks
// the readers.
const NamedCode kSmartCardCodes[] = {
    {0x80100001UL, "SCARD_F_INTERNAL_ERROR"},     {0x80100002UL, "SCARD_E_CANCELLED"},
    {0x80100003UL, "SCARD_E_INVALID_HANDLE"},     {0x80100004UL, "SCARD_E_INVALID_PARAMETER"},
    {0x80100006UL, "SCARD_E_NO_MEMORY"},          {0x80100009UL, "SCARD_E_UNKNOWN_READER"},
    {0x8010000AUL, "SCARD_E_TIMEOUT"},            {0x8010000CUL, "SCARD_E_NO_SMARTCARD"},
    {0x80100017UL, "SCARD_E_READER_UNAVAILABLE"}, {0x8010001DUL, "SCARD_E_NO_SERVICE"},
    {0x8010001EUL, "SCARD_E_SERVICE_STOPPED"},    {0x8010002EUL, "SCARD_E_NO_READERS_AVAILABLE"},
    {0x80100066UL, "SCARD_W_UNRESPONSIVE_CARD"},  {0x80100067UL, "SCARD_W_UNPOWERED_CARD"},
    {0x80100069UL, "SCARD_W_REMOVED_CARD"},
};

// The WinINet codes of the report's network steps.
const NamedCode kInternetCodes[] = {
    {12002UL, "ERROR_INTERNET_TIMEOUT"},
    {12007UL, "ERROR_INTERNET_NAME_NOT_RESOLVED"},
    {12029UL, "ERROR_INTERNET_CANNOT_CONNECT"},
    {12030UL, "ERROR_INTERNET_CONNECTION_ABORTED"},
    {12031UL, "ERROR_INTERNET_CONNECTION_RESET"},
    {12037UL, "ERROR_INTERNET_SEC_CERT_DATE_INVALID"},
    {12038UL, "ERROR_INTERNET_SEC_CERT_CN_INVALID"},
    {12044UL, "ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED"},
    {12045UL, "ERROR_INTERNET_INVALID_CA"},
    {12055UL, "ERROR_INTERNET_SEC_CERT_ERRORS"},
    {12056UL, "ERROR_INTERNET_SEC_CERT_NO_REV"},
    {12057UL, "ERROR_INTERNET_SEC_CERT_REV_FAILED"},
    {12152UL, "ERROR_HTTP_INVALID_SERVER_RESPONSE"},
    {12157UL, "ERROR_INTERNET_SECURITY_CHANNEL_ERROR"},
    {12169UL, "ERROR_INTERNET_SEC_INVALID_CERT"},
    {12170UL, "ERROR_INTERNET_SEC_CERT_REVOKED"},
};

const char* Find(const NamedCode* table, size_t count, unsigned long code)
{
    for (size_t i = 0; i < count; ++i)
        if (table[i].code == code)
            return table[i].name;
    return NULL;
}

std::wstring Widen(const char* text)
{
    std::wstring wide;
    for (const char* p = text; *p != 0; ++p)
        wide += static_cast<wchar_t>(static_cast<unsigned char>(*p));
    return wide;
}

}  // namespace

std::wstring WindowsName(unsigned long major, unsigned long minor, unsigned long build)
{
    if (major == 10 && minor == 0)
        return build >= 22000 ? L"Windows 11" : L"Windows 10";
    if (major == 6) {
        static const wchar_t* const names[] = {L"Windows Vista", L"Windows 7", L"Windows 8", L"Windows 8.1"};
        if (minor < 4)
            return names[minor];
    }
    if (major == 5 && (minor == 1 || minor == 2))
        return L"Windows XP";
    return L"";
}

const char* SmartCardErrorName(unsigned long code)
{
    return Find(kSmartCardCodes, sizeof kSmartCardCodes / sizeof kSmartCardCodes[0], code);
}

const char* InternetErrorName(unsigned long code)
{
    return Find(kInternetCodes, sizeof kInternetCodes / sizeof kInternetCodes[0], code);
}

std::wstring SmartCardError(unsigned long code)
{
    return CodeWithName(SmartCardErrorName(code), code, true);
}

std::wstring InternetError(unsigned long code)
{
    return CodeWithName(InternetErrorName(code), code, false);
}

std::wstring CodeWithName(const char* name, unsigned long code, bool hex)
{
    char number[16];
    snprintf(number, sizeof number, hex ? "0x%08lX" : "%lu", code);
    return name == NULL ? Widen(number) : Widen(name) + L" " + Widen(number);
}

ReaderKind ReaderKindOf(unsigned long rwType)
{
    return rwType == 1 ? kReaderPcsc : rwType == 2 ? kReaderNmda : kReaderAuto;
}

std::wstring ReaderChoiceWords(unsigned long rwType, const std::wstring& name, const std::wstring& port)
{
    switch (ReaderKindOf(rwType)) {
    case kReaderPcsc:
        return kTextReaderPcsc L"「" + name + L"」";
    case kReaderNmda:
        return kTextReaderNmda L" " + port;
    default:
        return kTextReaderAuto;
    }
}

const wchar_t* SourceName(Source source)
{
    switch (source) {
    case kSourcePolicy:
        return kTextFromPolicy;
    case kSourceFile:
        return kTextFromFile;
    case kSourceUser:
        return kTextFromUser;
    default:
        return kTextFromDefault;
    }
}

}  // namespace diagnames

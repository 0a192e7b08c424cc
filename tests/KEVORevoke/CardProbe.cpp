// Runs the card step once, as the wizard's screen 02 does, and writes what it
// left behind to RESULT as UTF-8 lines "key=value":
//   card_probe RESULT
// keys: code, name, address, gender, birth, perfcode, perfname, issuer,
// notbefore, notafter (YYYYMMDDhhmmss, UTC), certlength. The exit code is 0
// when the probe itself worked.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "KEVOUserCertRevokeCard.h"
#include "RevokeTexts.h"
#include "TraceLog.h"

namespace {

std::string Utf8(const wchar_t* text)
{
    if (text == NULL)
        return std::string();
    int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, NULL, 0, NULL, NULL);
    std::string out(size > 0 ? size - 1 : 0, '\0');
    if (size > 1)
        WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], size, NULL, NULL);
    return out;
}

std::string Time(const SYSTEMTIME& t)
{
    char text[32];
    sprintf(text, "%04u%02u%02u%02u%02u%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
    return text;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2)
        return 2;
    TraceInitLock();
    FixJapanLocaleAndZone();
    CREVOKE_Card card;
    KEVOBinaryData binaryData = {0, NULL};
    const int code = card.GetCardData(&binaryData);

    std::string out = "code=" + std::to_string(code) + "\n";
    out += "name=" + Utf8(card.m_strName.m_lpData) + "\n";
    out += "address=" + Utf8(card.m_strAddress.m_lpData) + "\n";
    out += "gender=" + Utf8(card.m_strGender.m_lpData) + "\n";
    out += "birth=" + Utf8(card.m_strBirth.m_lpData) + "\n";
    out += "perfcode=" + Utf8(card.m_strPerfCode.m_lpData) + "\n";
    out += "perfname=" + Utf8(card.m_strPerfName.m_lpData) + "\n";
    out += "issuer=" + Utf8(card.m_strIssuerData.m_lpData) + "\n";
    out += "notbefore=" + Time(card.m_stNotBefore) + "\n";
    out += "notafter=" + Time(card.m_stNotAfter) + "\n";
    out += "certlength=" + std::to_string(binaryData.length) + "\n";
    free(binaryData.data);

    FILE* f = _wfopen(argv[1], L"wb");
    if (f == NULL)
        return 1;
    fwrite(out.data(), 1, out.size(), f);
    fclose(f);
    return 0;
}

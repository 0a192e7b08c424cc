// Drives the online counter client as the wizard does, one operation per
// run, with the connection settings of the registry and the settings file:
//   counter_probe RESULT date               getServerDate
//   counter_probe RESULT revoke DOC         revoke with the UTF-8 file DOC as m_strXML
//   counter_probe RESULT signed CERT        server date, a document signed by the
//                                           card's provider with the DER certificate
//                                           CERT, revoke (the wizard's road)
//   counter_probe RESULT missing            both operations without their buffers,
//                                           then revoke of an empty document
// RESULT receives "<code>\n" followed by the buffer's text in the ANSI code
// page (for "signed": "<date code> <make code> <revoke code>\n", then the
// reply text). The exit code is 0 when the probe itself worked.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "KEVOUserCertRevokeCard.h"
#include "KEVOUserCertRevokeHttp.h"
#include "KEVOUserCertRevokeXML.h"
#include "TextBuffer.h"
#include "TraceLog.h"

namespace {

bool ReadFileBytes(const wchar_t* path, std::string* out)
{
    FILE* f = _wfopen(path, L"rb");
    if (f == NULL)
        return false;
    char buffer[65536];
    size_t got;
    out->clear();
    while ((got = fread(buffer, 1, sizeof buffer, f)) > 0)
        out->append(buffer, got);
    fclose(f);
    return true;
}

bool WriteResult(const wchar_t* path, const std::string& head, CTextBuffer* text)
{
    FILE* f = _wfopen(path, L"wb");
    if (f == NULL)
        return false;
    fwrite(head.data(), 1, head.size(), f);
    const char* ansi = text != NULL ? text->GetAnsi() : NULL;
    if (ansi != NULL)
        fwrite(ansi, 1, strlen(ansi), f);
    fclose(f);
    return true;
}

bool SetUtf8(CTextBuffer* buffer, const std::string& utf8)
{
    int units = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), (int)utf8.size(), NULL, 0);
    if (units <= 0)
        return false;
    std::wstring wide(units, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), (int)utf8.size(), &wide[0], units);
    return buffer->SetData(wide.c_str()) == 1;
}

std::string Code(int code)
{
    char text[32];
    sprintf(text, "%d\n", code);
    return text;
}

// Applicant data as the card step would leave it; the "&" and "<" show
// that field values travel and are signed as the document carries them.
void FillCard(CREVOKE_Card* card)
{
    card->m_strName.SetData(L"山田&太郎<テスト>");
    card->m_strAddress.SetData(L"東京都千代田区永田町１－２－３");
    card->m_strGender.SetData(L"男");
    card->m_strBirth.SetData(L"319700101");
    card->m_strPerfName.SetData(L"東京都");
    card->m_strPerfCode.SetData(L"13");
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3)
        return 2;
    TraceInitLock();
    const wchar_t* result = argv[1];
    std::wstring op = argv[2];

    CREVOKE_Http http;
    int settings = http.setSettingInfo();
    if (settings != 0)
        return WriteResult(result, "settings " + Code(settings), NULL) ? 0 : 1;

    if (op == L"date") {
        CTextBuffer date;
        int rc = http.getServerDate(&date, &http.m_SettingInfo);
        return WriteResult(result, Code(rc), &date) ? 0 : 1;
    }
    if (op == L"revoke" && argc >= 4) {
        std::string document;
        if (!ReadFileBytes(argv[3], &document))
            return 3;
        CREVOKE_Xml xml;
        if (!SetUtf8(&xml.m_strXML, document))
            return 4;
        CTextBuffer reply;
        int rc = http.revoke(&xml.m_strXML, &http.m_SettingInfo, &reply);
        return WriteResult(result, Code(rc), &reply) ? 0 : 1;
    }
    if (op == L"signed" && argc >= 4) {
        std::string der;
        if (!ReadFileBytes(argv[3], &der))
            return 3;
        KEVOBinaryData certificate;
        certificate.length = (unsigned int)der.size();
        certificate.data = reinterpret_cast<unsigned char*>(&der[0]);
        CREVOKE_Card card;
        FillCard(&card);
        CTextBuffer date;
        int dateCode = http.getServerDate(&date, &http.m_SettingInfo);
        int makeCode = -1;
        int revokeCode = -1;
        CTextBuffer reply;
        CREVOKE_Xml xml;
        if (dateCode == 0) {
            makeCode = xml.MakeXML(&card, &certificate, &date);
            if (makeCode == 0)
                revokeCode = http.revoke(&xml.m_strXML, &http.m_SettingInfo, &reply);
        }
        char head[64];
        sprintf(head, "%d %d %d\n", dateCode, makeCode, revokeCode);
        return WriteResult(result, head, &reply) ? 0 : 1;
    }
    if (op == L"missing") {
        CREVOKE_Xml xml;
        CTextBuffer text;
        char head[64];
        // The last call sends a document that was never built.
        sprintf(head, "%d %d %d %d\n", http.getServerDate(NULL, &http.m_SettingInfo),
                http.revoke(NULL, &http.m_SettingInfo, &text), http.revoke(&xml.m_strXML, &http.m_SettingInfo, NULL),
                http.revoke(&xml.m_strXML, &http.m_SettingInfo, &text));
        return WriteResult(result, head, NULL) ? 0 : 1;
    }
    return 2;
}

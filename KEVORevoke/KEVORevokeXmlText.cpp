#include "KEVORevokeXmlText.h"

#include <stdlib.h>
#include <string.h>
#include <wchar.h>

const wchar_t kRevokeXmlPart1[] = L"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

const wchar_t kRevokeXmlPart3[] = L"</署名値>\n  </署名情報>\n</構成管理情報>";

const wchar_t kRevokeXmlPart5[] = L"<Signature Id=\"Signature\" xmlns=\"http://www.w3.org/2000/09/xmldsig#\">\n";

// Placeholder rows hold a single space, never emitted.
const RevokeXmlRow kRevokeXmlPart2Rows[kPart2RowCount] = {
    {L"<構成管理情報>\n", kLiteralRow},
    {L"  <構成管理 Id=\"構成管理\">\n", kLiteralRow},
    {L"    <管理情報>\n", kLiteralRow},
    {L"      <構成管理情報版番号>0001</構成管理情報版番号>\n", kLiteralRow},
    {L"      <手続名称>自己の電子証明書の失効申請</手続名称>\n", kLiteralRow},
    {L"    </管理情報>\n", kLiteralRow},
    {L"    <申請書 Id=\"申請書\">\n", kLiteralRow},
    {L"      <申請日>", kLiteralRow},
    {L" ", kFieldApplicationDate},
    {L"</申請日>\n", kLiteralRow},
    {L"      <申請時間>", kLiteralRow},
    {L" ", kFieldApplicationTime},
    {L"</申請時間>\n", kLiteralRow},
    {L"      <都道府県CD>", kLiteralRow},
    {L" ", kFieldPerfCode},
    {L"</都道府県CD>\n", kLiteralRow},
    {L"      <都道府県名称>", kLiteralRow},
    {L" ", kFieldPerfName},
    {L"</都道府県名称>\n", kLiteralRow},
    {L"      <申請者の氏名>", kLiteralRow},
    {L" ", kFieldName},
    {L"</申請者の氏名>\n", kLiteralRow},
    {L"      <申請者の住所>", kLiteralRow},
    {L" ", kFieldAddress},
    {L"</申請者の住所>\n", kLiteralRow},
    {L"      <申請者の性別>", kLiteralRow},
    {L" ", kFieldGender},
    {L"</申請者の性別>\n", kLiteralRow},
    {L"      <申請者の生年月日>", kLiteralRow},
    {L" ", kFieldBirth},
    {L"</申請者の生年月日>\n", kLiteralRow},
    {L"    </申請書>\n", kLiteralRow},
    {L"  </構成管理>\n", kLiteralRow},
    {L"  <署名情報>\n", kLiteralRow},
    {L"    <署名方式>XML署名</署名方式>\n", kLiteralRow},
    {L"    <署名値>\n", kLiteralRow},
    {L"    ", kLiteralRow},
};

const RevokeXmlRow kRevokeXmlPart4Rows[kPart4RowCount] = {
    {L"<SignedInfo>\n", kLiteralRow},
    {L"<CanonicalizationMethod Algorithm=\"http://www.w3.org/TR/2001/REC-xml-c14n-20010315\"></CanonicalizationMethod>\n",
     kLiteralRow},
    {L"<SignatureMethod Algorithm=\"http://www.w3.org/2000/09/xmldsig#rsa-sha1\"></SignatureMethod>\n", kLiteralRow},
    {L"<Reference Id=\"構成管理の署名\" URI=\"\">\n", kLiteralRow},
    {L"<Transforms>\n", kLiteralRow},
    {L"<Transform Algorithm=\"http://www.w3.org/TR/2001/REC-xml-c14n-20010315\"></Transform>\n", kLiteralRow},
    {L"<Transform Algorithm=\"http://www.w3.org/2000/09/xmldsig#enveloped-signature\"></Transform>\n", kLiteralRow},
    {L"</Transforms>\n", kLiteralRow},
    {L"<DigestMethod Algorithm=\"http://www.w3.org/2000/09/xmldsig#sha1\"></DigestMethod>\n", kLiteralRow},
    {L"<DigestValue>", kLiteralRow},
    {L" ", kFieldDigest},
    {L"</DigestValue>\n", kLiteralRow},
    {L"</Reference>\n", kLiteralRow},
    {L"</SignedInfo>", kLiteralRow},
};

const RevokeXmlRow kRevokeXmlPart6Rows[kPart6RowCount] = {
    {L"\n", kLiteralRow},
    {L"<SignatureValue>", kLiteralRow},
    {L" ", kFieldSignature},
    {L"</SignatureValue>\n", kLiteralRow},
    {L"<KeyInfo>\n", kLiteralRow},
    {L"<X509Data>\n", kLiteralRow},
    {L"<X509Certificate>", kLiteralRow},
    {L" ", kFieldCertificate},
    {L"</X509Certificate>\n", kLiteralRow},
    {L"</X509Data>\n", kLiteralRow},
    {L"</KeyInfo>\n", kLiteralRow},
    {L"</Signature>", kLiteralRow},
};

bool IsServerDateText(const wchar_t* serverDate)
{
    if (serverDate == NULL)
        return false;
    int i = 0;
    for (; i < 14; ++i) {
        if (serverDate[i] < L'0' || serverDate[i] > L'9')
            return false;
    }
    return serverDate[i] == L'\0';
}

void FormatApplicationDate(const wchar_t* d, wchar_t out[11])
{
    const wchar_t text[11] = {d[0], d[1], d[2], d[3], L'/', d[4], d[5], L'/', d[6], d[7], L'\0'};
    memcpy(out, text, sizeof text);
}

void FormatApplicationTime(const wchar_t* d, wchar_t out[9])
{
    const wchar_t text[9] = {d[8], d[9], L'/', d[10], d[11], L'/', d[12], d[13], L'\0'};
    memcpy(out, text, sizeof text);
}

namespace {

bool IsHighSurrogate(unsigned long unit) { return unit >= 0xD800UL && unit <= 0xDBFFUL; }
bool IsLowSurrogate(unsigned long unit) { return unit >= 0xDC00UL && unit <= 0xDFFFUL; }

// The reference that stands for a markup character, or NULL.
const wchar_t* EscapeFor(wchar_t c)
{
    switch (c) {
    case L'&':
        return L"&amp;";
    case L'<':
        return L"&lt;";
    case L'>':
        return L"&gt;";
    default:
        return NULL;
    }
}

}  // namespace

bool IsXmlCarriableText(const wchar_t* text)
{
    if (text == NULL)
        return true;
    for (const wchar_t* p = text; *p != L'\0'; ++p) {
        unsigned long c = static_cast<unsigned long>(*p);
        if (c == 0x09UL || c == 0x0AUL || c == 0x0DUL)
            continue;
        if (c < 0x20UL || c == 0xFFFEUL || c == 0xFFFFUL || IsLowSurrogate(c) || c > 0x10FFFFUL)
            return false;
        if (IsHighSurrogate(c)) {
            if (!IsLowSurrogate(static_cast<unsigned long>(p[1])))
                return false;
            ++p;
        }
    }
    return true;
}

int AppendEscapedValue(CTextBuffer& target, const wchar_t* value)
{
    if (value == NULL || value[0] == L'\0')
        return 1;
    size_t length = 0;
    for (const wchar_t* p = value; *p != L'\0'; ++p) {
        const wchar_t* reference = EscapeFor(*p);
        length += reference != NULL ? wcslen(reference) : 1;
    }
    wchar_t* escaped = static_cast<wchar_t*>(malloc((length + 1) * sizeof(wchar_t)));
    if (escaped == NULL)
        return 0;
    wchar_t* out = escaped;
    for (const wchar_t* p = value; *p != L'\0'; ++p) {
        const wchar_t* reference = EscapeFor(*p);
        if (reference != NULL) {
            size_t n = wcslen(reference);
            memcpy(out, reference, n * sizeof(wchar_t));
            out += n;
        } else {
            *out++ = *p;
        }
    }
    *out = L'\0';
    int ok = target.Append(escaped);
    free(escaped);
    return ok;
}

int AppendRows(CTextBuffer& target, const RevokeXmlRow* rows, int rowCount, const wchar_t* const* values,
               bool escapeValues)
{
    for (int i = 0; i < rowCount; ++i) {
        int ok;
        if (rows[i].field == kLiteralRow)
            ok = target.Append(rows[i].text);
        else if (escapeValues)
            ok = AppendEscapedValue(target, values[rows[i].field]);
        else
            ok = target.Append(values[rows[i].field]);
        if (!ok)
            return 0;
    }
    return 1;
}

int MapProviderOpenError(unsigned long lastError)
{
    switch (lastError) {
    case 8UL:            // ERROR_NOT_ENOUGH_MEMORY
    case 0x8009000EUL:   // NTE_NO_MEMORY
        return -102;
    case 0x80100010UL:   // SCARD_E_NOT_READY
        return 704;
    case 0x8010006CUL:   // SCARD_W_CHV_BLOCKED
        return 703;
    case 0x8010006EUL:   // SCARD_W_CANCELLED_BY_USER
        return 700;
    default:
        return -105;
    }
}

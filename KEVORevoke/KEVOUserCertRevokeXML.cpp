// CREVOKE_Xml: assembles the request document from its fragments, digests
// parts 2 and 3, and signs SignedInfo with the card's provider. Digest and
// signature cover the literal UTF-8 bytes as the document carries them; no
// canonicalisation happens, the online counter checks those bytes.
#include "KEVOUserCertRevokeXML.h"

#include <stdlib.h>
#include <string.h>

#include "CardContext.h"
#include "KEVORevokeXmlText.h"
#include "RevokeHandles.h"
#include "TraceLog.h"

namespace {

const int kGrowStep = 1024;
const DWORD kSha1Length = 20;

void StripLineBreaks(CTextBuffer& text)
{
    text.RemoveChar(L'\r');
    text.RemoveChar(L'\n');
}

// The name of the first card value that an XML document cannot carry, or
// NULL when all can. Such a value would be signed into a document that the
// counter's parser refuses, so it is caught before the card is asked to sign.
const char* FirstUncarriableField(const CREVOKE_Card& card)
{
    const struct {
        const char* name;
        const CTextBuffer* text;
    } fields[] = {
        {"m_strPerfCode", &card.m_strPerfCode}, {"m_strPerfName", &card.m_strPerfName},
        {"m_strName", &card.m_strName},         {"m_strAddress", &card.m_strAddress},
        {"m_strGender", &card.m_strGender},     {"m_strBirth", &card.m_strBirth},
    };
    for (size_t i = 0; i < sizeof fields / sizeof fields[0]; ++i) {
        if (!IsXmlCarriableText(fields[i].text->m_lpData))
            return fields[i].name;
    }
    return NULL;
}

}  // namespace

int CREVOKE_Xml::MakeXML(const CREVOKE_Card* lpCardOBJ, const KEVOBinaryData* binaryData,
                         const CTextBuffer* strServerDate)
{
    return MakeXML(lpCardOBJ, binaryData, strServerDate == NULL ? NULL : strServerDate->m_lpData);
}

int CREVOKE_Xml::MakeXML(const CREVOKE_Card* lpCardOBJ, const KEVOBinaryData* binaryData,
                         const wchar_t* strServerDate)
{
    const char* const kName = "CREVOKE_Xml::MakeXML";
    TraceLog(TRACE_LEVEL_FLOW, "%s: start\n", kName);
    int result = 0;
    // A server date of any other shape would be read past its end, and a
    // certificate without bytes cannot be embedded: both count as missing.
    if (lpCardOBJ == NULL || binaryData == NULL || binaryData->data == NULL || binaryData->length == 0 ||
        !IsServerDateText(strServerDate)) {
        TraceLog(TRACE_LEVEL_ERROR, "lpCardOBJ binaryData strServerDate:予期せぬエラーが発生しました。(%s:%d)\n",
                 TRACE_HERE);
        result = -101;
    } else if (const char* field = FirstUncarriableField(*lpCardOBJ)) {
        TraceLog(TRACE_LEVEL_ERROR, "%s:予期せぬエラーが発生しました。(%s:%d)\n", field, TRACE_HERE);
        result = -101;
    } else {
        ProviderContext provider;
        HashObject hash;
        if (!cardcontext::Acquire(provider.Out())) {
            DWORD error = GetLastError();
            provider.Forget();
            TraceWinError(error, "CryptAcquireContextA", TRACE_HERE);
            result = MapProviderOpenError(error);
        } else if (!CryptCreateHash(provider.Get(), CALG_SHA1, 0, 0, hash.Out())) {
            hash.Forget();
            TraceWinError(GetLastError(), "CryptCreateHash", TRACE_HERE);
            result = 702;
        } else if ((result = MakePart1Data()) != 0) {
            TraceLog(TRACE_LEVEL_ERROR, "MakePart1Data:エラーが発生しました。(%s:%d)\n", TRACE_HERE);
        } else if ((result = MakePart2Data(strServerDate, lpCardOBJ)) != 0) {
            TraceLog(TRACE_LEVEL_ERROR, "MakePart2Data:エラーが発生しました。(%s:%d)\n", TRACE_HERE);
        } else if ((result = MakePart3Data()) != 0) {
            TraceLog(TRACE_LEVEL_ERROR, "MakePart3Data:エラーが発生しました。(%s:%d)\n", TRACE_HERE);
        } else if ((result = MakePart4Data(hash.Get())) != 0) {
            TraceLog(TRACE_LEVEL_ERROR, "MakePart4Data:エラーが発生しました。(%s:%d)\n", TRACE_HERE);
        } else if ((result = MakePart5Data()) != 0) {
            TraceLog(TRACE_LEVEL_ERROR, "MakePart5Data:エラーが発生しました。(%s:%d)\n", TRACE_HERE);
        } else {
            // The signature gets a hash object of its own; the first one
            // served the digest only.
            hash.Reset();
            if (!CryptCreateHash(provider.Get(), CALG_SHA1, 0, 0, hash.Out())) {
                hash.Forget();
                TraceWinError(GetLastError(), "CryptCreateHash", TRACE_HERE);
                result = 702;
            } else if ((result = MakePart6Data(hash.Get(), binaryData)) != 0) {
                TraceLog(TRACE_LEVEL_ERROR, "MakePart6Data:エラーが発生しました。(%s:%d)\n", TRACE_HERE);
            }
        }
        hash.Reset();
        provider.Reset();

        if (result == 0) {
            m_strXML.Clear();
            m_strXML.m_nGrowBy = kGrowStep;
            if (!m_strXML.Append(m_strPart1.m_lpData) || !m_strXML.Append(m_strPart2.m_lpData) ||
                !m_strXML.Append(m_strPart5.m_lpData) || !m_strXML.Append(m_strPart4.m_lpData) ||
                !m_strXML.Append(m_strPart6.m_lpData) || !m_strXML.Append(m_strPart3.m_lpData) ||
                !m_strXML.Append(L"\n")) {
                TraceLog(TRACE_LEVEL_ERROR, "m_strXML.Append:メモリが不足しています。(%s:%d)\n", TRACE_HERE);
                result = 701;
            }
        }
    }
    TraceLog(TRACE_LEVEL_FLOW, "%s: end\n", kName);
    return result;
}

int CREVOKE_Xml::MakePart1Data()
{
    TraceLog(TRACE_LEVEL_FLOW, "%s: start\n", "CREVOKE_Xml::MakePart1Data");
    int result = 0;
    if (!m_strPart1.SetData(kRevokeXmlPart1)) {
        TraceLog(TRACE_LEVEL_ERROR, "m_strPart1.SetData:メモリが不足しています。(%s:%d)\n", TRACE_HERE);
        result = 701;
    }
    TraceLog(TRACE_LEVEL_FLOW, "%s: end\n", "CREVOKE_Xml::MakePart1Data");
    return result;
}

int CREVOKE_Xml::MakePart2Data(const wchar_t* strServerDate, const CREVOKE_Card* lpCardOBJ)
{
    TraceLog(TRACE_LEVEL_FLOW, "%s: start\n", "CREVOKE_Xml::MakePart2Data");
    int result = 0;
    m_strPart2.Clear();
    m_strPart2.m_nGrowBy = kGrowStep;

    wchar_t applicationDate[11];
    wchar_t applicationTime[9];
    FormatApplicationDate(strServerDate, applicationDate);
    FormatApplicationTime(strServerDate, applicationTime);

    const wchar_t* values[kPart2FieldCount];
    values[kFieldApplicationDate] = applicationDate;
    values[kFieldApplicationTime] = applicationTime;
    values[kFieldPerfCode] = lpCardOBJ->m_strPerfCode.m_lpData;
    values[kFieldPerfName] = lpCardOBJ->m_strPerfName.m_lpData;
    values[kFieldName] = lpCardOBJ->m_strName.m_lpData;
    values[kFieldAddress] = lpCardOBJ->m_strAddress.m_lpData;
    values[kFieldGender] = lpCardOBJ->m_strGender.m_lpData;
    values[kFieldBirth] = lpCardOBJ->m_strBirth.m_lpData;

    // "&", "<" and ">" in card data are written as references, so that a
    // value can neither break the document nor add markup to it.
    if (!AppendRows(m_strPart2, kRevokeXmlPart2Rows, kPart2RowCount, values, true)) {
        TraceLog(TRACE_LEVEL_ERROR, "m_strPart2.Append:メモリが不足しています。(%s:%d)\n", TRACE_HERE);
        result = 701;
    }
    TraceLog(TRACE_LEVEL_FLOW, "%s: end\n", "CREVOKE_Xml::MakePart2Data");
    return result;
}

int CREVOKE_Xml::MakePart3Data()
{
    TraceLog(TRACE_LEVEL_FLOW, "%s: start\n", "CREVOKE_Xml::MakePart3Data");
    int result = 0;
    if (!m_strPart3.SetData(kRevokeXmlPart3)) {
        TraceLog(TRACE_LEVEL_ERROR, "m_strPart3.SetData:メモリが不足しています。(%s:%d)\n", TRACE_HERE);
        result = 701;
    }
    TraceLog(TRACE_LEVEL_FLOW, "%s: end\n", "CREVOKE_Xml::MakePart3Data");
    return result;
}

int CREVOKE_Xml::MakePart4Data(HCRYPTHASH hHash)
{
    const char* const kName = "CREVOKE_Xml::MakePart4Data";
    TraceLog(TRACE_LEVEL_FLOW, "%s: start\n", kName);
    int result = 0;
    CTextBuffer strPart23;
    CTextBuffer strBase64Data;
    BYTE digest[kSha1Length];
    DWORD digestLength = kSha1Length;
    const char* strPart23UTF8 = NULL;
    HeapBlock base64;

    if (!strPart23.SetData(m_strPart2.m_lpData)) {
        TraceLog(TRACE_LEVEL_ERROR, "strPart23.SetData:メモリが不足しています。(%s:%d)\n", TRACE_HERE);
        result = 701;
    } else if (!strPart23.Append(m_strPart3.m_lpData)) {
        TraceLog(TRACE_LEVEL_ERROR, "strPart23.Append:メモリが不足しています。(%s:%d)\n", TRACE_HERE);
        result = 701;
    } else if ((strPart23UTF8 = strPart23.GetUTF8()) == NULL) {
        TraceLog(TRACE_LEVEL_ERROR, "strPart23UTF8:メモリが不足しています。(%s:%d)\n", TRACE_HERE);
        result = 701;
    } else if (!CryptHashData(hHash, reinterpret_cast<const BYTE*>(strPart23UTF8),
                              static_cast<DWORD>(strlen(strPart23UTF8)), 0)) {
        TraceWinError(GetLastError(), "CryptHashData", TRACE_HERE);
        result = 702;
    } else if (!CryptGetHashParam(hHash, HP_HASHVAL, digest, &digestLength, 0) || digestLength != kSha1Length) {
        TraceWinError(GetLastError(), "CryptGetHashParam", TRACE_HERE);
        result = 702;
    } else {
        base64.Reset(Base64Encode(kSha1Length, digest));
        if (base64.Get() == NULL) {
            TraceLog(TRACE_LEVEL_ERROR, "lpBase64Data:メモリが不足しています。(%s:%d)\n", TRACE_HERE);
            result = 701;
        } else if (!strBase64Data.SetData(static_cast<const char*>(base64.Get()))) {
            TraceLog(TRACE_LEVEL_ERROR, "strBase64Data.SetData:メモリが不足しています。(%s:%d)\n", TRACE_HERE);
            result = 701;
        } else {
            StripLineBreaks(strBase64Data);
            m_strPart4.Clear();
            m_strPart4.m_nGrowBy = kGrowStep;
            const wchar_t* values[1] = {strBase64Data.m_lpData};
            if (!AppendRows(m_strPart4, kRevokeXmlPart4Rows, kPart4RowCount, values, false)) {
                TraceLog(TRACE_LEVEL_ERROR, "m_strPart4.Append:メモリが不足しています。(%s:%d)\n", TRACE_HERE);
                result = 701;
            }
        }
    }
    TraceLog(TRACE_LEVEL_FLOW, "%s: end\n", kName);
    return result;
}

int CREVOKE_Xml::MakePart5Data()
{
    TraceLog(TRACE_LEVEL_FLOW, "%s: start\n", "CREVOKE_Xml::MakePart5Data");
    int result = 0;
    if (!m_strPart5.SetData(kRevokeXmlPart5)) {
        TraceLog(TRACE_LEVEL_ERROR, "m_strPart5.SetData:メモリが不足しています。(%s:%d)\n", TRACE_HERE);
        result = 701;
    }
    TraceLog(TRACE_LEVEL_FLOW, "%s: end\n", "CREVOKE_Xml::MakePart5Data");
    return result;
}

int CREVOKE_Xml::MakePart6Data(HCRYPTHASH hHash, const KEVOBinaryData* binaryData)
{
    const char* const kName = "CREVOKE_Xml::MakePart6Data";
    TraceLog(TRACE_LEVEL_FLOW, "%s: start\n", kName);
    int result = 0;
    CTextBuffer strSignDataBase64;
    CTextBuffer strCertDataBase64;
    HeapBlock lpSignData;
    HeapBlock lpSignDataNew;
    HeapBlock lpSignDataBase64;
    HeapBlock lpCertDataBase64;
    DWORD signLength = 0;

    const char* signedInfo = m_strPart4.GetUTF8();
    if (signedInfo == NULL) {
        TraceLog(TRACE_LEVEL_ERROR, "m_strPart4.GetUTF8:メモリが不足しています。(%s:%d)\n", TRACE_HERE);
        result = 701;
    } else if (!CryptHashData(hHash, reinterpret_cast<const BYTE*>(signedInfo),
                              static_cast<DWORD>(strlen(signedInfo)), 0)) {
        TraceWinError(GetLastError(), "CryptHashData", TRACE_HERE);
        result = 702;
    } else if (!CryptSignHashA(hHash, AT_SIGNATURE, NULL, 0, NULL, &signLength) || signLength == 0) {
        TraceWinError(GetLastError(), "CryptSignHash", TRACE_HERE);
        result = 702;
    } else if (lpSignData.Reset(malloc(signLength)), lpSignData.Get() == NULL) {
        TraceLog(TRACE_LEVEL_ERROR, "lpSignData:メモリが不足しています。(%s:%d)\n", TRACE_HERE);
        result = 701;
    } else if (!CryptSignHashA(hHash, AT_SIGNATURE, NULL, 0, static_cast<BYTE*>(lpSignData.Get()), &signLength) ||
               signLength == 0) {
        // Whatever the provider needs from the citizen (the PIN) it asks for
        // within this call; a cancelled prompt ends here too.
        TraceWinError(GetLastError(), "CryptSignHash", TRACE_HERE);
        result = 702;
    } else if (lpSignDataNew.Reset(malloc(signLength)), lpSignDataNew.Get() == NULL) {
        TraceLog(TRACE_LEVEL_ERROR, "lpSignDataNew:メモリが不足しています。(%s:%d)\n", TRACE_HERE);
        result = 701;
    } else {
        // The provider gives the signature least significant byte first;
        // XML Signature carries it big-endian.
        const BYTE* little = static_cast<const BYTE*>(lpSignData.Get());
        BYTE* big = static_cast<BYTE*>(lpSignDataNew.Get());
        for (DWORD i = 0; i < signLength; ++i)
            big[i] = little[signLength - 1 - i];

        lpSignDataBase64.Reset(Base64Encode(signLength, big));
        if (lpSignDataBase64.Get() == NULL) {
            TraceLog(TRACE_LEVEL_ERROR, "lpSignDataBase64:メモリが不足しています。(%s:%d)\n", TRACE_HERE);
            result = 701;
        } else if (!strSignDataBase64.SetData(static_cast<const char*>(lpSignDataBase64.Get()))) {
            TraceLog(TRACE_LEVEL_ERROR, "strSignDataBase64.SetData:メモリが不足しています。(%s:%d)\n", TRACE_HERE);
            result = 701;
        } else if (lpCertDataBase64.Reset(Base64Encode(binaryData->length, binaryData->data)),
                   lpCertDataBase64.Get() == NULL) {
            TraceLog(TRACE_LEVEL_ERROR, "lpCertDataBase64:メモリが不足しています。(%s:%d)\n", TRACE_HERE);
            result = 701;
        } else if (!strCertDataBase64.SetData(static_cast<const char*>(lpCertDataBase64.Get()))) {
            TraceLog(TRACE_LEVEL_ERROR, "strCertDataBase64.SetData:メモリが不足しています。(%s:%d)\n", TRACE_HERE);
            result = 701;
        } else {
            StripLineBreaks(strSignDataBase64);
            StripLineBreaks(strCertDataBase64);
            m_strPart6.Clear();
            m_strPart6.m_nGrowBy = kGrowStep;
            const wchar_t* values[2];
            values[kFieldSignature] = strSignDataBase64.m_lpData;
            values[kFieldCertificate] = strCertDataBase64.m_lpData;
            if (!AppendRows(m_strPart6, kRevokeXmlPart6Rows, kPart6RowCount, values, false)) {
                TraceLog(TRACE_LEVEL_ERROR, "m_strPart6.Append:メモリが不足しています。(%s:%d)\n", TRACE_HERE);
                result = 701;
            }
        }
    }
    TraceLog(TRACE_LEVEL_FLOW, "%s: end\n", kName);
    return result;
}

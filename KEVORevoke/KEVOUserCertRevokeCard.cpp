// The card step: the user certificate through the card's provider, its
// validity period and issuing prefecture through CryptoAPI, the holder's
// basic data through the service API library, and the validity check
// against the online counter's clock.
#include "KEVOUserCertRevokeCard.h"

#include <stdio.h>
#include <stdlib.h>

#include "CardContext.h"
#include "CardRules.h"
#include "KEVORevokeXmlText.h"  // MapProviderOpenError
#include "JavaRuntime.h"
#include "KEVOUserCertRevokeHttp.h"
#include "KevoSettings.h"
#include "Prefecture.h"
#include "RevokeHandles.h"
#include "TraceLog.h"

namespace {

const char kServiceLibraryFile[] = "KEVOServiceAPI.dll";
const DWORD kCertificateEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

// The service API library, loaded once from the install directory and kept
// for the rest of the process: the basic data it hands out stay valid until
// they are given back, and unloading a library that runs a Java VM is not
// safe. NULL with a code when it cannot be found.
HMODULE LoadServiceLibrary(int* code)
{
    char* path = NULL;
    int rc = KEVOGetServiceAPIPath(kServiceLibraryFile, &path);
    if (rc != 0) {
        TraceLog(TRACE_LEVEL_ERROR, "KEVOGetServiceAPIPath:エラーが発生しました。(%d)(%s:%d)\n", rc, TRACE_HERE);
        *code = rc;
        return NULL;
    }
    // The library imports jvm.dll: the Java runtime's own file, loaded by
    // full path first, is the one that import binds to. Without it the
    // library cannot load either, and the trace says so in the same words
    // whichever of the two failed (the search has written its own line).
    DWORD jvmError = 0;
    HMODULE library = NULL;
    if (kevojava::LoadToolsJvm(&jvmError) != NULL)
        library = LoadLibraryA(path);
    free(path);
    if (library == NULL) {
        TraceLog(TRACE_LEVEL_ERROR, "LoadLibrary:エラーが発生しました。(%s:%d)\n", TRACE_HERE);
        *code = -104;
    }
    return library;
}

// Copies the basic data into the card object: 0 or -102.
int TakeBasicData(CREVOKE_Card& card, const KEVOBasicData& data)
{
    // On the Windows target a UTF-16 unit of the record is a wchar_t.
    if (!card.m_strAddress.SetData(reinterpret_cast<const wchar_t*>(data.address))) {
        TraceLog(TRACE_LEVEL_ERROR, "m_strAddress.SetData:エラーが発生しました。(%s:%d)\n", TRACE_HERE);
        return -102;
    }
    if (!card.m_strBirth.SetData(data.dateOfBirth)) {
        TraceLog(TRACE_LEVEL_ERROR, "m_strBirth.SetData:エラーが発生しました。(%s:%d)\n", TRACE_HERE);
        return -102;
    }
    if (!card.m_strName.SetData(reinterpret_cast<const wchar_t*>(data.name))) {
        TraceLog(TRACE_LEVEL_ERROR, "m_strName.SetData:エラーが発生しました。(%s:%d)\n", TRACE_HERE);
        return -102;
    }
    if (!card.m_strGender.SetData(GenderText(data.gender)))
        return -102;
    return 0;
}

// Reads the connection settings, fetches the counter's clock and checks the
// validity period against it. Its own function so that the counter client's
// release lines are written before the card step goes on.
int CheckWithServerClock(CREVOKE_Card& card)
{
    CREVOKE_Http HttpOBJ;
    CTextBuffer strServerDate;
    int result = HttpOBJ.setSettingInfo();
    if (result != 0) {
        TraceLog(TRACE_LEVEL_ERROR, "HttpOBJ.setSettingInfo:エラーが発生しました。(%d)(%s:%d)\n", result, TRACE_HERE);
    } else if ((result = HttpOBJ.getServerDate(&strServerDate, &HttpOBJ.m_SettingInfo)) != 0) {
        TraceLog(TRACE_LEVEL_ERROR, "HttpOBJ.getServerDate:エラーが発生しました。(%d)(%s:%d)\n", result, TRACE_HERE);
    } else {
        result = card.CheckValidity(strServerDate.GetAnsi());
    }
    return result;
}

}  // namespace

int GetUserCertData(KEVOBinaryData* binaryData)
{
    TraceScope scope("GetUserCertData");
    if (binaryData == NULL) {
        TraceLog(TRACE_LEVEL_ERROR, "usercertdata:予期せぬエラーが発生しました。(%s:%d)\n", TRACE_HERE);
        return -101;
    }
    // Released in reverse order of acquisition: the key first.
    ProviderContext provider;
    KeyHandle key;
    // The provider asks the citizen for whatever it needs (the PIN) inside
    // these calls; a cancelled prompt comes back as the opening's error.
    if (!cardcontext::Acquire(provider.Out())) {
        DWORD error = GetLastError();
        provider.Forget();
        TraceWinError(error, "CryptAcquireContext", TRACE_HERE);
        return MapProviderOpenError(error);
    }
    if (!CryptGetUserKey(provider.Get(), AT_SIGNATURE, key.Out())) {
        key.Forget();
        TraceWinError(GetLastError(), "CryptGetUserKey", TRACE_HERE);
        return -105;
    }
    DWORD length = 0;
    if (!CryptGetKeyParam(key.Get(), KP_CERTIFICATE, NULL, &length, 0)) {
        TraceWinError(GetLastError(), "CryptGetKeyParam", TRACE_HERE);
        return -105;
    }
    HeapBlock certificate(malloc(length > 0 ? length : 1));
    if (certificate.Get() == NULL) {
        TraceLog(TRACE_LEVEL_ERROR, "malloc:メモリが不足しています。(%s:%d)\n", TRACE_HERE);
        return 701;
    }
    if (!CryptGetKeyParam(key.Get(), KP_CERTIFICATE, static_cast<BYTE*>(certificate.Get()), &length, 0)) {
        TraceWinError(GetLastError(), "CryptGetKeyParam", TRACE_HERE);
        return -105;
    }
    // A certificate from an earlier card step is replaced, not leaked.
    free(binaryData->data);
    binaryData->data = static_cast<unsigned char*>(certificate.Release());
    binaryData->length = length;
    return 0;
}

int CREVOKE_Card::GetCardData(KEVOBinaryData* binaryData)
{
    TraceScope scope("CREVOKE_Card::GetCardData");
    int result = 0;
    if (binaryData == NULL) {
        TraceLog(TRACE_LEVEL_ERROR, "binaryData:予期せぬエラーが発生しました。(%s:%d)\n", TRACE_HERE);
        result = -101;
    } else if ((result = GetCertData(binaryData)) != 0) {
        TraceLog(TRACE_LEVEL_ERROR, "GetCertData:エラーが発生しました。(%s:%d)\n", TRACE_HERE);
    } else {
        HMODULE library = LoadServiceLibrary(&result);
        PFN_KEVOGetBasicData getBasicData = NULL;
        if (library != NULL) {
            getBasicData = reinterpret_cast<PFN_KEVOGetBasicData>(
                reinterpret_cast<void*>(GetProcAddress(library, "KEVOGetBasicData")));
            if (getBasicData == NULL) {
                TraceLog(TRACE_LEVEL_ERROR, "GetProcAddress:エラーが発生しました。(%s:%d)\n", TRACE_HERE);
                result = -104;
            }
        }
        if (getBasicData != NULL) {
            KEVOBasicData basicData;
            ZeroMemory(&basicData, sizeof basicData);
            result = getBasicData(binaryData, &basicData);
            if (result != 0) {
                TraceLog(TRACE_LEVEL_ERROR, "fpGetBasicData:エラーが発生しました。(%d)(%s:%d)\n", result, TRACE_HERE);
                // The library refused the certificate itself.
                if (result == -101 || result == -103)
                    result = 705;
            } else {
                result = TakeBasicData(*this, basicData);
                if (result == 0)
                    result = CheckWithServerClock(*this);
                // The library allocated the strings; only it releases them.
                PFN_KEVOFreeBasicData freeBasicData = reinterpret_cast<PFN_KEVOFreeBasicData>(
                    reinterpret_cast<void*>(GetProcAddress(library, "KEVOFreeBasicData")));
                if (freeBasicData == NULL)
                    TraceLog(TRACE_LEVEL_ERROR, "GetProcAddress:エラーが発生しました。(%s:%d)\n", TRACE_HERE);
                else
                    freeBasicData(&basicData);
            }
        }
    }
    TraceLog(TRACE_LEVEL_FLOW, "リターン値:%d\n", result);
    return result;
}

int CREVOKE_Card::GetCertData(KEVOBinaryData* binaryData)
{
    TraceScope scope("CREVOKE_Card::GetCertData");
    int result = GetUserCertData(binaryData);
    if (result != 0) {
        TraceLog(TRACE_LEVEL_ERROR, "GetUserCertData:エラーが発生しました。(%s:%d)\n", TRACE_HERE);
        TraceLog(TRACE_LEVEL_FLOW, "リターン値:%d\n", result);
        return result;
    }
    CertificateContext certificate(
        CertCreateCertificateContext(kCertificateEncoding, binaryData->data, binaryData->length));
    if (certificate.Get() == NULL) {
        TraceWinError(GetLastError(), "CertCreateCertificateContext", TRACE_HERE);
        result = 705;
    } else if (!FileTimeToSystemTime(&certificate.Get()->pCertInfo->NotBefore, &m_stNotBefore) ||
               !FileTimeToSystemTime(&certificate.Get()->pCertInfo->NotAfter, &m_stNotAfter)) {
        // Certificate times are UTC and stay so: the counter's clock is UTC.
        TraceLog(TRACE_LEVEL_ERROR, "FileTimeToSystemTime:エラーが発生しました。(%s:%d)\n", TRACE_HERE);
        result = 705;
    } else if ((result = GetIssuerData(certificate.Get())) == 0) {
        const int code = PrefectureCodeForIssuer(m_strIssuerData.m_lpData);
        char codeText[4];
        snprintf(codeText, sizeof codeText, "%02d", code);
        if (!m_strPerfCode.SetData(codeText)) {
            TraceLog(TRACE_LEVEL_ERROR, "m_strPerfCode.SetData:エラーが発生しました。(%s:%d)\n", TRACE_HERE);
            result = -102;
        } else if (!m_strPerfName.SetData(PrefectureName(code))) {
            TraceLog(TRACE_LEVEL_ERROR, "m_strPerfName.SetData:エラーが発生しました。(%s:%d)\n", TRACE_HERE);
            result = -102;
        }
    }
    TraceLog(TRACE_LEVEL_FLOW, "リターン値:%d\n", result);
    return result;
}

int CREVOKE_Card::GetIssuerData(PCCERT_CONTEXT certificate)
{
    TraceScope scope("CREVOKE_Card::GetIssuerData");
    int result = 0;
    // The wide form keeps issuer names in any script; only the ASCII keys
    // matter for the prefecture, and the text is kept as it reads.
    PCERT_NAME_BLOB issuer = &certificate->pCertInfo->Issuer;
    DWORD size = CertNameToStrW(kCertificateEncoding, issuer, CERT_SIMPLE_NAME_STR, NULL, 0);
    HeapBlock text;
    if (size == 0) {
        TraceLog(TRACE_LEVEL_ERROR, "CertNameToStr:エラーが発生しました。(%s:%d)\n", TRACE_HERE);
        result = 705;
    } else if (text.Reset(malloc(size * sizeof(wchar_t))), text.Get() == NULL) {
        TraceLog(TRACE_LEVEL_ERROR, "malloc:メモリが不足しています。(%s:%d)\n", TRACE_HERE);
        result = -102;
    } else if (CertNameToStrW(kCertificateEncoding, issuer, CERT_SIMPLE_NAME_STR, static_cast<wchar_t*>(text.Get()),
                              size) == 0) {
        TraceLog(TRACE_LEVEL_ERROR, "CertNameToStr.SetData:エラーが発生しました。(%s:%d)\n", TRACE_HERE);
        result = -102;
    } else if (!m_strIssuerData.SetData(static_cast<const wchar_t*>(text.Get()))) {
        TraceLog(TRACE_LEVEL_ERROR, "m_strIssuerData.SetData:エラーが発生しました。(%s:%d)\n", TRACE_HERE);
        result = -102;
    } else {
        m_strIssuerData.ToLower();
    }
    TraceLog(TRACE_LEVEL_FLOW, "リターン値:%d\n", result);
    return result;
}

int CREVOKE_Card::CheckValidity(const char* strServerDate)
{
    TraceScope scope("CREVOKE_Card::CheckValidity");
    char BeforeDate[kValidityDateSize];
    char AfterDate[kValidityDateSize];
    FormatValidityDate(BeforeDate, m_stNotBefore.wYear, m_stNotBefore.wMonth, m_stNotBefore.wDay,
                       m_stNotBefore.wHour, m_stNotBefore.wMinute, m_stNotBefore.wSecond);
    FormatValidityDate(AfterDate, m_stNotAfter.wYear, m_stNotAfter.wMonth, m_stNotAfter.wDay, m_stNotAfter.wHour,
                       m_stNotAfter.wMinute, m_stNotAfter.wSecond);
    TraceLog(TRACE_LEVEL_FLOW, "BeforeDate:%s\n", BeforeDate);
    TraceLog(TRACE_LEVEL_FLOW, "AfterDate:%s\n", AfterDate);
    // A server date that could not be read as narrow text cannot be compared.
    if (strServerDate == NULL) {
        TraceLog(TRACE_LEVEL_ERROR, "strServerDate:予期せぬエラーが発生しました。(%s:%d)\n", TRACE_HERE);
        return -101;
    }
    const int result = ValidityCode(BeforeDate, AfterDate, strServerDate);
    if (result == 709)
        TraceLog(TRACE_LEVEL_ERROR,
                 "strServerDate:電子証明書の有効期限開始の日付が未来の日時になっています。(%s:%d)\n", TRACE_HERE);
    else if (result == 708)
        TraceLog(TRACE_LEVEL_ERROR, "strServerDate:電子証明書の有効期限が切れています。(%s:%d)\n", TRACE_HERE);
    return result;
}

// The revocation tool's card object: the applicant's data, the issuing
// prefecture and the certificate's validity period, as the card step fills
// them and the wizard and the request document read them.
#ifndef KEVO_USERCERTREVOKECARD_H
#define KEVO_USERCERTREVOKECARD_H

#include <windows.h>
#include <wincrypt.h>

#include "KEVOServiceAPI.h"  // KEVOBinaryData, the certificate record
#include "TextBuffer.h"

#ifndef KEVO_CARD_PROVIDER_NAME
// The card's CryptoAPI provider, opened by name with PROV_RSA_FULL.
#define KEVO_CARD_PROVIDER_NAME "KEVO Crypto Service Provider"
#endif

class CREVOKE_Card {
public:
    CREVOKE_Card()
    {
        ZeroMemory(&m_stNotBefore, sizeof m_stNotBefore);
        ZeroMemory(&m_stNotAfter, sizeof m_stNotAfter);
    }
    CREVOKE_Card(const CREVOKE_Card&) = delete;
    CREVOKE_Card& operator=(const CREVOKE_Card&) = delete;

    // The card step: reads the certificate from the card into binaryData,
    // the holder's basic data through the service API library, and checks
    // the validity period against the counter's clock. 0, or -101, -102,
    // -104, -105, 700, 701, 703, 704, 705, 706, 708, 709, or a code of the
    // library or the settings reader passed through. After a failure the
    // members already reached keep their new values.
    int GetCardData(KEVOBinaryData* binaryData);
    // Certificate, validity period, issuer and prefecture.
    int GetCertData(KEVOBinaryData* binaryData);
    // Issuer name as lower-cased text into m_strIssuerData: 0, 705 or -102.
    int GetIssuerData(PCCERT_CONTEXT certificate);
    // strServerDate: 14 digits YYYYMMDDhhmmss (UTC). 0 inside the validity
    // period (both ends included), 709 before it starts, 708 after it ended.
    int CheckValidity(const char* strServerDate);

    // Members in this order; C++ destroys them in reverse, so m_strIssuerData
    // is released first and m_strAddress last. Nothing trims, escapes or
    // normalises them after the card step has set them.
    CTextBuffer m_strAddress;     // holder's address, from the basic data
    CTextBuffer m_strBirth;       // nine-character birth-date code, from the basic data
    CTextBuffer m_strGender;      // "男", "女" or "不明"
    CTextBuffer m_strName;        // holder's name, from the basic data
    CTextBuffer m_strPerfName;    // issuing prefecture's name, or "不明"
    CTextBuffer m_strPerfCode;    // "01" to "47", or "00" when the issuer names no prefecture
    CTextBuffer m_strIssuerData;  // certificate's issuer name, lower-cased
    SYSTEMTIME m_stNotBefore;     // start of validity, UTC
    SYSTEMTIME m_stNotAfter;      // end of validity, UTC
};

// Reads the user certificate (KP_CERTIFICATE of the signature key) from the
// card's provider into a new allocation in binaryData: 0, or -101, -102,
// -105, 700, 701, 703, 704. binaryData is untouched on failure.
int GetUserCertData(KEVOBinaryData* binaryData);

#endif

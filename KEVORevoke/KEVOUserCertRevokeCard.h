// The revocation tool's card object: the applicant's data, the issuing
// prefecture and the certificate's validity period, as the card step fills
// them and the wizard and the request document read them.
#ifndef KEVO_USERCERTREVOKECARD_H
#define KEVO_USERCERTREVOKECARD_H

#include <windows.h>

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

#endif

// The revocation request document: fixed text fragments carrying the
// applicant's data and an enveloped XML signature (RSA with SHA-1) made with
// the card's key through its CryptoAPI provider.
#ifndef KEVO_USERCERTREVOKEXML_H
#define KEVO_USERCERTREVOKEXML_H

#include <windows.h>
#include <wincrypt.h>

#include "KEVOUserCertRevokeCard.h"
#include "TextBuffer.h"

class CREVOKE_Xml {
public:
    CREVOKE_Xml() {}
    CREVOKE_Xml(const CREVOKE_Xml&) = delete;
    CREVOKE_Xml& operator=(const CREVOKE_Xml&) = delete;

    // Builds and signs the whole document into the seven members.
    // strServerDate: the counter's date, 14 decimal digits YYYYMMDDhhmmss (UTC).
    // Returns 0, or -101 (an input missing or malformed, or a card value that
    // XML cannot carry; nothing is signed then), -102 / -105 / 700 /
    // 703 / 704 (opening the provider), 701 (memory), 702 (hashing/signing).
    // After a failure the members hold whatever the steps that ran left, and
    // m_strXML must not be sent.
    int MakeXML(const CREVOKE_Card* lpCardOBJ, const KEVOBinaryData* binaryData, const wchar_t* strServerDate);
    int MakeXML(const CREVOKE_Card* lpCardOBJ, const KEVOBinaryData* binaryData, const CTextBuffer* strServerDate);

    // In this order; C++ destroys them in reverse (m_strXML first).
    CTextBuffer m_strPart1;  // the XML declaration
    CTextBuffer m_strPart2;  // applicant data up to the four spaces before <Signature
    CTextBuffer m_strPart3;  // the closing tags after </Signature>
    CTextBuffer m_strPart4;  // <SignedInfo> ... </SignedInfo>, no line feed after it
    CTextBuffer m_strPart5;  // the Signature start tag
    CTextBuffer m_strPart6;  // line feed after SignedInfo up to </Signature>
    CTextBuffer m_strXML;    // the whole document (send its GetUTF8)

private:
    int MakePart1Data();
    int MakePart2Data(const wchar_t* strServerDate, const CREVOKE_Card* lpCardOBJ);
    int MakePart3Data();
    int MakePart4Data(HCRYPTHASH hHash);
    int MakePart5Data();
    int MakePart6Data(HCRYPTHASH hHash, const KEVOBinaryData* binaryData);
};

#endif

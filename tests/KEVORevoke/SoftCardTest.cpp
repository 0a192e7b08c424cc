// The software card as CryptoAPI callers see it: opened by name, the
// certificate of the signature key, SHA-1 hashes, signatures least
// significant byte first, the test switches, the PIN prompt and the card
// folder a test names.
#include <gtest/gtest.h>

#include <windows.h>
#include <wincrypt.h>

#include <stdio.h>

#include <string>
#include <vector>

#include "KevoTestSupport.h"

using namespace kevotest;

namespace {

const char kProviderName[] = "KEVO Crypto Service Provider";
const wchar_t kProviderKey[] = L"Software\\Microsoft\\Cryptography\\Defaults\\Provider\\KEVO Crypto Service Provider";
const wchar_t kPinTitle[] = L"ICカード暗証番号入力";
const int kPinEdit = 1001;
const DWORD kCancelled = 0x8010006EUL;  // SCARD_W_CANCELLED_BY_USER
const DWORD kWrongPin = 0x8010006BUL;   // SCARD_W_WRONG_CHV
const DWORD kNoCard = 0x8010000CUL;     // SCARD_E_NO_SMARTCARD

void ClearSwitch(const wchar_t* name)
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kProviderKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueW(key, name);
        RegCloseKey(key);
    }
}


// Answers the card's PIN prompt of this process: types pin and presses OK,
// or presses Cancel when pin is NULL (see DialogAnswerer).
class PromptAnswerer : public DialogAnswerer {
public:
    explicit PromptAnswerer(const wchar_t* pin) : DialogAnswerer(kPinTitle, GetCurrentProcessId(), kPinEdit, pin) {}
    bool PasswordBox() const { return (EditStyle() & ES_PASSWORD) != 0; }
};

std::string Stamp(const SYSTEMTIME& t)
{
    char text[32];
    snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
             t.wSecond);
    return text;
}

// True when signature (least significant byte first) is the signature of
// "abc" by the key of the DER certificate.
bool SignsAbcFor(const std::string& certificate, const std::vector<BYTE>& signature)
{
    HCRYPTPROV verifier = 0;
    if (!CryptAcquireContextA(&verifier, NULL, NULL, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT))
        return false;
    bool ok = false;
    PCCERT_CONTEXT cert = CertCreateCertificateContext(
        X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(certificate.data()), static_cast<DWORD>(certificate.size()));
    HCRYPTKEY publicKey = 0;
    HCRYPTHASH check = 0;
    if (cert != NULL &&
        CryptImportPublicKeyInfo(verifier, X509_ASN_ENCODING, &cert->pCertInfo->SubjectPublicKeyInfo, &publicKey) &&
        CryptCreateHash(verifier, CALG_SHA1, 0, 0, &check) &&
        CryptHashData(check, reinterpret_cast<const BYTE*>("abc"), 3, 0))
        ok = CryptVerifySignatureA(check, signature.data(), static_cast<DWORD>(signature.size()), publicKey, NULL,
                                   0) != FALSE;
    if (check != 0)
        CryptDestroyHash(check);
    if (publicKey != 0)
        CryptDestroyKey(publicKey);
    if (cert != NULL)
        CertFreeCertificateContext(cert);
    CryptReleaseContext(verifier, 0);
    return ok;
}

class SoftCardTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetSoftCardSwitches();
        certificate_ = ReadBytes(WinePath(KEVO_SOFTCARD_DIR) + L"\\KEVOSoftCard.cer");
        ASSERT_FALSE(certificate_.empty());
    }
    void TearDown() override
    {
        Close();
        ResetSoftCardSwitches();
    }
    bool Open() { return CryptAcquireContextA(&prov_, NULL, kProviderName, PROV_RSA_FULL, 0) != FALSE; }
    void Close()
    {
        if (prov_ != 0)
            CryptReleaseContext(prov_, 0);
        prov_ = 0;
    }
    // The certificate of the opened card's signature key.
    std::string CardCertificate()
    {
        HCRYPTKEY key = 0;
        std::string bytes;
        DWORD length = 0;
        if (CryptGetUserKey(prov_, AT_SIGNATURE, &key) && CryptGetKeyParam(key, KP_CERTIFICATE, NULL, &length, 0)) {
            bytes.resize(length);
            if (!CryptGetKeyParam(key, KP_CERTIFICATE, reinterpret_cast<BYTE*>(&bytes[0]), &length, 0))
                bytes.clear();
        }
        if (key != 0)
            CryptDestroyKey(key);
        return bytes;
    }

    // Signature of "abc" through the card, as the provider returns it.
    std::vector<BYTE> SignAbc(DWORD* error)
    {
        std::vector<BYTE> signature;
        HCRYPTHASH hash = 0;
        *error = 0;
        if (!CryptCreateHash(prov_, CALG_SHA1, 0, 0, &hash)) {
            *error = GetLastError();
            return signature;
        }
        DWORD length = 0;
        if (CryptHashData(hash, reinterpret_cast<const BYTE*>("abc"), 3, 0) &&
            CryptSignHashA(hash, AT_SIGNATURE, NULL, 0, NULL, &length)) {
            signature.resize(length);
            if (!CryptSignHashA(hash, AT_SIGNATURE, NULL, 0, signature.data(), &length)) {
                *error = GetLastError();
                signature.clear();
            }
        } else {
            *error = GetLastError();
        }
        CryptDestroyHash(hash);
        return signature;
    }

    std::string certificate_;
    HCRYPTPROV prov_ = 0;
};

TEST_F(SoftCardTest, ServesTheCertificateOfTheSignatureKey)
{
    ASSERT_TRUE(Open()) << std::hex << GetLastError();
    char name[64] = {0};
    DWORD nameLength = sizeof name;
    ASSERT_TRUE(CryptGetProvParam(prov_, PP_NAME, reinterpret_cast<BYTE*>(name), &nameLength, 0));
    EXPECT_STREQ(kProviderName, name);

    HCRYPTKEY key = 0;
    ASSERT_TRUE(CryptGetUserKey(prov_, AT_SIGNATURE, &key));
    DWORD length = 0;
    ASSERT_TRUE(CryptGetKeyParam(key, KP_CERTIFICATE, NULL, &length, 0));
    EXPECT_EQ(certificate_.size(), length);
    std::vector<BYTE> small(length / 2);
    DWORD smallLength = static_cast<DWORD>(small.size());
    EXPECT_FALSE(CryptGetKeyParam(key, KP_CERTIFICATE, small.data(), &smallLength, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_MORE_DATA), GetLastError());
    std::vector<BYTE> bytes(length);
    ASSERT_TRUE(CryptGetKeyParam(key, KP_CERTIFICATE, bytes.data(), &length, 0));
    EXPECT_EQ(certificate_, std::string(bytes.begin(), bytes.end()));
    EXPECT_TRUE(CryptDestroyKey(key));

    // The card holds a signature key only.
    EXPECT_FALSE(CryptGetUserKey(prov_, AT_KEYEXCHANGE, &key));
    EXPECT_EQ(static_cast<DWORD>(NTE_NO_KEY), GetLastError());

    // The certificate names a prefecture in its issuer.
    PCCERT_CONTEXT cert = CertCreateCertificateContext(X509_ASN_ENCODING, bytes.data(), length);
    ASSERT_NE(nullptr, cert);
    char issuer[512] = {0};
    CertNameToStrA(X509_ASN_ENCODING, &cert->pCertInfo->Issuer, CERT_SIMPLE_NAME_STR, issuer, sizeof issuer);
    EXPECT_NE(std::string::npos, std::string(issuer).find("Tokyo-to")) << issuer;
    CertFreeCertificateContext(cert);
}

TEST_F(SoftCardTest, HashesSha1AndSignsLeastSignificantByteFirst)
{
    ASSERT_TRUE(Open()) << std::hex << GetLastError();
    HCRYPTHASH hash = 0;
    ASSERT_TRUE(CryptCreateHash(prov_, CALG_SHA1, 0, 0, &hash));
    ASSERT_TRUE(CryptHashData(hash, reinterpret_cast<const BYTE*>("abc"), 3, 0));
    BYTE digest[20];
    DWORD digestLength = sizeof digest;
    ASSERT_TRUE(CryptGetHashParam(hash, HP_HASHVAL, digest, &digestLength, 0));
    ASSERT_EQ(20u, digestLength);
    // FIPS 180 test vector for "abc".
    const BYTE expected[20] = {0xa9, 0x99, 0x3e, 0x36, 0x47, 0x06, 0x81, 0x6a, 0xba, 0x3e,
                               0x25, 0x71, 0x78, 0x50, 0xc2, 0x6c, 0x9c, 0xd0, 0xd8, 0x9d};
    EXPECT_EQ(0, memcmp(expected, digest, 20));
    CryptDestroyHash(hash);

    DWORD error = 0;
    std::vector<BYTE> signature = SignAbc(&error);
    ASSERT_EQ(256u, signature.size()) << std::hex << error;

    EXPECT_TRUE(SignsAbcFor(certificate_, signature));
    std::vector<BYTE> reversed(signature.rbegin(), signature.rend());
    EXPECT_FALSE(SignsAbcFor(certificate_, reversed));

    // PKCS #1 v1.5 signatures are deterministic.
    EXPECT_EQ(signature, SignAbc(&error));
}

TEST_F(SoftCardTest, OpenSwitchFailsWithTheGivenCode)
{
    const DWORD codes[] = {0x8010006EUL, 0x8010006CUL, 0x80100010UL, 0x8009000EUL, 8UL};
    for (DWORD code : codes) {
        SetDword(HKEY_LOCAL_MACHINE, kProviderKey, L"SoftCardFailOpen", code);
        EXPECT_FALSE(Open());
        EXPECT_EQ(code, GetLastError());
    }
    ClearSwitch(L"SoftCardFailOpen");
    EXPECT_TRUE(Open());
}

TEST_F(SoftCardTest, SignSwitchFailsOnlyTheSigningItself)
{
    ASSERT_TRUE(Open());
    SetDword(HKEY_LOCAL_MACHINE, kProviderKey, L"SoftCardFailSign", 0x8010006EUL);
    HCRYPTHASH hash = 0;
    ASSERT_TRUE(CryptCreateHash(prov_, CALG_SHA1, 0, 0, &hash));
    ASSERT_TRUE(CryptHashData(hash, reinterpret_cast<const BYTE*>("abc"), 3, 0));
    // The length query needs no PIN; the signing does, and is cancelled.
    DWORD length = 0;
    ASSERT_TRUE(CryptSignHashA(hash, AT_SIGNATURE, NULL, 0, NULL, &length));
    std::vector<BYTE> signature(length);
    EXPECT_FALSE(CryptSignHashA(hash, AT_SIGNATURE, NULL, 0, signature.data(), &length));
    EXPECT_EQ(0x8010006EUL, GetLastError());
    CryptDestroyHash(hash);

    ClearSwitch(L"SoftCardFailSign");
    DWORD error = 0;
    EXPECT_EQ(256u, SignAbc(&error).size()) << std::hex << error;
}

TEST_F(SoftCardTest, PinPromptAtOpeningAnswersAsACardDoes)
{
    struct Case {
        const char* expectedPin;  // SoftCardPin; NULL: absent ("1234")
        const wchar_t* typed;     // NULL: Cancel
        DWORD error;              // 0: opened
    };
    const Case cases[] = {
        {NULL, L"1234", 0},
        {NULL, L"0000", kWrongPin},
        {NULL, NULL, kCancelled},
        {"98765432", L"98765432", 0},
    };
    SetDword(HKEY_LOCAL_MACHINE, kProviderKey, L"SoftCardPinPrompt", 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.expectedPin ? c.expectedPin : "default") << " / "
                                        << (c.typed ? Utf8(c.typed) : "Cancel"));
        if (c.expectedPin != NULL)
            SetString(HKEY_LOCAL_MACHINE, kProviderKey, L"SoftCardPin", c.expectedPin);
        else
            ClearSwitch(L"SoftCardPin");
        PromptAnswerer answerer(c.typed);
        bool opened = Open();
        DWORD error = opened ? 0 : GetLastError();
        answerer.Stop();
        EXPECT_TRUE(answerer.Seen());
        EXPECT_TRUE(answerer.PasswordBox());
        EXPECT_EQ(c.error, error) << std::hex << error;
        if (opened) {
            EXPECT_EQ(certificate_, CardCertificate());
        }
        Close();
    }
}

TEST_F(SoftCardTest, PinPromptAtSigningAsksForTheSignatureOnly)
{
    ASSERT_TRUE(Open());
    DWORD error = 0;
    std::vector<BYTE> reference = SignAbc(&error);
    ASSERT_EQ(256u, reference.size()) << std::hex << error;
    Close();

    SetDword(HKEY_LOCAL_MACHINE, kProviderKey, L"SoftCardPinPrompt", 2);
    {
        PromptAnswerer watchdog(NULL);
        ASSERT_TRUE(Open()) << std::hex << GetLastError();
        watchdog.Stop();
        EXPECT_FALSE(watchdog.Seen());
    }
    struct Case {
        const wchar_t* typed;  // NULL: Cancel
        DWORD error;
    };
    const Case cases[] = {{L"1234", 0}, {L"4321", kWrongPin}, {NULL, kCancelled}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed ? Utf8(c.typed) : "Cancel");
        HCRYPTHASH hash = 0;
        ASSERT_TRUE(CryptCreateHash(prov_, CALG_SHA1, 0, 0, &hash));
        ASSERT_TRUE(CryptHashData(hash, reinterpret_cast<const BYTE*>("abc"), 3, 0));
        DWORD length = 0;
        {
            PromptAnswerer watchdog(NULL);
            EXPECT_TRUE(CryptSignHashA(hash, AT_SIGNATURE, NULL, 0, NULL, &length));
            watchdog.Stop();
            EXPECT_FALSE(watchdog.Seen());
        }
        std::vector<BYTE> signature(length);
        PromptAnswerer answerer(c.typed);
        BOOL signed_ = CryptSignHashA(hash, AT_SIGNATURE, NULL, 0, signature.data(), &length);
        DWORD signError = signed_ ? 0 : GetLastError();
        answerer.Stop();
        EXPECT_TRUE(answerer.Seen());
        EXPECT_EQ(c.error, signError) << std::hex << signError;
        if (signed_) {
            EXPECT_EQ(reference, signature);
        }
        CryptDestroyHash(hash);
    }
}

TEST_F(SoftCardTest, SoftCardDirNamesTheCardFolder)
{
    // A card made at test time: Kanagawa-ken, valid 2010-04-01 00:00:00 to
    // 2030-12-31 23:59:59 UTC. The value has no trailing backslash.
    std::wstring folder = WinePath(KEVO_SOFTCARD_CARDS_DIR "/kanagawa");
    std::string expected = ReadBytes(folder + L"\\KEVOSoftCard.cer");
    ASSERT_FALSE(expected.empty());
    ASSERT_NE(certificate_, expected);
    SetString(HKEY_LOCAL_MACHINE, kProviderKey, L"SoftCardDir", ToCp932(folder));
    ASSERT_TRUE(Open()) << std::hex << GetLastError();
    std::string served = CardCertificate();
    EXPECT_EQ(expected, served);
    PCCERT_CONTEXT cert = CertCreateCertificateContext(
        X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(served.data()), static_cast<DWORD>(served.size()));
    ASSERT_NE(nullptr, cert);
    char issuer[512] = {0};
    CertNameToStrA(X509_ASN_ENCODING, &cert->pCertInfo->Issuer, CERT_SIMPLE_NAME_STR, issuer, sizeof issuer);
    EXPECT_NE(std::string::npos, std::string(issuer).find("Kanagawa-ken")) << issuer;
    SYSTEMTIME before, after;
    ASSERT_TRUE(FileTimeToSystemTime(&cert->pCertInfo->NotBefore, &before));
    ASSERT_TRUE(FileTimeToSystemTime(&cert->pCertInfo->NotAfter, &after));
    EXPECT_EQ("2010-04-01 00:00:00", Stamp(before));
    EXPECT_EQ("2030-12-31 23:59:59", Stamp(after));
    CertFreeCertificateContext(cert);
    // The key of that folder signs.
    DWORD error = 0;
    EXPECT_TRUE(SignsAbcFor(expected, SignAbc(&error))) << std::hex << error;
    Close();

    // A folder without a card: no card, and no PIN prompt before that.
    std::wstring empty = MakeScratchDir(L"nocard");
    SetString(HKEY_LOCAL_MACHINE, kProviderKey, L"SoftCardDir", ToCp932(empty));
    SetDword(HKEY_LOCAL_MACHINE, kProviderKey, L"SoftCardPinPrompt", 1);
    {
        PromptAnswerer watchdog(NULL);
        EXPECT_FALSE(Open());
        EXPECT_EQ(kNoCard, GetLastError());
        watchdog.Stop();
        EXPECT_FALSE(watchdog.Seen());
    }
    RemoveTree(empty);

    // Without the value the card is the one next to the DLL again.
    ClearSwitch(L"SoftCardDir");
    ClearSwitch(L"SoftCardPinPrompt");
    ASSERT_TRUE(Open());
    EXPECT_EQ(certificate_, CardCertificate());
}

}  // namespace

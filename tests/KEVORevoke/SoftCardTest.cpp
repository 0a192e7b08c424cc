// The software card as CryptoAPI callers see it: opened by name, the
// certificate of the signature key, SHA-1 hashes, signatures least
// significant byte first, and the test switches.
#include <gtest/gtest.h>

#include <windows.h>
#include <wincrypt.h>

#include <string>
#include <vector>

#include "KevoTestSupport.h"

using namespace kevotest;

namespace {

const char kProviderName[] = "KEVO Crypto Service Provider";
const wchar_t kProviderKey[] = L"Software\\Microsoft\\Cryptography\\Defaults\\Provider\\KEVO Crypto Service Provider";

void ClearSwitch(const wchar_t* name)
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kProviderKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueW(key, name);
        RegCloseKey(key);
    }
}

class SoftCardTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ClearSwitch(L"SoftCardFailOpen");
        ClearSwitch(L"SoftCardFailSign");
        certificate_ = ReadBytes(WinePath(KEVO_SOFTCARD_DIR) + L"\\KEVOSoftCard.cer");
        ASSERT_FALSE(certificate_.empty());
    }
    void TearDown() override
    {
        if (prov_ != 0)
            CryptReleaseContext(prov_, 0);
        ClearSwitch(L"SoftCardFailOpen");
        ClearSwitch(L"SoftCardFailSign");
    }
    bool Open() { return CryptAcquireContextA(&prov_, NULL, kProviderName, PROV_RSA_FULL, 0) != FALSE; }

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

    // Verify with the certificate's public key in a context of its own.
    HCRYPTPROV verifier = 0;
    ASSERT_TRUE(CryptAcquireContextA(&verifier, NULL, NULL, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT));
    PCCERT_CONTEXT cert = CertCreateCertificateContext(
        X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(certificate_.data()), static_cast<DWORD>(certificate_.size()));
    ASSERT_NE(nullptr, cert);
    HCRYPTKEY publicKey = 0;
    ASSERT_TRUE(CryptImportPublicKeyInfo(verifier, X509_ASN_ENCODING, &cert->pCertInfo->SubjectPublicKeyInfo,
                                         &publicKey));
    HCRYPTHASH check = 0;
    ASSERT_TRUE(CryptCreateHash(verifier, CALG_SHA1, 0, 0, &check));
    ASSERT_TRUE(CryptHashData(check, reinterpret_cast<const BYTE*>("abc"), 3, 0));
    EXPECT_TRUE(CryptVerifySignatureA(check, signature.data(), static_cast<DWORD>(signature.size()), publicKey, NULL, 0));
    std::vector<BYTE> reversed(signature.rbegin(), signature.rend());
    EXPECT_FALSE(CryptVerifySignatureA(check, reversed.data(), static_cast<DWORD>(reversed.size()), publicKey, NULL, 0));
    CryptDestroyHash(check);
    CryptDestroyKey(publicKey);
    CertFreeCertificateContext(cert);
    CryptReleaseContext(verifier, 0);

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

}  // namespace

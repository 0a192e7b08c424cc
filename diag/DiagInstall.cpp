// The installation section: install directory, registered version, and per
// deliverable its presence, image, file version, SHA-256 and signature.
#include <windows.h>
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <map>
#include <string>
#include <vector>

#include "DiagBounded.h"
#include "DiagChecks.h"
#include "DiagTexts.h"
#include "JavaRuntime.h"
#include "KevoSettings.h"
#include "RegKey.h"

namespace {

// What the installer puts into the install directory (the settings file
// has its own section).
const wchar_t* const kDeliverables[] = {L"KEVORevoke.exe",      L"KEVOSoftverchk.exe", L"KEVORWSetting.exe",
                                        L"KEVODiag.exe",        L"KEVOServiceAPIk.dll", L"KEVOServiceAPI.dll",
                                        L"KEVORegRead.dll"};

// Lower-case hex SHA-256 of the file; empty with *error set when it cannot
// be read.
std::wstring FileSha256(const std::wstring& path, DWORD* error)
{
    *error = 0;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return L"";
    }
    HCRYPTPROV provider = 0;
    HCRYPTHASH hash = 0;
    std::wstring hex;
    if (CryptAcquireContextW(&provider, NULL, NULL, PROV_RSA_AES, CRYPT_VERIFYCONTEXT) &&
        CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hash)) {
        static BYTE chunk[65536];
        DWORD got = 0;
        bool ok = true;
        while ((ok = ReadFile(file, chunk, sizeof chunk, &got, NULL) != FALSE) && got > 0)
            ok = ok && CryptHashData(hash, chunk, got, 0);
        BYTE digest[32];
        DWORD size = sizeof digest;
        if (ok && CryptGetHashParam(hash, HP_HASHVAL, digest, &size, 0))
            for (DWORD i = 0; i < size; ++i)
                hex += Fmt(L"%02x", digest[i]);
    }
    if (hex.empty())
        *error = GetLastError();
    if (hash != 0)
        CryptDestroyHash(hash);
    if (provider != 0)
        CryptReleaseContext(provider, 0);
    CloseHandle(file);
    return hex;
}

// The file's version resource as four numbers; false when it has none.
bool FileVersion(const std::wstring& path, DWORD field[4])
{
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    std::string data(size, '\0');
    VS_FIXEDFILEINFO* fixed = NULL;
    UINT fixedSize = 0;
    if (size == 0 || !GetFileVersionInfoW(path.c_str(), 0, size, &data[0]) ||
        !VerQueryValueW(&data[0], L"\\", (void**)&fixed, &fixedSize) || fixed == NULL ||
        fixedSize < sizeof *fixed)
        return false;
    field[0] = HIWORD(fixed->dwFileVersionMS);
    field[1] = LOWORD(fixed->dwFileVersionMS);
    field[2] = HIWORD(fixed->dwFileVersionLS);
    field[3] = LOWORD(fixed->dwFileVersionLS);
    return true;
}

LONGLONG FileSize(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return ((LONGLONG)data.nFileSizeHigh << 32) | data.nFileSizeLow;
}

// Chain building may still reach for the network (a missing intermediate
// certificate): each file's check is bounded.
const DWORD kSignatureLimitMs = 5000;

// The Authenticode verdict (0 when the signature is valid), without any
// window, without fetching revocation lists and from cached addresses only.
LONG SignatureState(const std::wstring& path)
{
    WINTRUST_FILE_INFO file;
    ZeroMemory(&file, sizeof file);
    file.cbStruct = sizeof file;
    file.pcwszFilePath = path.c_str();
    WINTRUST_DATA data;
    ZeroMemory(&data, sizeof data);
    data.cbStruct = sizeof data;
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    LONG state = WinVerifyTrust((HWND)INVALID_HANDLE_VALUE, &action, &data);
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    WinVerifyTrust((HWND)INVALID_HANDLE_VALUE, &action, &data);
    return state;
}

struct SignatureWork : BoundedWork {
    std::wstring path;
    LONG state = 0;
    void Run() override { state = SignatureState(path); }
};

bool Unsigned(LONG state)
{
    return state == (LONG)TRUST_E_NOSIGNATURE || state == (LONG)TRUST_E_SUBJECT_FORM_UNKNOWN ||
           state == (LONG)TRUST_E_PROVIDER_UNKNOWN;
}

// The name of whoever signed the file (the signer certificate's subject),
// read whether or not the signature is trusted; empty when there is none.
std::wstring SignerName(const std::wstring& path)
{
    HCERTSTORE store = NULL;
    HCRYPTMSG message = NULL;
    if (!CryptQueryObject(CERT_QUERY_OBJECT_FILE, path.c_str(), CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED,
                          CERT_QUERY_FORMAT_FLAG_BINARY, 0, NULL, NULL, NULL, &store, &message, NULL))
        return L"";
    std::wstring name;
    DWORD size = 0;
    if (CryptMsgGetParam(message, CMSG_SIGNER_CERT_INFO_PARAM, 0, NULL, &size) && size > 0) {
        std::string info(size, '\0');
        if (CryptMsgGetParam(message, CMSG_SIGNER_CERT_INFO_PARAM, 0, &info[0], &size)) {
            PCCERT_CONTEXT signer = CertFindCertificateInStore(store, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0,
                                                               CERT_FIND_SUBJECT_CERT, &info[0], NULL);
            if (signer != NULL) {
                wchar_t text[256] = L"";
                CertGetNameStringW(signer, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, NULL, text, 256);
                name = text;
                CertFreeCertificateContext(signer);
            }
        }
    }
    CryptMsgClose(message);
    CertCloseStore(store, 0);
    return name;
}

std::wstring VersionText(const DWORD field[4])
{
    return Fmt(L"%lu.%lu.%lu.%lu", field[0], field[1], field[2], field[3]);
}

// One deliverable: a PE image of the tools' machine whose version is the
// registered one (the installer registers no build number: three fields
// are compared), with its signature as it stands. *hash: its SHA-256, empty
// when it cannot be read.
// A deliverable without a signature, judged once every one has been seen.
struct UnsignedFile {
    const wchar_t* name;
    std::wstring line;
};

void CheckDeliverable(DiagReport& report, const DiagContext& context, const wchar_t* name, std::wstring* hash,
                      bool* signedFile, std::vector<UnsignedFile>* unsignedFiles)
{
    const std::wstring path = context.installDir + name;
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        report.Ng(Fmt(kNgFileMissing, name), kAdviceReinstall);
        return;
    }
    DWORD error = 0;
    *hash = FileSha256(path, &error);
    if (hash->empty()) {
        report.Ng(Fmt(kNgFileUnreadable, name, error), kAdviceReinstall);
        return;
    }
    const WORD machine = kevojava::MachineOfFile(path);
    if (machine != kevojava::ToolsMachine()) {
        report.Ng(Fmt(machine == 0 ? kNgNotImage : kNgImageMachine, name, FileSize(path), (unsigned)machine),
                  kAdviceReinstall);
        return;
    }
    DWORD version[4] = {0, 0, 0, 0};
    if (!FileVersion(path, version)) {
        report.Ng(Fmt(kNgNoFileVersion, name), kAdviceReinstall);
        return;
    }
    if (context.installedVersionKnown && (version[0] != context.installedVersion[0] ||
                                          version[1] != context.installedVersion[1] ||
                                          version[2] != context.installedVersion[2])) {
        report.Ng(Fmt(kNgFileVersion, name, VersionText(version).c_str(),
                      VersionText(context.installedVersion).c_str()),
                  kAdviceReinstall);
        return;
    }
    const std::wstring line = Fmt(kTextFile, name, VersionText(version).c_str(), hash->c_str());
    SignatureWork* work = new SignatureWork;
    work->path = path;
    if (!RunBounded(work, kSignatureLimitMs)) {
        report.Warn(Fmt(kWarnSignatureTime, name, kSignatureLimitMs / 1000), kAdviceSignature);
        return;  // work stays with its thread
    }
    const LONG state = work->state;
    delete work;
    const std::wstring signer = SignerName(path);
    if (!Unsigned(state))
        *signedFile = true;
    if (state == 0) {
        report.Ok(line + Fmt(kTextSignedBy, signer.c_str()));
    } else if (Unsigned(state)) {
        UnsignedFile file = {name, line};
        unsignedFiles->push_back(file);
    }
    else if (state == (LONG)TRUST_E_BAD_DIGEST)
        report.Ng(Fmt(kNgSignatureBroken, name, signer.c_str()), kAdviceReinstall);
    else
        report.Warn(Fmt(kWarnSignature, name, signer.c_str(), (unsigned long)state), kAdviceSignature);
}

}  // namespace

bool ReadInstalledVersion(DWORD field[4])
{
    kevowin::RegKey key;
    if (!key.OpenForRead(HKEY_LOCAL_MACHINE, L"Software\\KEVO\\Version"))
        return false;
    const wchar_t* const kFields[] = {L"Major", L"Minor", L"Revision", L"Build"};
    bool ok = true;
    for (int i = 0; i < 4; ++i) {
        DWORD type = 0, size = sizeof field[i];
        // A value of another type or size counts as missing; the installer
        // writes no Build, which reads as 0.
        if (RegQueryValueExW(key.Get(), kFields[i], NULL, &type, (BYTE*)&field[i], &size) != ERROR_SUCCESS ||
            type != REG_DWORD || size != sizeof field[i]) {
            field[i] = 0;
            ok = ok && i == 3;
        }
    }
    return ok;
}

namespace {

// What a stopped run of the installer leaves, which its next run finishes:
// the journal of a switch, files staged beside those they replace, or a
// fresh install's uninstall entry still marked unfinished. The file or
// marker found first; empty when there is none.
std::wstring UnfinishedInstallSign(const std::wstring& dir)
{
    const wchar_t* const patterns[] = {L"KEVOSetup.journal*", L"*.kevonew"};
    for (const wchar_t* pattern : patterns) {
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW((dir + L"\\" + pattern).c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            FindClose(search);
            return found.cFileName;
        }
    }
    return L"";
}

bool UninstallEntryUnfinished()
{
    kevowin::RegKey key;
    if (!key.OpenForRead(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KEVO"))
        return false;
    wchar_t name[256] = L"";
    DWORD type = 0, size = sizeof name - sizeof name[0];
    if (RegQueryValueExW(key.Get(), L"DisplayName", NULL, &type, reinterpret_cast<BYTE*>(name), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        return false;
    return wcsstr(name, L"インストール未完了") != NULL;
}

}  // namespace

void CheckInstallation(DiagReport& report, DiagContext& context)
{
    report.Section(kSectionInstall);
    char* dir = NULL;
    if (KEVOGetServiceAPIPath("", &dir) != 0) {
        report.Ng(kNgInstallPath, kAdviceReinstall);
    } else {
        const std::wstring folder = FromAnsi(dir);
        free(dir);
        const DWORD attributes = GetFileAttributesW(folder.c_str());
        // Said once here: every check of what lies in it is left out.
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            report.Ng(Fmt(kNgInstallFolder, folder.c_str()), kAdviceInstallFolder);
        } else {
            context.installDir = folder;
            report.Ok(Fmt(kTextInstallPath, folder.c_str()));
        }
    }
    context.installedVersionKnown = ReadInstalledVersion(context.installedVersion);
    if (context.installedVersionKnown)
        report.Ok(Fmt(kTextVersionKey, VersionText(context.installedVersion).c_str()));
    else
        report.Ng(kNgVersionKey, kAdviceReinstall);
    if (UninstallEntryUnfinished())
        report.Ng(kNgUnfinishedEntry, kAdviceRunInstallerAgain);
    if (context.installDir.empty())
        return;
    const std::wstring unfinished = UnfinishedInstallSign(context.installDir);
    if (!unfinished.empty())
        report.Ng(Fmt(kNgUnfinishedInstall, unfinished.c_str()), kAdviceRunInstallerAgain);

    std::map<std::wstring, std::wstring> hashes;
    bool anySigned = false;
    std::vector<UnsignedFile> unsignedFiles;
    for (const wchar_t* name : kDeliverables)
        CheckDeliverable(report, context, name, &hashes[name], &anySigned, &unsignedFiles);
    // In a release that signs its deliverables, a file without a signature
    // was replaced (its signature stripped, or another build put in).
    for (const UnsignedFile& file : unsignedFiles) {
        if (anySigned)
            report.Ng(Fmt(kNgUnsignedInSignedRelease, file.name), kAdviceReinstall);
        else
            report.Ok(file.line + kTextUnsigned);
    }
    const std::wstring& own = hashes[L"KEVOServiceAPIk.dll"];
    const std::wstring& loaded = hashes[L"KEVOServiceAPI.dll"];
    if (!own.empty() && !loaded.empty()) {
        if (own == loaded)
            report.Ok(kTextSameLibrary);
        else
            report.Ng(kNgSameLibrary, kAdviceReinstall);
    }
}

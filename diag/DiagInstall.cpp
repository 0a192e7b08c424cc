// The installation section: install directory, registered version, and per
// deliverable its presence, file version, SHA-256 and signature.
#include <windows.h>
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <map>
#include <string>

#include "DiagChecks.h"
#include "DiagTexts.h"
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

std::wstring FileVersion(const std::wstring& path)
{
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    std::string data(size, '\0');
    VS_FIXEDFILEINFO* fixed = NULL;
    UINT fixedSize = 0;
    if (size == 0 || !GetFileVersionInfoW(path.c_str(), 0, size, &data[0]) ||
        !VerQueryValueW(&data[0], L"\\", (void**)&fixed, &fixedSize) || fixed == NULL)
        return kTextNoFileVersion;
    return Fmt(L"%u.%u.%u.%u", HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
               HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS));
}

// The Authenticode verdict (0 when the signature is valid), without any
// window and without fetching revocation lists.
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
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    LONG state = WinVerifyTrust((HWND)INVALID_HANDLE_VALUE, &action, &data);
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    WinVerifyTrust((HWND)INVALID_HANDLE_VALUE, &action, &data);
    return state;
}

bool Unsigned(LONG state)
{
    return state == (LONG)TRUST_E_NOSIGNATURE || state == (LONG)TRUST_E_SUBJECT_FORM_UNKNOWN ||
           state == (LONG)TRUST_E_PROVIDER_UNKNOWN;
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

void CheckInstallation(DiagReport& report, DiagContext& context)
{
    report.Section(kSectionInstall);
    char* dir = NULL;
    if (KEVOGetServiceAPIPath("", &dir) != 0) {
        report.Ng(kNgInstallPath, kAdviceReinstall);
    } else {
        context.installDir = FromAnsi(dir);
        free(dir);
        report.Ok(Fmt(kTextInstallPath, context.installDir.c_str()));
    }
    DWORD field[4] = {0, 0, 0, 0};
    bool versionOk = ReadInstalledVersion(field);
    if (versionOk)
        report.Ok(Fmt(kTextVersionKey, field[0], field[1], field[2], field[3]));
    else
        report.Ng(kNgVersionKey, kAdviceReinstall);
    if (context.installDir.empty())
        return;

    std::map<std::wstring, std::wstring> hashes;
    for (const wchar_t* name : kDeliverables) {
        const std::wstring path = context.installDir + name;
        if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
            report.Ng(Fmt(kNgFileMissing, name), kAdviceReinstall);
            continue;
        }
        DWORD error = 0;
        std::wstring hash = FileSha256(path, &error);
        if (hash.empty()) {
            report.Ng(Fmt(kNgFileUnreadable, name, error), kAdviceReinstall);
            continue;
        }
        hashes[name] = hash;
        LONG state = SignatureState(path);
        std::wstring line = Fmt(kTextFile, name, FileVersion(path).c_str(), hash.c_str());
        report.Ok(state == 0 ? line + kTextSigned : line);
        if (state != 0 && !Unsigned(state))
            report.Warn(Fmt(kWarnSignature, name, (unsigned long)state));
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

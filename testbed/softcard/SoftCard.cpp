// Software card: a CryptoAPI provider that stands in for the citizen's IC
// card under the name "KEVO Crypto Service Provider". It holds one RSA
// signature key and the matching DER user certificate, read at each opening
// from two files:
//     KEVOSoftCard.key  PRIVATEKEYBLOB marked as the key of a
//                       signature key (CALG_RSA_SIGN)
//     KEVOSoftCard.cer  the user certificate, DER
// in the folder named by SoftCardDir, or else next to the DLL, and delegates
// hashing and signing to the platform's built-in RSA provider, which returns
// signatures least significant byte first, as a card provider does.
//
// Test switches, values under the provider's registration key, read at each
// call so a test flips them without touching the tool under test:
//     SoftCardFailOpen   DWORD, non-zero: CPAcquireContext fails with this
//                        code (for example SCARD_W_CANCELLED_BY_USER)
//     SoftCardFailSign   DWORD, non-zero: CPSignHash fails with this code
//                        when it is asked for the signature itself
//     SoftCardPinPrompt  DWORD, where the card asks for its PIN: 1 when it
//                        is opened, 2 when it signs, 3 both, 0 never
//     SoftCardPin        REG_SZ, the PIN the prompt expects ("1234" when
//                        absent)
//     SoftCardDir        REG_SZ, the folder holding the key and certificate
//                        files (the DLL's own folder when absent or empty)
// The prompt (SoftCardPinDialog) answers Cancel with
// SCARD_W_CANCELLED_BY_USER and a PIN other than SoftCardPin with
// SCARD_W_WRONG_CHV.
#include <windows.h>
#include <wincrypt.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "SoftCardPinDialog.h"

// The provider interface's table, which mingw's headers lack. The software
// card reads FuncReturnhWnd, the window its prompt should belong to.
typedef struct _VTableProvStruc {
    DWORD Version;
    FARPROC FuncVerifyImage;
    FARPROC FuncReturnhWnd;
    DWORD dwProvType;
    BYTE* pbContextInfo;
    DWORD cbContextInfo;
    LPSTR pszProvName;
} VTableProvStruc, *PVTableProvStruc;

#define SOFTCARD_API extern "C" __declspec(dllexport) BOOL WINAPI

namespace {

const char kProviderName[] = "KEVO Crypto Service Provider";
const wchar_t kRegistrationKey[] =
    L"Software\\Microsoft\\Cryptography\\Defaults\\Provider\\KEVO Crypto Service Provider";
const char kContainerName[] = "KEVOSoftCard";
const wchar_t kDefaultPin[] = L"1234";
const DWORD kNoCard = 0x8010000CUL;          // SCARD_E_NO_SMARTCARD: key or certificate file missing
const DWORD kCancelledByUser = 0x8010006EUL;  // SCARD_W_CANCELLED_BY_USER
const DWORD kWrongPin = 0x8010006BUL;         // SCARD_W_WRONG_CHV
const DWORD kPromptAtOpen = 1;
const DWORD kPromptAtSign = 2;
const DWORD kContextMagic = 0x4B534343UL;
const DWORD kKeyMagic = 0x4B53434BUL;

struct Context {
    DWORD magic;
    HCRYPTPROV inner;      // built-in RSA provider, verify context
    HCRYPTKEY innerKey;    // the imported signature key
    BYTE* certificate;
    DWORD certificateLength;
    FARPROC returnWindow;  // the table's FuncReturnhWnd, for the prompt's owner
    HWND clientWindow;     // PP_CLIENT_HWND set on this context
};

struct UserKey {
    DWORD magic;
    Context* context;
};

Context* AsContext(HCRYPTPROV handle)
{
    Context* c = reinterpret_cast<Context*>(handle);
    return (c != NULL && c->magic == kContextMagic) ? c : NULL;
}

UserKey* AsKey(HCRYPTKEY handle)
{
    UserKey* k = reinterpret_cast<UserKey*>(handle);
    return (k != NULL && k->magic == kKeyMagic) ? k : NULL;
}

BOOL Fail(DWORD code)
{
    SetLastError(code);
    return FALSE;
}

DWORD ReadSwitch(const wchar_t* name)
{
    HKEY key;
    DWORD value = 0;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRegistrationKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0;
    DWORD type = 0;
    DWORD size = sizeof value;
    if (RegQueryValueExW(key, name, NULL, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof value)
        value = 0;
    RegCloseKey(key);
    return value;
}

// A REG_SZ value of the registration into out (capacity units); false, with
// out empty, when it is absent, empty, of another type or too long.
bool ReadText(const wchar_t* name, wchar_t* out, DWORD capacity)
{
    out[0] = L'\0';
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRegistrationKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    DWORD type = 0;
    DWORD size = capacity * sizeof(wchar_t);
    LONG rc = RegQueryValueExW(key, name, NULL, &type, reinterpret_cast<BYTE*>(out), &size);
    RegCloseKey(key);
    DWORD units = size / sizeof(wchar_t);
    // The stored text need not end in a terminator.
    bool ok = rc == ERROR_SUCCESS && type == REG_SZ && (units < capacity || out[capacity - 1] == L'\0');
    if (ok && units < capacity)
        out[units] = L'\0';
    if (!ok)
        out[0] = L'\0';
    return ok && out[0] != L'\0';
}

HMODULE ThisModule()
{
    HMODULE self = NULL;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &self);
    return self;
}

// The folder of the key and certificate, with a trailing backslash:
// SoftCardDir when set, else the DLL's own folder.
bool CardDirectory(wchar_t* out, DWORD capacity)
{
    if (ReadText(L"SoftCardDir", out, capacity - 1)) {
        size_t n = wcslen(out);
        if (out[n - 1] != L'\\' && out[n - 1] != L'/') {
            out[n] = L'\\';
            out[n + 1] = L'\0';
        }
        return true;
    }
    HMODULE self = ThisModule();
    if (self == NULL)
        return false;
    DWORD n = GetModuleFileNameW(self, out, capacity);
    if (n == 0 || n >= capacity)
        return false;
    wchar_t* slash = wcsrchr(out, L'\\');
    if (slash == NULL)
        return false;
    slash[1] = L'\0';
    return true;
}

// The window the prompt belongs to: the one the application gave CryptoAPI
// for every context (PP_CLIENT_HWND with no context, handed out through
// FuncReturnhWnd), else the one it set on this context, else none. As with
// a real card's provider, an application that gives no window gets a prompt
// of no window's, which may open behind its own while that stays enabled.
// (Wine's CryptoAPI refuses the window without a context, error 87, and
// hands out none, so under Wine only the context's window reaches a
// provider; on Windows both do.)
HWND PromptOwner(FARPROC returnWindow, HWND clientWindow)
{
    // The platform's table hands out a stdcall function.
    typedef void(WINAPI * ReturnWindowFunction)(HWND*);
    HWND owner = NULL;
    if (returnWindow != NULL)
        reinterpret_cast<ReturnWindowFunction>(returnWindow)(&owner);
    if (owner == NULL || !IsWindow(owner))
        owner = clientWindow;
    return owner != NULL && IsWindow(owner) ? owner : NULL;
}

// Asks for the PIN when SoftCardPinPrompt names this point: ERROR_SUCCESS
// to go on, or the code the card answers with.
DWORD CheckPin(DWORD point, FARPROC returnWindow, HWND clientWindow)
{
    if ((ReadSwitch(L"SoftCardPinPrompt") & point) == 0)
        return ERROR_SUCCESS;
    wchar_t expected[SOFTCARD_PIN_MAX_LENGTH + 1];
    if (!ReadText(L"SoftCardPin", expected, SOFTCARD_PIN_MAX_LENGTH + 1))
        wcscpy(expected, kDefaultPin);
    wchar_t typed[SOFTCARD_PIN_MAX_LENGTH + 1];
    PinAnswer answer = AskForPin(ThisModule(), PromptOwner(returnWindow, clientWindow), typed, SOFTCARD_PIN_MAX_LENGTH + 1);
    DWORD result = ERROR_SUCCESS;
    if (answer == kPinCancelled)
        result = kCancelledByUser;
    else if (answer == kPinNoWindow)
        result = GetLastError() != ERROR_SUCCESS ? GetLastError() : static_cast<DWORD>(NTE_FAIL);
    else if (wcscmp(typed, expected) != 0)
        result = kWrongPin;
    SecureZeroMemory(typed, sizeof typed);
    SecureZeroMemory(expected, sizeof expected);
    return result;
}

// Reads a whole file; the caller frees *data.
bool ReadWholeFile(const wchar_t* directory, const wchar_t* name, BYTE** data, DWORD* length)
{
    wchar_t path[MAX_PATH * 2];
    if (wcslen(directory) + wcslen(name) >= sizeof path / sizeof path[0])
        return false;
    wcscpy(path, directory);
    wcscat(path, name);
    FILE* file = _wfopen(path, L"rb");
    if (file == NULL)
        return false;
    bool ok = false;
    if (fseek(file, 0, SEEK_END) == 0) {
        long size = ftell(file);
        if (size > 0 && size < 1024 * 1024 && fseek(file, 0, SEEK_SET) == 0) {
            *data = static_cast<BYTE*>(malloc(static_cast<size_t>(size)));
            if (*data != NULL && fread(*data, 1, static_cast<size_t>(size), file) == static_cast<size_t>(size)) {
                *length = static_cast<DWORD>(size);
                ok = true;
            } else {
                free(*data);
                *data = NULL;
            }
        }
    }
    fclose(file);
    return ok;
}

void FreeContext(Context* c)
{
    if (c->innerKey != 0)
        CryptDestroyKey(c->innerKey);
    if (c->inner != 0)
        CryptReleaseContext(c->inner, 0);
    free(c->certificate);
    c->magic = 0;
    free(c);
}

// Copies a parameter out with the usual size-query protocol.
BOOL CopyOut(const void* source, DWORD length, BYTE* out, DWORD* outLength)
{
    if (outLength == NULL)
        return Fail(ERROR_INVALID_PARAMETER);
    if (out == NULL) {
        *outLength = length;
        return TRUE;
    }
    if (*outLength < length) {
        *outLength = length;
        return Fail(ERROR_MORE_DATA);
    }
    memcpy(out, source, length);
    *outLength = length;
    return TRUE;
}

}  // namespace

SOFTCARD_API CPAcquireContext(HCRYPTPROV* phProv, LPCSTR szContainer, DWORD dwFlags, PVTableProvStruc pVTable)
{
    (void)szContainer;
    if (phProv == NULL)
        return Fail(ERROR_INVALID_PARAMETER);
    if (dwFlags & (CRYPT_NEWKEYSET | CRYPT_DELETEKEYSET))
        return Fail(NTE_BAD_FLAGS);
    DWORD forced = ReadSwitch(L"SoftCardFailOpen");
    if (forced != 0)
        return Fail(forced);

    wchar_t directory[MAX_PATH];
    if (!CardDirectory(directory, MAX_PATH))
        return Fail(kNoCard);
    Context* c = static_cast<Context*>(calloc(1, sizeof(Context)));
    if (c == NULL)
        return Fail(NTE_NO_MEMORY);
    c->magic = kContextMagic;
    c->returnWindow = pVTable != NULL ? pVTable->FuncReturnhWnd : NULL;
    BYTE* blob = NULL;
    DWORD blobLength = 0;
    // As with a real card, a missing card is reported before any PIN prompt.
    if (!ReadWholeFile(directory, L"KEVOSoftCard.key", &blob, &blobLength) ||
        !ReadWholeFile(directory, L"KEVOSoftCard.cer", &c->certificate, &c->certificateLength)) {
        free(blob);
        FreeContext(c);
        return Fail(kNoCard);
    }
    DWORD pin = CheckPin(kPromptAtOpen, c->returnWindow, NULL);
    if (pin != ERROR_SUCCESS) {
        SecureZeroMemory(blob, blobLength);
        free(blob);
        FreeContext(c);
        return Fail(pin);
    }
    if (!CryptAcquireContextA(&c->inner, NULL, MS_ENHANCED_PROV_A, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) {
        DWORD error = GetLastError();
        c->inner = 0;
        free(blob);
        FreeContext(c);
        return Fail(error);
    }
    if (!CryptImportKey(c->inner, blob, blobLength, 0, 0, &c->innerKey)) {
        DWORD error = GetLastError();
        c->innerKey = 0;
        free(blob);
        FreeContext(c);
        return Fail(error);
    }
    SecureZeroMemory(blob, blobLength);
    free(blob);
    *phProv = reinterpret_cast<HCRYPTPROV>(c);
    return TRUE;
}

SOFTCARD_API CPReleaseContext(HCRYPTPROV hProv, DWORD dwFlags)
{
    (void)dwFlags;
    Context* c = AsContext(hProv);
    if (c == NULL)
        return Fail(NTE_BAD_UID);
    FreeContext(c);
    return TRUE;
}

SOFTCARD_API CPGetUserKey(HCRYPTPROV hProv, DWORD dwKeySpec, HCRYPTKEY* phUserKey)
{
    Context* c = AsContext(hProv);
    if (c == NULL)
        return Fail(NTE_BAD_UID);
    if (dwKeySpec != AT_SIGNATURE)
        return Fail(NTE_NO_KEY);
    UserKey* k = static_cast<UserKey*>(malloc(sizeof(UserKey)));
    if (k == NULL)
        return Fail(NTE_NO_MEMORY);
    k->magic = kKeyMagic;
    k->context = c;
    *phUserKey = reinterpret_cast<HCRYPTKEY>(k);
    return TRUE;
}

SOFTCARD_API CPDestroyKey(HCRYPTPROV hProv, HCRYPTKEY hKey)
{
    (void)hProv;
    UserKey* k = AsKey(hKey);
    if (k == NULL)
        return Fail(NTE_BAD_KEY);
    k->magic = 0;
    free(k);
    return TRUE;
}

SOFTCARD_API CPGetKeyParam(HCRYPTPROV hProv, HCRYPTKEY hKey, DWORD dwParam, LPBYTE pbData, LPDWORD pcbDataLen,
                           DWORD dwFlags)
{
    (void)hProv;
    UserKey* k = AsKey(hKey);
    if (k == NULL)
        return Fail(NTE_BAD_KEY);
    if (dwParam == KP_CERTIFICATE)
        return CopyOut(k->context->certificate, k->context->certificateLength, pbData, pcbDataLen);
    return CryptGetKeyParam(k->context->innerKey, dwParam, pbData, pcbDataLen, dwFlags);
}

SOFTCARD_API CPSetKeyParam(HCRYPTPROV, HCRYPTKEY, DWORD, CONST BYTE*, DWORD)
{
    return Fail(NTE_BAD_TYPE);
}

SOFTCARD_API CPGenKey(HCRYPTPROV, ALG_ID, DWORD, HCRYPTKEY*)
{
    return Fail(NTE_BAD_ALGID);
}

SOFTCARD_API CPDeriveKey(HCRYPTPROV, ALG_ID, HCRYPTHASH, DWORD, HCRYPTKEY*)
{
    return Fail(NTE_BAD_ALGID);
}

SOFTCARD_API CPExportKey(HCRYPTPROV hProv, HCRYPTKEY hKey, HCRYPTKEY hPubKey, DWORD dwBlobType, DWORD dwFlags,
                         LPBYTE pbData, LPDWORD pcbDataLen)
{
    (void)hProv;
    UserKey* k = AsKey(hKey);
    if (k == NULL || hPubKey != 0)
        return Fail(NTE_BAD_KEY);
    // Only the public half leaves the card.
    if (dwBlobType != PUBLICKEYBLOB)
        return Fail(NTE_BAD_TYPE);
    return CryptExportKey(k->context->innerKey, 0, dwBlobType, dwFlags, pbData, pcbDataLen);
}

SOFTCARD_API CPImportKey(HCRYPTPROV, CONST BYTE*, DWORD, HCRYPTKEY, DWORD, HCRYPTKEY*)
{
    return Fail(NTE_BAD_TYPE);
}

SOFTCARD_API CPEncrypt(HCRYPTPROV, HCRYPTKEY, HCRYPTHASH, BOOL, DWORD, LPBYTE, LPDWORD, DWORD)
{
    return Fail(NTE_BAD_KEY);
}

SOFTCARD_API CPDecrypt(HCRYPTPROV, HCRYPTKEY, HCRYPTHASH, BOOL, DWORD, LPBYTE, LPDWORD)
{
    return Fail(NTE_BAD_KEY);
}

SOFTCARD_API CPCreateHash(HCRYPTPROV hProv, ALG_ID Algid, HCRYPTKEY hKey, DWORD dwFlags, HCRYPTHASH* phHash)
{
    Context* c = AsContext(hProv);
    if (c == NULL)
        return Fail(NTE_BAD_UID);
    if (hKey != 0)
        return Fail(NTE_BAD_KEY);
    return CryptCreateHash(c->inner, Algid, 0, dwFlags, phHash);
}

SOFTCARD_API CPHashData(HCRYPTPROV hProv, HCRYPTHASH hHash, CONST BYTE* pbData, DWORD cbDataLen, DWORD dwFlags)
{
    (void)hProv;
    return CryptHashData(hHash, pbData, cbDataLen, dwFlags);
}

SOFTCARD_API CPHashSessionKey(HCRYPTPROV, HCRYPTHASH, HCRYPTKEY, DWORD)
{
    return Fail(NTE_BAD_KEY);
}

SOFTCARD_API CPGetHashParam(HCRYPTPROV hProv, HCRYPTHASH hHash, DWORD dwParam, LPBYTE pbData, LPDWORD pcbDataLen,
                            DWORD dwFlags)
{
    (void)hProv;
    return CryptGetHashParam(hHash, dwParam, pbData, pcbDataLen, dwFlags);
}

SOFTCARD_API CPSetHashParam(HCRYPTPROV hProv, HCRYPTHASH hHash, DWORD dwParam, CONST BYTE* pbData, DWORD dwFlags)
{
    (void)hProv;
    return CryptSetHashParam(hHash, dwParam, pbData, dwFlags);
}

SOFTCARD_API CPDestroyHash(HCRYPTPROV hProv, HCRYPTHASH hHash)
{
    (void)hProv;
    return CryptDestroyHash(hHash);
}

SOFTCARD_API CPSignHash(HCRYPTPROV hProv, HCRYPTHASH hHash, DWORD dwKeySpec, LPCWSTR szDescription, DWORD dwFlags,
                        LPBYTE pbSignature, LPDWORD pcbSigLen)
{
    (void)szDescription;
    Context* c = AsContext(hProv);
    if (c == NULL)
        return Fail(NTE_BAD_UID);
    if (dwKeySpec != AT_SIGNATURE)
        return Fail(NTE_NO_KEY);
    // The length query needs no PIN; the signature itself does.
    if (pbSignature != NULL) {
        DWORD forced = ReadSwitch(L"SoftCardFailSign");
        if (forced != 0)
            return Fail(forced);
        DWORD pin = CheckPin(kPromptAtSign, c->returnWindow, c->clientWindow);
        if (pin != ERROR_SUCCESS)
            return Fail(pin);
    }
    return CryptSignHashW(hHash, AT_SIGNATURE, NULL, dwFlags, pbSignature, pcbSigLen);
}

SOFTCARD_API CPVerifySignature(HCRYPTPROV hProv, HCRYPTHASH hHash, CONST BYTE* pbSignature, DWORD cbSigLen,
                               HCRYPTKEY hPubKey, LPCWSTR szDescription, DWORD dwFlags)
{
    (void)hProv;
    (void)szDescription;
    UserKey* k = AsKey(hPubKey);
    if (k == NULL)
        return Fail(NTE_BAD_KEY);
    return CryptVerifySignatureW(hHash, pbSignature, cbSigLen, k->context->innerKey, NULL, dwFlags);
}

SOFTCARD_API CPGenRandom(HCRYPTPROV hProv, DWORD cbLen, LPBYTE pbBuffer)
{
    Context* c = AsContext(hProv);
    if (c == NULL)
        return Fail(NTE_BAD_UID);
    return CryptGenRandom(c->inner, cbLen, pbBuffer);
}

SOFTCARD_API CPGetProvParam(HCRYPTPROV hProv, DWORD dwParam, LPBYTE pbData, LPDWORD pcbDataLen, DWORD dwFlags)
{
    Context* c = AsContext(hProv);
    if (c == NULL)
        return Fail(NTE_BAD_UID);
    switch (dwParam) {
    case PP_NAME:
        return CopyOut(kProviderName, sizeof kProviderName, pbData, pcbDataLen);
    case PP_CONTAINER:
    case PP_UNIQUE_CONTAINER:
        return CopyOut(kContainerName, sizeof kContainerName, pbData, pcbDataLen);
    case PP_IMPTYPE: {
        DWORD type = CRYPT_IMPL_REMOVABLE;
        return CopyOut(&type, sizeof type, pbData, pcbDataLen);
    }
    default:
        return CryptGetProvParam(c->inner, dwParam, pbData, pcbDataLen, dwFlags);
    }
}

SOFTCARD_API CPSetProvParam(HCRYPTPROV hProv, DWORD dwParam, CONST BYTE* pbData, DWORD dwFlags)
{
    (void)dwFlags;
    Context* c = AsContext(hProv);
    if (c == NULL)
        return Fail(NTE_BAD_UID);
    if (dwParam != PP_CLIENT_HWND)
        return Fail(NTE_BAD_TYPE);
    if (pbData == NULL)
        return Fail(ERROR_INVALID_PARAMETER);
    memcpy(&c->clientWindow, pbData, sizeof c->clientWindow);
    return TRUE;
}

// Win32 layer of the install path and connection settings. One
// implementation serves both programs; Program selects the trace wording
// (and, for the proxy copies, the version checker's tolerance).
#include "KevoSettings.h"

#include <stdlib.h>
#include <string.h>

#include "KevoPolicy.h"
#include "RegKey.h"
#include "SettingsCore.h"
#include "TraceLog.h"

#ifndef KEVO_DEFAULT_COUNTER_URL
#error "KEVO_DEFAULT_COUNTER_URL must be defined by the build"
#endif

namespace {

enum Program { kRevoke, kVerchk };

const int kTextCapacity = 1024;        // settings texts: at most 1023 bytes
const size_t kMaxSettingsPath = 2048;  // longer settings file paths are not used
const DWORD kTimeoutMs = 360000;

int g_failAllocationAt = 0;

void* Allocate(size_t size)
{
    if (g_failAllocationAt > 0 && --g_failAllocationAt == 0)
        return NULL;
    return malloc(size);
}

char* CopyText(const char* text)
{
    size_t size = strlen(text) + 1;
    char* copy = static_cast<char*>(Allocate(size));
    if (copy != NULL)
        memcpy(copy, text, size);
    return copy;
}

bool SystemLeadByte(unsigned char byte)
{
    return IsDBCSLeadByte(byte) != FALSE;
}

using kevowin::RegKey;

// Reads the install directory and joins fileName onto it.
int InstallFilePath(Program program, const char* fileName, char** path)
{
    const bool revoke = program == kRevoke;
    RegKey key;
    LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\KEVO", 0, KEY_READ, key.Out());
    if (rc != ERROR_SUCCESS) {
        if (revoke)
            TraceLog(TRACE_LEVEL_ERROR, "RegOpenKeyExA:エラーが発生しました。(%d)(%s:%d)\n", (int)rc, TRACE_HERE);
        else
            TraceLog(TRACE_LEVEL_ERROR, "RegOpenKeyEx失敗(%d)\n", -104);
        return -104;
    }
    DWORD size = 0;
    rc = RegQueryValueExA(key.Get(), "InstallPath", NULL, NULL, NULL, &size);
    if (rc != ERROR_SUCCESS) {
        if (revoke)
            TraceLog(TRACE_LEVEL_ERROR, "RegQueryValueExA:エラーが発生しました。(%d)(%s:%d)\n", (int)rc, TRACE_HERE);
        else
            TraceLog(TRACE_LEVEL_ERROR, "RegQueryValueEx失敗 1(%d)\n", -104);
        return -104;
    }
    // The registry hands back exactly the stored bytes, which need not end in
    // a zero: one byte more, and the text ends at the stored size.
    char* dir = size + 1 == 0 ? NULL : static_cast<char*>(Allocate(size + 1));
    if (dir == NULL) {
        if (revoke)
            TraceLog(TRACE_LEVEL_ERROR, "installpath:メモリが不足しています。(%s:%d)\n", TRACE_HERE);
        else
            TraceLog(TRACE_LEVEL_ERROR, "メモリ不足 1\n");
        return -104;
    }
    DWORD read = size;
    rc = RegQueryValueExA(key.Get(), "InstallPath", NULL, NULL, reinterpret_cast<BYTE*>(dir), &read);
    if (rc != ERROR_SUCCESS) {
        if (revoke)
            TraceLog(TRACE_LEVEL_ERROR, "RegQueryValueExA:エラーが発生しました。(%d)(%s:%d)\n", (int)rc, TRACE_HERE);
        else
            TraceLog(TRACE_LEVEL_ERROR, "RegQueryValueEx失敗 2(%d)\n", -104);
        free(dir);
        return -104;
    }
    dir[read <= size ? read : size] = 0;
    if (!kevoset::IsUsableInstallDir(dir)) {
        if (revoke)
            TraceLog(TRACE_LEVEL_ERROR, "installpath:予期せぬエラーが発生しました。(%s:%d)\n", TRACE_HERE);
        else
            TraceLog(TRACE_LEVEL_ERROR, "InstallPathの値(%s)が不正\n", dir);
        free(dir);
        return -104;
    }
    size_t capacity = kevoset::JoinedPathSize(dir, fileName);
    char* joined = static_cast<char*>(Allocate(capacity));
    if (joined == NULL) {
        if (revoke)
            TraceLog(TRACE_LEVEL_ERROR, "path:メモリが不足しています。(%s:%d)\n", TRACE_HERE);
        else
            TraceLog(TRACE_LEVEL_ERROR, "メモリ不足 2\n");
        free(dir);
        return -102;
    }
    kevoset::JoinPath(dir, fileName, SystemLeadByte, joined, capacity);
    free(dir);
    *path = joined;
    return 0;
}

int GetInstallFilePath(Program program, const char* name, const char* fileName, char** path)
{
    TraceLog(TRACE_LEVEL_FLOW, "%s: start\n", name);
    int rc = path == NULL ? -104 : InstallFilePath(program, fileName, path);
    TraceLog(TRACE_LEVEL_FLOW, "%s: end\n", name);
    return rc;
}

// The settings file's section; without a usable path every key has its default.
class SettingsFile {
public:
    explicit SettingsFile(const char* path) : path_(path) {}
    void Text(const char* key, char* out) const
    {
        out[0] = 0;
        if (path_ != NULL)
            GetPrivateProfileStringA(KEVO_SETTINGS_SECTION, key, "", out, kTextCapacity, path_);
    }
    int Int(const char* key, int fallback) const
    {
        if (path_ == NULL)
            return fallback;
        return static_cast<int>(GetPrivateProfileIntA(KEVO_SETTINGS_SECTION, key, fallback, path_));
    }

private:
    const char* path_;
};

int CrackUrl(Program program, const char* url, char* host, char* path, int* port)
{
    TraceLog(TRACE_LEVEL_FLOW, "%s: start\n", "setURLData");
    char scheme[512];
    char hostPart[512];
    char pathPart[1024];
    URL_COMPONENTSA parts;
    memset(&parts, 0, sizeof parts);
    parts.dwStructSize = sizeof parts;
    parts.lpszScheme = scheme;
    parts.dwSchemeLength = sizeof scheme;
    parts.lpszHostName = hostPart;
    parts.dwHostNameLength = sizeof hostPart;
    parts.lpszUrlPath = pathPart;
    parts.dwUrlPathLength = sizeof pathPart;
    int result = 0;
    if (url == NULL || host == NULL || path == NULL || port == NULL ||
        !InternetCrackUrlA(url, static_cast<DWORD>(strlen(url)), 0, &parts)) {
        if (program == kRevoke)
            TraceLog(TRACE_LEVEL_ERROR, "InternetCrackUrlA:エラーが発生しました。(%s:%d)\n", TRACE_HERE);
        else
            TraceLog(TRACE_LEVEL_ERROR, "InternetCrackUrl失敗(%d)\n", 0);
    } else {
        // The part buffers are zero-terminated by the cracker and shorter
        // than the caller's 1025 bytes.
        hostPart[sizeof hostPart - 1] = 0;
        pathPart[sizeof pathPart - 1] = 0;
        strcpy(host, hostPart);
        strcpy(path, pathPart);
        *port = parts.nPort;
        result = 1;
    }
    TraceLog(TRACE_LEVEL_FLOW, "%s: end\n", "setURLData");
    return result;
}

int ReadSettings(Program program, SettingInfo* info, const char* iniPath)
{
    const bool revoke = program == kRevoke;
    SettingsFile file(iniPath);
    char url[kTextCapacity];
    file.Text("url", url);
    if (url[0] == 0)
        strcpy(url, KEVO_DEFAULT_COUNTER_URL);

    kevoset::UrlScheme scheme = kevoset::ClassifyUrlScheme(url);
    if (scheme == kevoset::kSchemeOther) {
        if (revoke)
            TraceLog(TRACE_LEVEL_ERROR, "strPROP:予期せぬエラーが発生しました。(%s:%d)\n", TRACE_HERE);
        else
            TraceLog(TRACE_LEVEL_ERROR, "%sの値(%s)が不正\n", "url", url);
        return -104;
    }
    info->secure = scheme == kevoset::kSchemeHttps ? 1 : 0;

    char host[1025];
    char path[1025];
    int port = 0;
    if (CrackUrl(program, url, host, path, &port) != 1) {
        if (revoke)
            TraceLog(TRACE_LEVEL_ERROR, "setURLData:予期せぬエラーが発生しました。(%s:%d)\n", TRACE_HERE);
        else
            TraceLog(TRACE_LEVEL_ERROR, "setURLData()でエラー %sの値(%s)が不正と思われる\n", "url", url);
        return -104;
    }
    info->hostname = CopyText(host);
    if (info->hostname == NULL) {
        if (revoke)
            TraceLog(TRACE_LEVEL_ERROR, "m_SettingInfo.hostname:メモリが不足しています。(%s:%d)\n", TRACE_HERE);
        else
            TraceLog(TRACE_LEVEL_ERROR, "メモリ不足(m_SettingInfo.hostname)\n");
        return -102;
    }
    info->port = port;
    info->cvsurl = CopyText(url);
    if (info->cvsurl == NULL) {
        if (revoke)
            TraceLog(TRACE_LEVEL_ERROR, "m_SettingInfo.cvsurl:メモリが不足しています。(%s:%d)\n", TRACE_HERE);
        else
            TraceLog(TRACE_LEVEL_ERROR, "メモリ不足(m_SettingInfo.cvsurl)\n");
        return -102;
    }

    // The revocation tool notes a missing proxy as progress, the version
    // checker writes every line but its entry and exit at error level.
    const int noProxyLevel = revoke ? TRACE_LEVEL_FLOW : TRACE_LEVEL_ERROR;
    // The machine's policy names the proxy over the settings file; the
    // sign-in stays with the settings file and the prompt.
    char policyHost[kTextCapacity];
    bool hostByPolicy = kevopolicy::ReadText(KEVO_POLICY_PROXY_HOST, policyHost, sizeof policyHost);
    DWORD policyPort = 0;
    bool portByPolicy = kevopolicy::ReadDword(KEVO_POLICY_PROXY_PORT, &policyPort) && policyPort <= 65535 &&
                        kevoset::IsValidProxyPort(static_cast<int>(policyPort));
    info->proxy_type = hostByPolicy ? 2 : file.Int("proxyType", 0);
    if (info->proxy_type != 2) {
        info->proxy_type = 0;
        TraceLog(noProxyLevel, "プロキシデータ未設定\n");
        return 0;
    }
    char text[kTextCapacity];
    info->proxy_port = portByPolicy ? static_cast<int>(policyPort) : file.Int("proxyPort", 0);
    if (kevoset::IsValidProxyPort(info->proxy_port)) {
        if (hostByPolicy)
            strcpy(text, policyHost);
        else
            file.Text("proxyHost", text);
        if (text[0] != 0) {
            info->proxy_host = CopyText(text);
            if (info->proxy_host == NULL) {
                if (revoke) {
                    TraceLog(TRACE_LEVEL_ERROR, "m_SettingInfo.proxy_host:メモリが不足しています。(%s:%d)\n", TRACE_HERE);
                    return -102;
                }
                TraceLog(TRACE_LEVEL_ERROR, "メモリ不足(m_SettingInfo.proxy_host)\n");
            }
        }
    }
    if (info->proxy_host == NULL) {
        TraceLog(noProxyLevel, "プロキシデータ未設定 2\n");
        info->proxy_type = 0;
        info->proxy_port = 0;
        info->proxy_ID = NULL;
        info->proxy_password = NULL;
        return 0;
    }

    file.Text("proxyUser", text);
    if (text[0] == 0)
        return 0;
    info->proxy_ID = CopyText(text);
    if (info->proxy_ID == NULL) {
        if (revoke) {
            TraceLog(TRACE_LEVEL_ERROR, "m_SettingInfo.proxy_ID:メモリが不足しています。(%s:%d)\n", TRACE_HERE);
            return -102;
        }
        // Without a user the password is not wanted either.
        TraceLog(TRACE_LEVEL_ERROR, "メモリ不足(m_SettingInfo.proxy_ID)\n");
        return 0;
    }
    file.Text("proxyPass", text);
    if (text[0] == 0)
        return 0;
    info->proxy_password = CopyText(text);
    if (info->proxy_password == NULL) {
        if (revoke) {
            TraceLog(TRACE_LEVEL_ERROR, "m_SettingInfo.proxy_password:メモリが不足しています。(%s:%d)\n", TRACE_HERE);
            return -102;
        }
        TraceLog(TRACE_LEVEL_ERROR, "メモリ不足(m_SettingInfo.proxy_password)\n");
    }
    SecureZeroMemory(text, sizeof text);
    return 0;
}

int SetSettingInfo(Program program, SettingInfo* info)
{
    const char* name = program == kRevoke ? "CREVOKE_Http::setSettingInfo" : "SoftVerChkHttpAccess::setSettingInfo";
    TraceLog(TRACE_LEVEL_FLOW, "%s: start\n", name);
    if (info == NULL) {
        TraceLog(TRACE_LEVEL_FLOW, "%s: end\n", name);
        return -101;
    }
    memset(info, 0, sizeof *info);
    char* iniPath = NULL;
    int rc = GetInstallFilePath(program, program == kRevoke ? "KEVOGetServiceAPIPath" : "KEVOGetPath",
                                KEVO_SETTINGS_FILE_NAME, &iniPath);
    if (rc != 0) {
        if (program == kRevoke)
            TraceLog(TRACE_LEVEL_ERROR, "KEVOGetServiceAPIPath:エラーが発生しました。(%s:%d)\n", TRACE_HERE);
        else
            TraceLog(TRACE_LEVEL_ERROR, "KEVOGetServiceAPIPath() 失敗(%d)\n", rc);
        iniPath = NULL;
    } else if (strlen(iniPath) >= kMaxSettingsPath) {
        free(iniPath);
        iniPath = NULL;
    }
    rc = ReadSettings(program, info, iniPath);
    free(iniPath);
    TraceLog(TRACE_LEVEL_FLOW, "%s: end\n", name);
    return rc;
}

int OpenInternet(Program program, HINTERNET* handle, const SettingInfo* info)
{
    const bool revoke = program == kRevoke;
    if (handle != NULL)
        *handle = NULL;
    if (info == NULL || handle == NULL) {
        if (revoke)
            TraceLog(TRACE_LEVEL_ERROR, "setInfo:予期せぬエラーが発生しました。(%s:%d)\n", TRACE_HERE);
        else
            TraceLog(TRACE_LEVEL_ERROR, "引数エラー\n");
        return 0;
    }
    DWORD access = INTERNET_OPEN_TYPE_DIRECT;
    char* proxyText = NULL;
    switch (kevoset::SelectOpenType(*info)) {
    case kevoset::kOpenPreconfig:
        access = INTERNET_OPEN_TYPE_PRECONFIG;
        break;
    case kevoset::kOpenProxy: {
        access = INTERNET_OPEN_TYPE_PROXY;
        size_t capacity = kevoset::ProxyTextCapacity(info->proxy_host);
        proxyText = static_cast<char*>(Allocate(capacity));
        if (proxyText == NULL) {
            if (revoke)
                TraceLog(TRACE_LEVEL_ERROR, "proxy_host:メモリが不足しています。(%s:%d)\n", TRACE_HERE);
            else
                TraceLog(TRACE_LEVEL_ERROR, "Func: %s failed. rc=%d file=%s line=%d\n", "ProxySet", -406, TRACE_HERE);
            return -406;
        }
        kevoset::FormatProxyText(info->proxy_host, info->proxy_port, proxyText, capacity);
        break;
    }
    case kevoset::kOpenDirect:
        break;
    }
    HINTERNET internet = InternetOpenA("Http correspond", access, proxyText, NULL, 0);
    DWORD error = GetLastError();
    free(proxyText);
    if (internet == NULL) {
        char message[115];
        memset(message, 0, sizeof message);
        FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS, GetModuleHandleA("wininet.dll"),
                       error, 0, message, 114, NULL);
        if (revoke) {
            TraceLog(TRACE_LEVEL_ERROR, "InternetOpenA:エラーが発生しました。(%d:%s)(%s:%d)\n", (int)error, message,
                     TRACE_HERE);
        } else {
            TraceLog(TRACE_LEVEL_ERROR, "InternetOpen error code: %dMessage: %s\n", (int)error, message);
            TraceLog(TRACE_LEVEL_ERROR, "Func: %s failed. rc=%d file=%s line=%d\n", "InternetOpen", 0, TRACE_HERE);
        }
        SetLastError(error);
        return 0;
    }
    DWORD timeout = kTimeoutMs;
    InternetSetOptionA(internet, INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout);
    InternetSetOptionA(internet, INTERNET_OPTION_SEND_TIMEOUT, &timeout, sizeof timeout);
    *handle = internet;
    return 1;
}

int HttpInternetOpen(Program program, HINTERNET* handle, const SettingInfo* info)
{
    TraceLog(TRACE_LEVEL_FLOW, "%s: start\n", "HTTP_InternetOpen");
    int rc = OpenInternet(program, handle, info);
    TraceLog(TRACE_LEVEL_FLOW, "%s: end\n", "HTTP_InternetOpen");
    return rc;
}

void FreeText(char** text)
{
    if (*text != NULL) {
        free(*text);
        *text = NULL;
    }
}

void Release(const char* name, SettingInfo* info)
{
    TraceLog(TRACE_LEVEL_FLOW, "%s: start\n", name);
    if (info != NULL) {
        FreeText(&info->cvsurl);
        FreeText(&info->hostname);
        FreeText(&info->proxy_host);
        FreeText(&info->proxy_ID);
        if (info->proxy_password != NULL)
            SecureZeroMemory(info->proxy_password, strlen(info->proxy_password));
        FreeText(&info->proxy_password);
    }
    TraceLog(TRACE_LEVEL_FLOW, "%s: end\n", name);
}

}  // namespace

int KEVOGetServiceAPIPath(const char* fileName, char** path)
{
    if (fileName == NULL) {
        TraceLog(TRACE_LEVEL_FLOW, "%s: start\n", "KEVOGetServiceAPIPath");
        TraceLog(TRACE_LEVEL_FLOW, "%s: end\n", "KEVOGetServiceAPIPath");
        return -104;
    }
    return GetInstallFilePath(kRevoke, "KEVOGetServiceAPIPath", fileName, path);
}

void KEVO_CVS_Release_CVSfuncMemory(SettingInfo* info)
{
    Release("KEVO_CVS_Release_CVSfuncMemory", info);
}

int KEVOGetPath(char** path)
{
    return GetInstallFilePath(kVerchk, "KEVOGetPath", KEVO_SETTINGS_FILE_NAME, path);
}

namespace KevoRevoke {
int setSettingInfo(SettingInfo* info) { return SetSettingInfo(kRevoke, info); }
int setURLData(const char* url, char* host, char* path, int* port) { return CrackUrl(kRevoke, url, host, path, port); }
int HTTP_InternetOpen(HINTERNET* handle, const SettingInfo* info) { return HttpInternetOpen(kRevoke, handle, info); }
}  // namespace KevoRevoke

namespace KevoVerchk {
int setSettingInfo(SettingInfo* info) { return SetSettingInfo(kVerchk, info); }
int setURLData(const char* url, char* host, char* path, int* port) { return CrackUrl(kVerchk, url, host, path, port); }
int HTTP_InternetOpen(HINTERNET* handle, const SettingInfo* info) { return HttpInternetOpen(kVerchk, handle, info); }
void MemoryRelease(SettingInfo* info) { Release("MemoryRelease", info); }
}  // namespace KevoVerchk

namespace KevoSettingsTesting {
void FailAllocation(int nth) { g_failAllocationAt = nth; }
}

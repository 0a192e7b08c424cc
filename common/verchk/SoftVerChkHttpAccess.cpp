#include "SoftVerChkHttpAccess.h"

#include <string.h>

#include "KevoSettings.h"
#include "KevoWinInet.h"
#include "SettingsCore.h"
#include "TraceLog.h"

namespace {

const char kVersionObject[] = "/reception/verinfo/kevosoft.ver";
const DWORD kTimeoutMs = 360000;
const int kCancelled = 700;

void CloseInternetHandle(HINTERNET* handle)
{
    if (*handle != NULL) {
        InternetCloseHandle(*handle);
        *handle = NULL;
    }
}

bool QueryStatus(HINTERNET request, DWORD* status)
{
    DWORD value = 0;
    DWORD size = sizeof value;
    if (!HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &value, &size, NULL))
        return false;
    *status = value;
    return true;
}

}  // namespace

SoftVerChkHttpAccess::SoftVerChkHttpAccess() : m_exchangeTimeoutMs(kTimeoutMs), m_lastError(0)
{
    memset(&m_SettingInfo, 0, sizeof m_SettingInfo);
}

int SoftVerChkHttpAccess::setSettingInfo()
{
    return KevoVerchk::setSettingInfo(&m_SettingInfo);
}

void SoftVerChkHttpAccess::MemoryRelease()
{
    KevoVerchk::MemoryRelease(&m_SettingInfo);
}

HINTERNET SoftVerChkHttpAccess::OpenVersionRequest(HINTERNET connection) const
{
    // The cache is never written; certificate problems are not relaxed. That
    // includes the revocation check of the server's certificate: when it
    // cannot be made the check fails like any other (no notice), and it is
    // never retried without it, since a notice is an invitation to install.
    DWORD flags = INTERNET_FLAG_NO_CACHE_WRITE;
    if (m_SettingInfo.secure == 1)
        flags |= INTERNET_FLAG_SECURE;
    return HttpOpenRequestA(connection, "GET", kVersionObject, "", NULL, NULL, flags, 0);
}

int SoftVerChkHttpAccess::HttpOpenRequest(HINTERNET* internet, HINTERNET* connection, HINTERNET* request)
{
    const char* name = "SoftVerChkHttpAccess::HttpOpenRequest";
    TraceLog(TRACE_LEVEL_FLOW, "%s: start\n", name);
    *internet = NULL;
    *connection = NULL;
    *request = NULL;
    long result = -104;
    HINTERNET hInternet = NULL;
    HINTERNET hConnect = NULL;
    HINTERNET hRequest = NULL;

    if (KevoVerchk::HTTP_InternetOpen(&hInternet, &m_SettingInfo) != 1) {
        TraceLog(TRACE_LEVEL_ERROR, "HTTP_InternetOpen() 失敗(%ld)\n", (long)GetLastError());
    } else {
        DWORD timeout = m_exchangeTimeoutMs;
        InternetSetOptionA(hInternet, INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout);
        InternetSetOptionA(hInternet, INTERNET_OPTION_SEND_TIMEOUT, &timeout, sizeof timeout);
        hConnect = InternetConnectA(hInternet, m_SettingInfo.hostname, static_cast<INTERNET_PORT>(m_SettingInfo.port),
                                    "", "", INTERNET_SERVICE_HTTP, 0, 0);
        if (hConnect == NULL) {
            TraceLog(TRACE_LEVEL_ERROR, "InternetConnect() 失敗(%ld)\n", (long)GetLastError());
        } else {
            if (kevoset::HasProxyCredentials(m_SettingInfo)) {
                InternetSetOptionA(hConnect, INTERNET_OPTION_PROXY_USERNAME, m_SettingInfo.proxy_ID,
                                   static_cast<DWORD>(strlen(m_SettingInfo.proxy_ID) + 1));
                InternetSetOptionA(hConnect, INTERNET_OPTION_PROXY_PASSWORD, m_SettingInfo.proxy_password,
                                   static_cast<DWORD>(strlen(m_SettingInfo.proxy_password) + 1));
            }
            hRequest = OpenVersionRequest(hConnect);
            if (hRequest == NULL)
                TraceLog(TRACE_LEVEL_ERROR, "HttpOpenRequest() 失敗(%ld)\n", (long)GetLastError());
            else
                result = 0;
        }
    }
    if (result == 0) {
        *internet = hInternet;
        *connection = hConnect;
        *request = hRequest;
    } else {
        CloseInternetHandle(&hRequest);
        CloseInternetHandle(&hConnect);
        CloseInternetHandle(&hInternet);
    }
    TraceLog(TRACE_LEVEL_ERROR, "リターン値:%ld\n", result);
    TraceLog(TRACE_LEVEL_FLOW, "%s: end\n", name);
    return static_cast<int>(result);
}

int SoftVerChkHttpAccess::ReadVersion(HINTERNET request, SoftwareVersion* ver)
{
    // Only the first 33 bytes take part; the buffer stays zero-terminated.
    char text[kVersionFileReadSize + 1];
    memset(text, 0, sizeof text);
    DWORD got = 0;
    if (!InternetReadFile(request, text, kVersionFileReadSize, &got)) {
        m_lastError = GetLastError();
        TraceLog(TRACE_LEVEL_ERROR, "受信失敗\n");
        kevoinet::TraceWinInetError(m_lastError, "InternetReadFile", TRACE_HERE);
        return -104;
    }
    if (text[0] == 0) {
        TraceLog(TRACE_LEVEL_ERROR, "受信失敗\n");
        return -104;
    }
    TraceLog(TRACE_LEVEL_ERROR, "受信成功:%s\n", text);
    switch (ParseVersionText(text, ver)) {
    case kVersionMissingMajor:
        TraceLog(TRACE_LEVEL_ERROR, "majorデータがありません\n");
        return -104;
    case kVersionMissingMinor:
        TraceLog(TRACE_LEVEL_ERROR, "minorデータがありません\n");
        return -104;
    case kVersionMissingRevision:
        TraceLog(TRACE_LEVEL_ERROR, "revisionデータがありません\n");
        return -104;
    case kVersionMissingBuild:
        TraceLog(TRACE_LEVEL_ERROR, "buildデータがありません\n");
        return -104;
    case kVersionParsed:
        break;
    }
    TraceLog(TRACE_LEVEL_ERROR, "受信データコンバート major = %d, minor = %d,revision = %d,buld = %d \n", (int)ver->major,
             (int)ver->minor, (int)ver->revision, (int)ver->build);
    return 0;
}

// Sends the request, handles one proxy sign-in and reads the version. The
// request handle may be replaced by the retry's; the caller closes it.
int SoftVerChkHttpAccess::FetchVersion(HINTERNET connection, HINTERNET* request, SoftwareVersion* ver)
{
    if (!kevoinet::SendRequest(*request, NULL, 0, NULL, 0)) {
        m_lastError = GetLastError();
        TraceLog(TRACE_LEVEL_ERROR, "HttpSendRequest 失敗(%ld)\n", (long)m_lastError);
        return -104;
    }
    DWORD status = 0;
    bool known = QueryStatus(*request, &status);
    if (known && status == HTTP_STATUS_PROXY_AUTH_REQ) {
        if (m_signInPrompt.empty() || MessageBoxW(NULL, m_signInPrompt.c_str(), m_signInCaption.c_str(),
                                                  MB_OKCANCEL | MB_ICONINFORMATION) != IDOK) {
            TraceLog(TRACE_LEVEL_ERROR, "バージョン確認キャンセル(%ld)\n", (long)kCancelled);
            return kCancelled;
        }
        DWORD answer = InternetErrorDlg(GetDesktopWindow(), *request, ERROR_INTERNET_INCORRECT_PASSWORD,
                                        FLAGS_ERROR_UI_FILTER_FOR_ERRORS | FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS |
                                            FLAGS_ERROR_UI_FLAGS_GENERATE_DATA,
                                        NULL);
        if (answer != ERROR_INTERNET_FORCE_RETRY) {
            TraceLog(TRACE_LEVEL_ERROR, "InternetErrorDlg キャンセル(%ld)\n", (long)kCancelled);
            return kCancelled;
        }
        // One retry on the same connection; a second 407 is not prompted
        // again. The retry carries its own copy of what the user typed, which
        // the window kept on the answered request.
        HINTERNET retry = OpenVersionRequest(connection);
        if (retry == NULL) {
            DWORD error = GetLastError();
            CloseInternetHandle(request);
            TraceLog(TRACE_LEVEL_ERROR, "再接続 HttpOpenRequest失敗(%ld)\n", (long)error);
            return -104;
        }
        if (!kevoinet::CarryProxyCredentials(*request, retry))
            TraceLog(TRACE_LEVEL_ERROR, "CarryProxyCredentials 失敗\n");
        CloseInternetHandle(request);
        *request = retry;
        bool sent = kevoinet::SendRequest(*request, NULL, 0, NULL, 0) != FALSE;
        if (!sent) {
            m_lastError = GetLastError();
            TraceLog(TRACE_LEVEL_ERROR, "HttpSendRequest 失敗 2(%ld)\n", (long)m_lastError);
        }
        status = 0;
        if (!QueryStatus(*request, &status) || status != HTTP_STATUS_OK) {
            TraceLog(TRACE_LEVEL_ERROR, "InternetErrorDlg エラーnRtn:(%ld),dwCode(%ld)\n", -104L, (long)status);
            return -104;
        }
        if (!sent)
            return -104;
    } else if (!known || status != HTTP_STATUS_OK) {
        // Only a version file is parsed: an error page whose first bytes
        // happen to hold digits and dots must not raise a notice.
        TraceLog(TRACE_LEVEL_ERROR, "HttpQueryInfo ステータスエラー nRtn:(%ld),dwCode(%ld)\n", -104L, (long)status);
        return -104;
    }
    return ReadVersion(*request, ver);
}

int SoftVerChkHttpAccess::getServerVersion(SoftwareVersion* ver)
{
    const char* name = "SoftVerChkHttpAccess::getServerVersion";
    TraceLog(TRACE_LEVEL_FLOW, "%s: start\n", name);
    if (ver == NULL) {
        TraceLog(TRACE_LEVEL_ERROR, "getServerVersion() Parameter Error ver = NULL\n");
        return -101;
    }
    m_lastError = 0;
    HINTERNET internet = NULL;
    HINTERNET connection = NULL;
    HINTERNET request = NULL;
    int rc = HttpOpenRequest(&internet, &connection, &request);
    if (rc != 0) {
        TraceLog(TRACE_LEVEL_ERROR, "HttpOpenRequest失敗(%ld)\n", (long)rc);
        return rc;
    }
    long result = FetchVersion(connection, &request, ver);
    CloseInternetHandle(&request);
    CloseInternetHandle(&connection);
    CloseInternetHandle(&internet);
    TraceLog(TRACE_LEVEL_ERROR, "リターン値:%ld\n", result);
    TraceLog(TRACE_LEVEL_FLOW, "%s: end\n", name);
    return static_cast<int>(result);
}

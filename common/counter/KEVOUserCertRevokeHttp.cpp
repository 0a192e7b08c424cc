#include "KEVOUserCertRevokeHttp.h"

#include <stdlib.h>
#include <string.h>

#include "KevoSettings.h"
#include "KevoWinInet.h"
#include "RevokeStreamData.h"
#include "ServerDateFilter.h"
#include "TextBuffer.h"
#include "TraceLog.h"
#include "TraceScope.h"

namespace {

// Both exchanges may block this long on a silent server (six minutes).
const DWORD kExchangeTimeoutMs = 360000;
const char kRevokeHeader[] = "Content-Type: application/octet-stream";
// The proxy sign-in window's flags: filter for errors, change options,
// generate data.
const DWORD kSignInFlags =
    FLAGS_ERROR_UI_FILTER_FOR_ERRORS | FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS | FLAGS_ERROR_UI_FLAGS_GENERATE_DATA;

// A WinINet handle that closes itself.
class InternetHandle {
public:
    InternetHandle() : handle_(NULL) {}
    ~InternetHandle() { Close(); }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;

    HINTERNET Get() const { return handle_; }
    void Reset(HINTERNET handle)
    {
        Close();
        handle_ = handle;
    }
    // Gives the handle up without closing it.
    HINTERNET Release()
    {
        HINTERNET handle = handle_;
        handle_ = NULL;
        return handle;
    }
    void Close()
    {
        if (handle_ != NULL) {
            InternetCloseHandle(handle_);
            handle_ = NULL;
        }
    }

private:
    HINTERNET handle_;
};

// The three handles of one exchange, closed request first.
struct Exchange {
    InternetHandle internet;
    InternetHandle connection;
    InternetHandle request;
    ~Exchange()
    {
        request.Close();
        connection.Close();
        internet.Close();
    }
};

// What one attempt sends; the retry after the sign-in sends the same.
struct Payload {
    const char* headers;
    DWORD headersLength;
    void* body;
    DWORD bodyLength;
};

void SetTimeouts(HINTERNET handle, DWORD timeout)
{
    InternetSetOptionA(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout);
    InternetSetOptionA(handle, INTERNET_OPTION_SEND_TIMEOUT, &timeout, sizeof timeout);
}

// A POST request for objectName on the connection, with the server
// certificate checked except for its revocation state. NULL on failure,
// with the Windows error left as the last error.
// Redirects are not followed: the counter's own status is its verdict, and a
// 3xx must not become another host's 200 (nor the POST a GET carrying
// another host's body as the clock).
HINTERNET OpenPostRequest(HINTERNET connection, const char* objectName, int secure)
{
    DWORD flags = INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_AUTO_REDIRECT;
    if (secure == 1)
        flags |= INTERNET_FLAG_SECURE;
    HINTERNET request = HttpOpenRequestA(connection, "POST", objectName, "", NULL, NULL, flags, 0);
    if (request == NULL)
        return NULL;
    // The revocation list of the server's certificate is not reachable from
    // every network the tool runs in; every other check of the certificate
    // stays. A plain-HTTP request has no certificate to check, so a refusal
    // of the option there is of no consequence.
    DWORD security = SECURITY_FLAG_IGNORE_REVOCATION;
    InternetSetOptionA(request, INTERNET_OPTION_SECURITY_FLAGS, &security, sizeof security);
    return request;
}

BOOL Send(HINTERNET request, const Payload& payload)
{
    return kevoinet::SendRequest(request, payload.headers, payload.headersLength, payload.body, payload.bodyLength);
}

// The status code of the reply; false when it cannot be read. A connection
// that closes without a status line can read as status 0: that is no reply,
// and a counter verdict of 0 would read as success.
bool QueryStatus(HINTERNET request, DWORD* status)
{
    DWORD value = 0;
    DWORD size = sizeof value;
    if (!HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &value, &size, NULL))
        return false;
    if (value < 100 || value > 999) {
        SetLastError(ERROR_HTTP_INVALID_SERVER_RESPONSE);
        return false;
    }
    *status = value;
    return true;
}

enum SignInOutcome {
    kSignInResent,       // the request was sent once more with the user's entry
    kSignInCancelled,    // the window was closed without a retry
    kSignInReopenFailed, // the new request could not be opened
    kSignInResendFailed  // the new request could not be sent
};

// The proxy asked for credentials (407): shows the platform's sign-in window
// once and, when the user asks for a retry, replaces the request with a new
// one on the same connection and sends the same payload again. There is
// exactly one retry; whatever the proxy answers to it is the caller's.
SignInOutcome ProxySignIn(Exchange& exchange, const char* objectName, int secure, const Payload& payload)
{
    DWORD answer = InternetErrorDlg(GetDesktopWindow(), exchange.request.Get(), ERROR_INTERNET_INCORRECT_PASSWORD,
                                    kSignInFlags, NULL);
    if (answer != ERROR_INTERNET_FORCE_RETRY) {
        TraceWinError(answer, "InternetErrorDlg", TRACE_HERE);
        return kSignInCancelled;
    }
    HINTERNET request = OpenPostRequest(exchange.connection.Get(), objectName, secure);
    if (request == NULL) {
        TraceWinError(GetLastError(), "HttpOpenRequestA", TRACE_HERE);
        return kSignInReopenFailed;
    }
    // What the user typed is kept on the answered request, which goes now;
    // the retry carries its own copy (a failure to copy leaves the retry to
    // whatever the platform kept, and the proxy's answer decides).
    if (!kevoinet::CarryProxyCredentials(exchange.request.Get(), request))
        TraceLog(TRACE_LEVEL_ERROR, "CarryProxyCredentials:エラーが発生しました。(%s:%d)\n", TRACE_HERE);
    exchange.request.Reset(request);
    if (!Send(request, payload)) {
        TraceWinError(GetLastError(), "HttpSendRequest", TRACE_HERE);
        return kSignInResendFailed;
    }
    return kSignInResent;
}

// Reads into buffer until it holds capacity bytes or the reply ends. False
// when a read fails (the bytes read so far stay in buffer and *total).
bool ReadUpTo(HINTERNET request, char* buffer, DWORD capacity, DWORD* total)
{
    *total = 0;
    while (*total < capacity) {
        DWORD got = 0;
        if (!InternetReadFile(request, buffer + *total, capacity - *total, &got))
            return false;
        if (got == 0)
            break;
        *total += got;
    }
    return true;
}

}  // namespace

CREVOKE_Http::CREVOKE_Http()
    : m_askProxySignIn(true), m_exchangeTimeoutMs(kExchangeTimeoutMs), m_lastStatus(0), m_lastError(0)
{
    ZeroMemory(&m_SettingInfo, sizeof m_SettingInfo);
}

CREVOKE_Http::~CREVOKE_Http()
{
    KEVO_CVS_Release_CVSfuncMemory(&m_SettingInfo);
}

int CREVOKE_Http::setSettingInfo()
{
    // A second reading must not leak the strings of the first.
    const SettingInfo& info = m_SettingInfo;
    if (info.cvsurl != NULL || info.hostname != NULL || info.proxy_host != NULL || info.proxy_ID != NULL ||
        info.proxy_password != NULL)
        KEVO_CVS_Release_CVSfuncMemory(&m_SettingInfo);
    return KevoRevoke::setSettingInfo(&m_SettingInfo);
}

int CREVOKE_Http::HttpOpenRequest(const SettingInfo* setInfo, const char* objectName, HINTERNET* hInternet,
                                  HINTERNET* hConnect, HINTERNET* hRequest)
{
    TraceScope scope("CREVOKE_Http::HttpOpenRequest");
    if (hInternet == NULL || hConnect == NULL || hRequest == NULL) {
        TraceLog(TRACE_LEVEL_ERROR, "hInternet hConnect hRequest:予期せぬエラーが発生しました。(%s:%d)\n", TRACE_HERE);
        return -104;
    }
    *hInternet = NULL;
    *hConnect = NULL;
    *hRequest = NULL;

    Exchange exchange;
    HINTERNET internet = NULL;
    if (KevoRevoke::HTTP_InternetOpen(&internet, setInfo) != 1) {
        TraceLog(TRACE_LEVEL_ERROR, "HTTP_InternetOpen:エラーが発生しました。(%s:%d)\n", TRACE_HERE);
        return -104;
    }
    exchange.internet.Reset(internet);
    SetTimeouts(internet, m_exchangeTimeoutMs);
    if (setInfo->hostname == NULL || objectName == NULL) {
        TraceLog(TRACE_LEVEL_ERROR, "hostname:予期せぬエラーが発生しました。(%s:%d)\n", TRACE_HERE);
        return -104;
    }

    HINTERNET connection = InternetConnectA(internet, setInfo->hostname, (INTERNET_PORT)setInfo->port, "", "",
                                            INTERNET_SERVICE_HTTP, 0, 0);
    if (connection == NULL) {
        TraceWinError(GetLastError(), "InternetConnect", TRACE_HERE);
        return -104;
    }
    exchange.connection.Reset(connection);

    // Credentials of the settings file answer the proxy without a window;
    // a user name alone is not used.
    if (setInfo->proxy_ID != NULL && setInfo->proxy_ID[0] != '\0' && setInfo->proxy_password != NULL &&
        setInfo->proxy_password[0] != '\0') {
        if (!InternetSetOptionA(connection, INTERNET_OPTION_PROXY_USERNAME, setInfo->proxy_ID,
                                (DWORD)strlen(setInfo->proxy_ID)))
            TraceWinError(GetLastError(), "InternetSetOption", TRACE_HERE);
        if (!InternetSetOptionA(connection, INTERNET_OPTION_PROXY_PASSWORD, setInfo->proxy_password,
                                (DWORD)strlen(setInfo->proxy_password)))
            TraceWinError(GetLastError(), "InternetSetOption", TRACE_HERE);
    }

    HINTERNET request = OpenPostRequest(connection, objectName, setInfo->secure);
    if (request == NULL) {
        TraceWinError(GetLastError(), "HttpOpenRequest", TRACE_HERE);
        return -104;
    }

    // The caller owns the handles now.
    *hRequest = request;
    *hConnect = exchange.connection.Release();
    *hInternet = exchange.internet.Release();
    return 0;
}

int CREVOKE_Http::getServerDate(CTextBuffer* lpDate, const SettingInfo* setInfo)
{
    TraceScope scope("CREVOKE_Http::getServerDate");
    if (lpDate == NULL) {
        TraceLog(TRACE_LEVEL_ERROR, "lpDate:予期せぬエラーが発生しました。(%s:%d)\n", TRACE_HERE);
        return -101;
    }
    lpDate->Clear();
    m_lastStatus = 0;
    m_lastError = 0;
    if (setInfo == NULL) {
        TraceLog(TRACE_LEVEL_ERROR, "setInfo:予期せぬエラーが発生しました。(%s:%d)\n", TRACE_HERE);
        return -101;
    }

    Exchange exchange;
    HINTERNET internet = NULL, connection = NULL, request = NULL;
    int rc = HttpOpenRequest(setInfo, KEVO_COUNTER_TIME_OBJECT, &internet, &connection, &request);
    if (rc != 0) {
        TraceLog(TRACE_LEVEL_ERROR, "HttpOpenRequest:エラーが発生しました。(%d)(%s:%d)\n", rc, TRACE_HERE);
        return rc;
    }
    exchange.internet.Reset(internet);
    exchange.connection.Reset(connection);
    exchange.request.Reset(request);

    Payload payload = {NULL, 0, NULL, 0};
    if (!Send(request, payload)) {
        m_lastError = GetLastError();
        TraceWinError(m_lastError, "HttpSendRequest", TRACE_HERE);
        return 706;
    }
    // Only a proxy's demand for credentials matters here; any other status
    // may still carry the clock.
    DWORD status = 0;
    if (QueryStatus(exchange.request.Get(), &status))
        m_lastStatus = status;
    if (m_lastStatus == HTTP_STATUS_PROXY_AUTH_REQ) {
        if (!m_askProxySignIn)
            return 700;
        switch (ProxySignIn(exchange, KEVO_COUNTER_TIME_OBJECT, setInfo->secure, payload)) {
        case kSignInResent:
            m_lastStatus = QueryStatus(exchange.request.Get(), &status) ? status : 0;
            break;
        case kSignInCancelled:
            return 700;
        default:
            m_lastError = GetLastError();
            return 706;
        }
    }

    // The clock is in the first bytes of the reply; the rest is not looked at.
    char text[SERVER_DATE_REPLY_LIMIT + 1];
    memset(text, 0, sizeof text);
    DWORD got = 0;
    if (!ReadUpTo(exchange.request.Get(), text, SERVER_DATE_REPLY_LIMIT, &got)) {
        m_lastError = GetLastError();
        TraceWinError(m_lastError, "InternetReadFile", TRACE_HERE);
        kevoinet::TraceWinInetError(m_lastError, "InternetReadFile", TRACE_HERE);
        return 706;
    }
    if (text[0] == '\0') {
        TraceLog(TRACE_LEVEL_ERROR, "InternetReadFile:エラーが発生しました。(%s:%d)\n", TRACE_HERE);
        return 706;
    }
    TraceLog(TRACE_LEVEL_FLOW, "受信成功:%s\n", text);

    char digits[SERVER_DATE_DIGITS + 1];
    if (!FilterServerDate(text, digits)) {
        TraceLog(TRACE_LEVEL_ERROR, "strDate:予期せぬエラーが発生しました。(%s:%d)\n", TRACE_HERE);
        return 706;
    }
    if (!lpDate->Append(digits)) {
        TraceLog(TRACE_LEVEL_ERROR, "lpDate->Append:メモリが不足しています。(%s:%d)\n", TRACE_HERE);
        lpDate->Clear();
        return 706;
    }
    TraceLog(TRACE_LEVEL_FLOW, "日付変換:%s\n", digits);
    return 0;
}

int CREVOKE_Http::revoke(CTextBuffer* lpXml, const SettingInfo* setInfo, CTextBuffer* lpResultData)
{
    TraceScope scope("CREVOKE_Http::revoke");
    if (lpXml == NULL || lpResultData == NULL) {
        TraceLog(TRACE_LEVEL_ERROR, "lpXmlOBJ lpResultData:予期せぬエラーが発生しました。(%s:%d)\n", TRACE_HERE);
        return -101;
    }
    lpResultData->Clear();
    if (setInfo == NULL) {
        TraceLog(TRACE_LEVEL_ERROR, "setInfo:予期せぬエラーが発生しました。(%s:%d)\n", TRACE_HERE);
        return -101;
    }

    const char* strXmlUTF8 = lpXml->GetUTF8();
    if (strXmlUTF8 == NULL) {
        TraceLog(TRACE_LEVEL_ERROR, "strXmlUTF8:メモリが不足しています。(%s:%d)\n", TRACE_HERE);
        return 701;
    }
    size_t streamSize = 0;
    unsigned char* lpStreamData =
        MakeRevokeStreamData(reinterpret_cast<const unsigned char*>(strXmlUTF8), strlen(strXmlUTF8), &streamSize);
    if (lpStreamData == NULL) {
        TraceLog(TRACE_LEVEL_ERROR, "lpStreamData:メモリが不足しています。(%s:%d)\n", TRACE_HERE);
        return 701;
    }

    int result = 0;
    {
        Exchange exchange;
        HINTERNET internet = NULL, connection = NULL, request = NULL;
        int rc = HttpOpenRequest(setInfo, KEVO_COUNTER_REVOKE_OBJECT, &internet, &connection, &request);
        if (rc != 0) {
            TraceWinError(GetLastError(), "HttpOpenRequest", TRACE_HERE);
            free(lpStreamData);
            return rc;
        }
        exchange.internet.Reset(internet);
        exchange.connection.Reset(connection);
        exchange.request.Reset(request);

        Payload payload = {kRevokeHeader, (DWORD)(sizeof kRevokeHeader - 1), lpStreamData, (DWORD)streamSize};
        DWORD status = 0;
        if (!Send(request, payload)) {
            TraceWinError(GetLastError(), "HttpSendRequest", TRACE_HERE);
            result = 707;
        } else if (!QueryStatus(exchange.request.Get(), &status)) {
            TraceWinError(GetLastError(), "HttpQueryInfo", TRACE_HERE);
            result = 707;
        } else if (status == HTTP_STATUS_PROXY_AUTH_REQ) {
            switch (ProxySignIn(exchange, KEVO_COUNTER_REVOKE_OBJECT, setInfo->secure, payload)) {
            case kSignInResent:
                if (!QueryStatus(exchange.request.Get(), &status)) {
                    TraceWinError(GetLastError(), "HttpQueryInfo", TRACE_HERE);
                    result = 707;
                }
                break;
            case kSignInCancelled:
                result = 700;
                break;
            default:
                result = 707;
                break;
            }
        }

        if (result == 0) {
            // The verdict is the status of the last request; the body is only
            // kept and logged, and no more of it than the reply limit is read:
            // closing the handles drops whatever the server still sends.
            result = (int)status;
            TraceLog(TRACE_LEVEL_FLOW, "ステータスコード:%d\n", result);
            size_t kept = 0;
            for (;;) {
                size_t ask = RevokeReplyNextRead(kept);
                if (ask == 0)
                    break;
                char chunk[REVOKE_REPLY_CHUNK + 1];
                memset(chunk, 0, sizeof chunk);
                DWORD got = 0;
                if (!InternetReadFile(exchange.request.Get(), chunk, (DWORD)ask, &got)) {
                    const DWORD error = GetLastError();
                    TraceWinError(error, "InternetReadFile", TRACE_HERE);
                    kevoinet::TraceWinInetError(error, "InternetReadFile", TRACE_HERE);
                    break;
                }
                if (got == 0)
                    break;
                kept += got;
                if (chunk[0] == '\0')
                    continue;
                TraceLog(TRACE_LEVEL_FLOW, "受信データ:%s\n", chunk);
                if (!lpResultData->Append(chunk)) {
                    TraceLog(TRACE_LEVEL_ERROR, "lpResultData->Append:エラーが発生しました。(%s:%d)\n", TRACE_HERE);
                    break;
                }
            }
        }
    }
    free(lpStreamData);
    TraceLog(TRACE_LEVEL_FLOW, "リターン値:%d\n", result);
    return result;
}

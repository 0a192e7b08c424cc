// The network section: a connection to the counter (or the proxy of the
// settings file), the counter's clock through the wizard's own client (its
// settings, proxy handling and certificate checks) and the published version
// file through the version checker's client. Each step runs under a limit
// of its own, so that the section ends in time whatever the network does.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <wininet.h>

#include <stdio.h>
#include <stdlib.h>

#include "DiagBounded.h"
#include "DiagChecks.h"
#include "DiagNames.h"
#include "DiagTexts.h"
#include "KEVOUserCertRevokeHttp.h"
#include "SoftVerChkHttpAccess.h"
#include "TextBuffer.h"

namespace {

// Beyond this the PC's clock is reported as wrong. The request documents
// carry the PC's time, and certificate checks fail on a clock this far off.
const long long kClockLimitSeconds = 300;
// The limits of the steps; together well within the 45 s a report may take.
const DWORD kConnectLimitMs = 10000;     // name lookup and connection
// Each send and each receive of both requests. On Windows WinINet ends a
// silent exchange with ERROR_INTERNET_TIMEOUT after this long, before the
// limit of the whole request; that error is reported like the limit.
const DWORD kExchangeTimeoutMs = 10000;
const DWORD kClockLimitMs = 15000;       // the whole clock request
const DWORD kVersionLimitMs = 12000;     // the whole version file request

// The steps a time-out names.
enum NetworkStep { kStepLookup, kStepConnect, kStepReply, kStepVersionFile };

const wchar_t* StepName(LONG step)
{
    static const wchar_t* const kNames[] = {kStepNameLookup, kStepNameConnect, kStepNameReply, kStepNameVersion};
    return kNames[step >= 0 && step <= kStepVersionFile ? step : kStepConnect];
}

// A TCP connection to host:port, closed at once: says whether the name is
// known and the port answers.
struct ConnectWork : BoundedWork {
    std::string host;
    int port = 0;
    int lookupError = 0;   // getaddrinfo's error; 0 when the name was found
    int connectError = 0;  // Winsock error of the last address tried; 0 when connected
    void Run() override
    {
        WSADATA data;
        if (WSAStartup(MAKEWORD(2, 2), &data) != 0) {
            lookupError = WSASYSNOTREADY;
            return;
        }
        step = kStepLookup;
        char service[16];
        snprintf(service, sizeof service, "%d", port);
        addrinfo hints;
        ZeroMemory(&hints, sizeof hints);
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_protocol = IPPROTO_TCP;
        addrinfo* found = NULL;
        lookupError = getaddrinfo(host.c_str(), service, &hints, &found);
        step = kStepConnect;
        connectError = lookupError == 0 ? ConnectAny(found) : WSAECONNREFUSED;
        if (found != NULL)
            freeaddrinfo(found);
        WSACleanup();
    }

    // Every address at once: a dead first one (an IPv6 address that nothing
    // routes) must not use up the step's limit before the next is tried.
    // The step's limit ends a wait that no address answers.
    static int ConnectAny(addrinfo* found)
    {
        SOCKET sockets[FD_SETSIZE];
        int open = 0;
        int error = WSAECONNREFUSED;
        bool connected = false;
        for (addrinfo* address = found; address != NULL && open < FD_SETSIZE && !connected;
             address = address->ai_next) {
            SOCKET s = socket(address->ai_family, address->ai_socktype, address->ai_protocol);
            if (s == INVALID_SOCKET)
                continue;
            u_long nonBlocking = 1;
            ioctlsocket(s, FIONBIO, &nonBlocking);
            if (connect(s, address->ai_addr, (int)address->ai_addrlen) == 0) {
                connected = true;
                closesocket(s);
            } else if (WSAGetLastError() == WSAEWOULDBLOCK) {
                sockets[open++] = s;
            } else {
                error = WSAGetLastError();
                closesocket(s);
            }
        }
        while (!connected && open > 0) {
            fd_set writable, failed;
            FD_ZERO(&writable);
            FD_ZERO(&failed);
            for (int i = 0; i < open; ++i) {
                FD_SET(sockets[i], &writable);
                FD_SET(sockets[i], &failed);
            }
            timeval wait = {(long)(kConnectLimitMs / 1000), 0};
            if (select(0, NULL, &writable, &failed, &wait) <= 0) {
                error = WSAETIMEDOUT;
                break;
            }
            for (int i = open - 1; i >= 0; --i) {
                if (FD_ISSET(sockets[i], &writable)) {
                    connected = true;
                } else if (FD_ISSET(sockets[i], &failed)) {
                    int code = 0;
                    int size = sizeof code;
                    getsockopt(sockets[i], SOL_SOCKET, SO_ERROR, (char*)&code, &size);
                    error = code != 0 ? code : WSAECONNREFUSED;
                    closesocket(sockets[i]);
                    sockets[i] = sockets[--open];
                }
            }
        }
        for (int i = 0; i < open; ++i)
            closesocket(sockets[i]);
        return connected ? 0 : error;
    }
};

struct ClockWork : BoundedWork {
    CREVOKE_Http http;
    CTextBuffer date;
    int rc = 0;
    void Run() override
    {
        step = kStepReply;
        rc = http.getServerDate(&date, &http.m_SettingInfo);
    }
};

struct VersionWork : BoundedWork {
    SoftVerChkHttpAccess access;
    SoftwareVersion server = {0, 0, 0, 0};
    int rc = 0;
    void Run() override
    {
        step = kStepVersionFile;
        rc = access.setSettingInfo();
        if (rc == 0)
            rc = access.getServerVersion(&server);
        access.MemoryRelease();
    }
};

long long FileTimeSeconds(const FILETIME& time)
{
    ULARGE_INTEGER ticks;
    ticks.LowPart = time.dwLowDateTime;
    ticks.HighPart = time.dwHighDateTime;
    return (long long)(ticks.QuadPart / 10000000ULL);
}

// Seconds by which the counter's clock (14 digits, UTC) is ahead of the PC's.
bool ClockDifference(const char* digits, long long* seconds)
{
    SYSTEMTIME server;
    ZeroMemory(&server, sizeof server);
    if (sscanf(digits, "%4hu%2hu%2hu%2hu%2hu%2hu", &server.wYear, &server.wMonth, &server.wDay, &server.wHour,
               &server.wMinute, &server.wSecond) != 6)
        return false;
    FILETIME serverTime, pcTime;
    if (!SystemTimeToFileTime(&server, &serverTime))
        return false;
    GetSystemTimeAsFileTime(&pcTime);
    *seconds = FileTimeSeconds(serverTime) - FileTimeSeconds(pcTime);
    return true;
}

// Windows' internet settings of the LAN connection, which the programs
// follow when neither the policy nor the settings file names a proxy.
struct SystemProxy {
    bool autoDetect = false;
    std::wstring script;  // the automatic configuration script's address
    std::wstring server;  // "host:port" or a per-scheme list
    bool Used() const { return autoDetect || !script.empty() || !server.empty(); }
};

std::wstring TakeOptionText(LPWSTR text)
{
    std::wstring taken = text != NULL ? text : L"";
    if (text != NULL)
        GlobalFree(text);
    return taken;
}

SystemProxy ReadSystemProxy()
{
    SystemProxy proxy;
    INTERNET_PER_CONN_OPTIONW options[3];
    ZeroMemory(options, sizeof options);
    options[0].dwOption = INTERNET_PER_CONN_FLAGS;
    options[1].dwOption = INTERNET_PER_CONN_PROXY_SERVER;
    options[2].dwOption = INTERNET_PER_CONN_AUTOCONFIG_URL;
    INTERNET_PER_CONN_OPTION_LISTW list;
    ZeroMemory(&list, sizeof list);
    list.dwSize = sizeof list;
    list.dwOptionCount = 3;
    list.pOptions = options;
    DWORD size = sizeof list;
    if (!InternetQueryOptionW(NULL, INTERNET_OPTION_PER_CONNECTION_OPTION, &list, &size))
        return proxy;
    const DWORD flags = options[0].Value.dwValue;
    std::wstring server = TakeOptionText(options[1].Value.pszValue);
    std::wstring script = TakeOptionText(options[2].Value.pszValue);
    proxy.autoDetect = (flags & PROXY_TYPE_AUTO_DETECT) != 0;
    if (flags & PROXY_TYPE_AUTO_PROXY_URL)
        proxy.script = script;
    if (flags & PROXY_TYPE_PROXY)
        proxy.server = server;
    return proxy;
}

// Names the proxy Windows uses. Whether WinINet then goes through a proxy,
// a script's or a detected one included, only the request itself can tell:
// the counter's host is not connected to directly, as the wizard would not.
bool ReportSystemProxy(DiagReport& report)
{
    const SystemProxy proxy = ReadSystemProxy();
    std::wstring words;
    if (proxy.autoDetect)
        words = kTextSystemProxyDetect;
    if (!proxy.script.empty())
        words += (words.empty() ? L"" : L"、") + Fmt(kTextSystemProxyScript, proxy.script.c_str());
    if (!proxy.server.empty())
        words += (words.empty() ? L"" : L"、") + Fmt(kTextSystemProxyServer, proxy.server.c_str());
    report.Ok(Fmt(kTextSystemProxy, words.empty() ? kTextSystemProxyNone : words.c_str()));
    return proxy.Used();
}

// Where the connection goes and whose fault a failure is.
struct Target {
    bool proxy;
    std::wstring host;
    int port;
    bool systemProxy;  // WinINet may go through Windows' proxy settings
};

// What to do when the counter's address does not answer: its host or port
// may be mistyped where it was written.
std::wstring AddressAdvice(const DiagContext& context, const Target& target)
{
    if (target.proxy)
        return kAdviceProxyConnect;
    if (context.urlFromFile)
        return Fmt(kAdviceUrlInFile, context.urlInFile.c_str());
    return kAdviceConnect;
}

// The NG line of a TLS failure, with advice that fits it.
bool ReportTls(DiagReport& report, DWORD error)
{
    switch (error) {
    case ERROR_INTERNET_SEC_CERT_CN_INVALID:
        report.Ng(Fmt(kNgTlsName, diagnames::InternetError(error).c_str()), kAdviceTlsName);
        return true;
    case ERROR_INTERNET_INVALID_CA:
    case ERROR_INTERNET_SEC_INVALID_CERT:
    case ERROR_INTERNET_SEC_CERT_ERRORS:
        report.Ng(Fmt(kNgTlsUntrusted, diagnames::InternetError(error).c_str()), kAdviceTlsUntrusted);
        return true;
    case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
        report.Ng(Fmt(kNgTlsDate, diagnames::InternetError(error).c_str()), kAdviceTlsDate);
        return true;
    case ERROR_INTERNET_SEC_CERT_NO_REV:
    case ERROR_INTERNET_SEC_CERT_REV_FAILED:
        report.Ng(Fmt(kNgTlsRevocation, diagnames::InternetError(error).c_str()), kAdviceTlsRevocation);
        return true;
    case ERROR_INTERNET_SEC_CERT_REVOKED:
    case ERROR_INTERNET_SECURITY_CHANNEL_ERROR:
    case ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED:
        report.Ng(Fmt(kNgTls, diagnames::InternetError(error).c_str()), kAdviceTls);
        return true;
    }
    return false;
}

// The NG line of a clock request that did not complete once the connection
// itself was possible.
void ReportFailure(DiagReport& report, const DiagContext& context, const Target& target, const CREVOKE_Http& http,
                   int rc)
{
    const DWORD error = http.m_lastError;
    if (rc == 700 || http.m_lastStatus == HTTP_STATUS_PROXY_AUTH_REQ)
        report.Ng(kNgProxyAuth, kAdviceProxyAuth);
    else if (ReportTls(report, error))
        return;
    else if (error == ERROR_INTERNET_TIMEOUT)
        report.Ng(Fmt(target.proxy ? kNgProxyTimeout : kNgCounterTimeout, kExchangeTimeoutMs / 1000,
                      StepName(kStepReply)),
                  target.proxy ? kAdviceProxyReply : kAdviceCounterStatus);
    else if ((error == ERROR_INTERNET_NAME_NOT_RESOLVED || error == ERROR_INTERNET_CANNOT_CONNECT) &&
             target.systemProxy)
        report.Ng(Fmt(kNgSystemProxyConnect, diagnames::InternetError(error).c_str()), kAdviceSystemProxy);
    else if (error == ERROR_INTERNET_NAME_NOT_RESOLVED || error == ERROR_INTERNET_CANNOT_CONNECT)
        report.Ng(Fmt(kNgConnectRefused, target.proxy ? kTextTheProxy : kTextTheCounter, target.host.c_str(),
                      target.port, error),
                  AddressAdvice(context, target));
    else if (target.proxy && http.m_lastStatus == 0)
        report.Ng(Fmt(kNgProxyReply, target.host.c_str(), target.port, diagnames::InternetError(error).c_str()),
                  kAdviceProxyReply);
    else if (http.m_lastStatus == 0)
        report.Ng(Fmt(kNgCounterReply, diagnames::InternetError(error).c_str()), kAdviceCounterReply);
    else if (http.m_lastStatus != HTTP_STATUS_OK)
        report.Ng(Fmt(kNgCounterStatus, http.m_lastStatus), kAdviceCounterStatus);
    else
        report.Ng(Fmt(kNgCounterClockText, http.m_lastStatus), kAdviceCounterStatus);
}

// The connection step; false (with its NG line) when it failed.
bool CheckConnection(DiagReport& report, DiagContext& context, const Target& target)
{
    ConnectWork* work = new ConnectWork;
    const int n = WideCharToMultiByte(CP_ACP, 0, target.host.c_str(), -1, NULL, 0, NULL, NULL);
    work->host.assign(n > 0 ? n : 1, '\0');
    WideCharToMultiByte(CP_ACP, 0, target.host.c_str(), -1, &work->host[0], n, NULL, NULL);
    work->host.resize(strlen(work->host.c_str()));
    work->port = target.port;
    const LONGLONG start = PerformanceNow();
    const bool ended = RunBounded(work, kConnectLimitMs);
    context.networkSeconds += SecondsSince(start);
    const wchar_t* what = target.proxy ? kTextTheProxy : kTextTheCounter;
    if (!ended) {
        report.Ng(Fmt(kNgStepTimeout, what, target.host.c_str(), target.port, kConnectLimitMs / 1000,
                      StepName(work->step)),
                  AddressAdvice(context, target));
        return false;  // work stays with its thread
    }
    bool ok = true;
    if (work->lookupError != 0) {
        report.Ng(Fmt(kNgLookup, what, target.host.c_str(), (unsigned long)work->lookupError),
                  AddressAdvice(context, target));
        ok = false;
    } else if (work->connectError != 0) {
        report.Ng(Fmt(kNgConnectRefused, what, target.host.c_str(), target.port, (unsigned long)work->connectError),
                  AddressAdvice(context, target));
        ok = false;
    }
    delete work;
    return ok;
}

void CheckCounterClock(DiagReport& report, DiagContext& context)
{
    ClockWork* work = new ClockWork;
    CREVOKE_Http& http = work->http;
    if (http.setSettingInfo() != 0) {
        delete work;
        context.versionFileSkipped = kWarnVersionSkippedHost;
        return;  // the settings section has reported the URL
    }
    const SettingInfo& info = http.m_SettingInfo;
    Target target = {info.proxy_type == 2, FromAnsi(info.proxy_type == 2 ? info.proxy_host : info.hostname),
                     info.proxy_type == 2 ? info.proxy_port : info.port, false};
    target.systemProxy = !target.proxy && ReportSystemProxy(report);
    if (!target.systemProxy && !CheckConnection(report, context, target)) {
        delete work;
        context.versionFileSkipped = kWarnVersionSkippedHost;
        return;
    }
    // Nobody may be at the screen to answer a sign-in window.
    http.m_askProxySignIn = false;
    http.m_exchangeTimeoutMs = kExchangeTimeoutMs;
    const LONGLONG start = PerformanceNow();
    const bool ended = RunBounded(work, kClockLimitMs);
    const double seconds = SecondsSince(start);
    context.networkSeconds += seconds;
    if (!ended) {
        report.Ng(Fmt(target.proxy ? kNgProxyTimeout : kNgCounterTimeout, kClockLimitMs / 1000, StepName(work->step)),
                  target.proxy ? kAdviceProxyReply : kAdviceCounterStatus);
        context.versionFileSkipped = kWarnVersionSkippedHost;
        return;  // work stays with its thread
    }
    const int rc = work->rc;
    // The version checker's client would ask for a sign-in itself, and wait
    // for a host that did not answer (also when it fell silent mid-reply).
    if (rc == 700 || http.m_lastStatus == HTTP_STATUS_PROXY_AUTH_REQ)
        context.versionFileSkipped = kWarnVersionSkippedProxy;
    else if (http.m_lastStatus == 0 || (rc != 0 && http.m_lastError == ERROR_INTERNET_TIMEOUT))
        context.versionFileSkipped = kWarnVersionSkippedHost;
    long long difference = 0;
    if (rc != 0 || http.m_lastStatus != HTTP_STATUS_OK || !ClockDifference(work->date.GetAnsi(), &difference))
        ReportFailure(report, context, target, http, rc);
    else if (llabs(difference) > kClockLimitSeconds)
        report.Ng(Fmt(difference > 0 ? kNgClockBehind : kNgClockAhead, (long)llabs(difference), http.m_lastStatus),
                  kAdviceClockOff);
    else
        report.Ok(Fmt(kTextCounterClock, (long)llabs(difference),
                      difference >= 0 ? kTextCounterAhead : kTextCounterBehind, http.m_lastStatus, seconds));
    delete work;
}

void CheckPublishedVersion(DiagReport& report, DiagContext& context)
{
    if (context.versionFileSkipped != NULL) {
        report.Warn(context.versionFileSkipped, kAdviceVersionSkipped);
        return;
    }
    VersionWork* work = new VersionWork;
    work->access.m_exchangeTimeoutMs = kExchangeTimeoutMs;
    const LONGLONG start = PerformanceNow();
    const bool ended = RunBounded(work, kVersionLimitMs);
    context.networkSeconds += SecondsSince(start);
    if (!ended) {
        report.Warn(Fmt(kWarnVersionTimeout, kVersionLimitMs / 1000, StepName(work->step)), kAdviceVersionFile);
        return;  // work stays with its thread
    }
    const SoftwareVersion server = work->server;
    const int rc = work->rc;
    const DWORD error = work->access.m_lastError;
    delete work;
    if (rc != 0) {
        if (error == ERROR_INTERNET_TIMEOUT)
            report.Warn(Fmt(kWarnVersionTimeout, kExchangeTimeoutMs / 1000, StepName(kStepVersionFile)),
                        kAdviceVersionFile);
        else if (error == ERROR_INTERNET_SEC_CERT_NO_REV || error == ERROR_INTERNET_SEC_CERT_REV_FAILED)
            report.Warn(Fmt(kWarnVersionRevocation, diagnames::InternetError(error).c_str()), kAdviceVersionRevocation);
        else
            report.Warn(Fmt(kWarnVersionFile, rc), kAdviceVersionFile);
        return;
    }
    const std::wstring published = Fmt(L"%u.%u.%u.%u", server.major, server.minor, server.revision, server.build);
    // Compared only with a version the installation really registered.
    const DWORD* field = context.installedVersion;
    const SoftwareVersion installed = {field[0], field[1], field[2], field[3]};
    if (!context.installedVersionKnown)
        report.Ok(Fmt(kTextVersionUncompared, published.c_str()));
    else if (IsNewerVersion(server, installed))
        report.Warn(Fmt(kWarnVersionNewer, published.c_str(),
                        Fmt(L"%lu.%lu.%lu.%lu", field[0], field[1], field[2], field[3]).c_str()),
                    kAdviceVersionNewer);
    else
        report.Ok(Fmt(kTextVersionSame, published.c_str()));
}

}  // namespace

void CheckNetwork(DiagReport& report, DiagContext& context)
{
    report.Section(kSectionNetwork);
    CheckCounterClock(report, context);
    CheckPublishedVersion(report, context);
}

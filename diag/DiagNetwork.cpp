// The network section: the counter's clock through the wizard's own client
// (its settings, proxy handling and certificate checks) and the published
// version file through the version checker's client. These are the only
// two requests of the report.
#include <windows.h>
#include <wininet.h>

#include <stdlib.h>

#include "DiagChecks.h"
#include "DiagTexts.h"
#include "KEVOUserCertRevokeHttp.h"
#include "SoftVerChkHttpAccess.h"
#include "TextBuffer.h"

namespace {

// Beyond this the PC's clock is reported as wrong. The request documents
// carry the PC's time, and certificate checks fail on a clock this far off.
const long long kClockLimitSeconds = 300;
// A silent server ends the check after this, not after the wizard's minutes.
const DWORD kDiagExchangeTimeoutMs = 20000;

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

bool IsTlsError(DWORD error)
{
    switch (error) {
    case ERROR_INTERNET_INVALID_CA:
    case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
    case ERROR_INTERNET_SEC_CERT_CN_INVALID:
    case ERROR_INTERNET_SEC_CERT_ERRORS:
    case ERROR_INTERNET_SEC_CERT_REVOKED:
    case ERROR_INTERNET_SEC_INVALID_CERT:
    case ERROR_INTERNET_SECURITY_CHANNEL_ERROR:
    case ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED:
        return true;
    }
    return false;
}

// The NG line of a clock request that did not complete.
void ReportFailure(DiagReport& report, const CREVOKE_Http& http, int rc)
{
    const SettingInfo& info = http.m_SettingInfo;
    const DWORD error = http.m_lastError;
    if (rc == 700 || http.m_lastStatus == HTTP_STATUS_PROXY_AUTH_REQ)
        report.Ng(kNgProxyAuth, kAdviceProxyAuth);
    else if (IsTlsError(error))
        report.Ng(Fmt(kNgTls, error), kAdviceTls);
    else if (error != 0 && info.proxy_type == 2)
        report.Ng(Fmt(kNgProxyConnect, FromAnsi(info.proxy_host).c_str(), info.proxy_port, error),
                  kAdviceProxyConnect);
    else if (error != 0)
        report.Ng(Fmt(kNgConnect, FromAnsi(info.hostname).c_str(), error), kAdviceConnect);
    else if (http.m_lastStatus != 0)
        report.Ng(Fmt(kNgCounterStatus, http.m_lastStatus), kAdviceCounterStatus);
    else
        report.Ng(Fmt(kNgCounter, rc, error), kAdviceConnect);
}

void CheckCounterClock(DiagReport& report, DiagContext& context)
{
    CREVOKE_Http http;
    if (http.setSettingInfo() != 0) {
        context.versionFileSkipped = kWarnVersionSkippedHost;
        return;  // the settings section has reported the URL
    }
    // Nobody may be at the screen to answer a sign-in window.
    http.m_askProxySignIn = false;
    http.m_exchangeTimeoutMs = kDiagExchangeTimeoutMs;
    CTextBuffer date;
    const LONGLONG start = PerformanceNow();
    int rc = http.getServerDate(&date, &http.m_SettingInfo);
    const double seconds = SecondsSince(start);
    context.networkSeconds += seconds;
    // The version checker's client would ask for a sign-in itself, and wait
    // minutes for a host that did not answer.
    if (rc == 700 || http.m_lastStatus == HTTP_STATUS_PROXY_AUTH_REQ)
        context.versionFileSkipped = kWarnVersionSkippedProxy;
    else if (http.m_lastStatus == 0)
        context.versionFileSkipped = kWarnVersionSkippedHost;
    long long difference = 0;
    if (rc != 0 || http.m_lastStatus != HTTP_STATUS_OK || !ClockDifference(date.GetAnsi(), &difference)) {
        ReportFailure(report, http, rc);
        return;
    }
    if (llabs(difference) > kClockLimitSeconds)
        report.Ng(Fmt(difference > 0 ? kNgClockBehind : kNgClockAhead, (long)llabs(difference), http.m_lastStatus),
                  kAdviceClockOff);
    else
        report.Ok(Fmt(kTextCounterClock, http.m_lastStatus, (long)difference, seconds));
}

void CheckPublishedVersion(DiagReport& report, DiagContext& context)
{
    if (context.versionFileSkipped != NULL) {
        report.Warn(context.versionFileSkipped);
        return;
    }
    SoftVerChkHttpAccess access;
    SoftwareVersion server = {0, 0, 0, 0};
    const LONGLONG start = PerformanceNow();
    int rc = access.setSettingInfo();
    if (rc == 0)
        rc = access.getServerVersion(&server);
    access.MemoryRelease();
    context.networkSeconds += SecondsSince(start);
    if (rc != 0) {
        report.Warn(Fmt(kWarnVersionFile, rc));
        return;
    }
    DWORD field[4] = {0, 0, 0, 0};
    ReadInstalledVersion(field);
    SoftwareVersion installed = {field[0], field[1], field[2], field[3]};
    if (IsNewerVersion(server, installed))
        report.Warn(Fmt(kWarnVersionNewer, server.major, server.minor, server.revision, server.build, installed.major,
                        installed.minor, installed.revision, installed.build));
    else
        report.Ok(Fmt(kTextVersionSame, server.major, server.minor, server.revision, server.build));
}

}  // namespace

void CheckNetwork(DiagReport& report, DiagContext& context)
{
    report.Section(kSectionNetwork);
    CheckCounterClock(report, context);
    CheckPublishedVersion(report, context);
}

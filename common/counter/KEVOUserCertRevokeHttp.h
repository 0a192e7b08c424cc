// The revocation tool's client of the online counter (the diagnostics
// program uses it too): the server clock and
// the delivery of the signed revocation request, both as POST requests
// through WinINet with the connection settings of KEVOValidationInfo.ini.
#ifndef KEVO_USERCERTREVOKEHTTP_H
#define KEVO_USERCERTREVOKEHTTP_H

#include <windows.h>
#include <wininet.h>
// The class's operation keeps its name; the WinINet call is spelt out.
#undef HttpOpenRequest

#include "SettingInfo.h"

class CTextBuffer;

// Object names on the counter's host; the path of the configured URL plays
// no part.
#define KEVO_COUNTER_TIME_OBJECT "/reception/servlet/kevo.AccRvRq.servlet.getTime"
#define KEVO_COUNTER_REVOKE_OBJECT "/reception/servlet/kevo.AccRvRq.servlet.AcceptApply?Request=PostRevokeApply"

class CREVOKE_Http {
public:
    CREVOKE_Http();
    // Releases the strings of m_SettingInfo.
    ~CREVOKE_Http();
    CREVOKE_Http(const CREVOKE_Http&) = delete;
    CREVOKE_Http& operator=(const CREVOKE_Http&) = delete;

    // Fills m_SettingInfo from the registry and the settings file: 0, -104
    // (no usable URL) or -102 (out of memory).
    int setSettingInfo();

    // Opens the internet, connection and request handles for a POST of
    // objectName to the host of setInfo. 0 with all three open, or -104 with
    // all three NULL.
    int HttpOpenRequest(const SettingInfo* setInfo, const char* objectName, HINTERNET* hInternet,
                        HINTERNET* hConnect, HINTERNET* hRequest);

    // The counter's clock: 0 with exactly 14 digits YYYYMMDDhhmmss (UTC) in
    // lpDate; otherwise -101, -104, 700 or 706 with lpDate empty.
    int getServerDate(CTextBuffer* lpDate, const SettingInfo* setInfo);

    // Sends the UTF-8 form of lpXml (the request document's text) and returns the HTTP status
    // of the counter's reply (its verdict), or -101, -104, 700, 701 or 707
    // when the exchange did not complete. Neither exchange follows a
    // redirect: a 3xx is the counter's answer, not another host's. lpResultData receives at most the
    // first 64 KiB of the reply body as text.
    int revoke(CTextBuffer* lpXml, const SettingInfo* setInfo, CTextBuffer* lpResultData);

    SettingInfo m_SettingInfo;

    // For a caller without a citizen at the screen (the diagnostics
    // report): false makes a proxy's 407 end getServerDate with 700 at once
    // instead of showing the sign-in window. The wizard keeps true.
    bool m_askProxySignIn;
    // Time-out of each send and receive, in milliseconds.
    DWORD m_exchangeTimeoutMs;
    // What the last getServerDate met: the reply's status (0 when none came)
    // and the Windows error of a failed send or read (0 when none).
    DWORD m_lastStatus;
    DWORD m_lastError;
};

#endif

// Client of the service's version file "/reception/verinfo/kevosoft.ver"
// on the host of the settings URL, with the proxy sign-in on a 407.
#ifndef KEVO_SOFTVERCHKHTTPACCESS_H
#define KEVO_SOFTVERCHKHTTPACCESS_H

#include <windows.h>
#include <wininet.h>

#include <string>
// The class's operation keeps its name; the WinINet call is spelt out.
#undef HttpOpenRequest

#include "SettingInfo.h"
#include "SoftwareVersion.h"

class SoftVerChkHttpAccess {
public:
    SoftVerChkHttpAccess();

    // Reads the connection settings: 0, -104 (bad URL) or -102 (memory).
    int setSettingInfo();
    // 0 with all four fields of ver set; -101 for a null ver; -104 for any
    // failure of connection, request, reply or parsing (ver may then be
    // partly written); 700 when the user declined the proxy sign-in.
    int getServerVersion(SoftwareVersion* ver);
    // 0 with the Internet, connection and request handles open; -104 with
    // all three outputs NULL and every handle it opened closed again.
    int HttpOpenRequest(HINTERNET* internet, HINTERNET* connection, HINTERNET* request);
    // Frees the settings strings; absent ones are skipped.
    void MemoryRelease();

    SettingInfo m_SettingInfo;
    // What the message before the proxy sign-in says; with no prompt a 407
    // ends getServerVersion with 700 at once, without any window (for a
    // caller with nobody at the screen).
    std::wstring m_signInCaption;
    std::wstring m_signInPrompt;
    // The send and receive time-outs of the exchange (six minutes unless a
    // caller bounds it tighter).
    DWORD m_exchangeTimeoutMs;
    // The Windows error of the last failed send or read of getServerVersion;
    // 0 when it failed otherwise or did not fail.
    DWORD m_lastError;

private:
    SoftVerChkHttpAccess(const SoftVerChkHttpAccess&);
    SoftVerChkHttpAccess& operator=(const SoftVerChkHttpAccess&);

    HINTERNET OpenVersionRequest(HINTERNET connection) const;
    int FetchVersion(HINTERNET connection, HINTERNET* request, SoftwareVersion* ver);
    int ReadVersion(HINTERNET request, SoftwareVersion* ver);
};

#endif

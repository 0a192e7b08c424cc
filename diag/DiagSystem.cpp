// The PC, the settings and the trace log sections.
#include <windows.h>

#include <algorithm>
#include <vector>

#include "DiagChecks.h"
#include "DiagTexts.h"
#include "KevoSettings.h"

namespace {

typedef LONG(WINAPI* RtlGetVersionFn)(OSVERSIONINFOW*);

// The version Windows really is (GetVersionEx answers what the manifest
// declares).
OSVERSIONINFOW RealWindowsVersion()
{
    OSVERSIONINFOW info;
    ZeroMemory(&info, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    RtlGetVersionFn rtlGetVersion =
        (RtlGetVersionFn)(void*)GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion");
    if (rtlGetVersion == NULL || rtlGetVersion(&info) != 0)
        GetVersionExW(&info);
    return info;
}

bool NativeIs64Bit()
{
    SYSTEM_INFO info;
    GetNativeSystemInfo(&info);
    return info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ||
           info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_ARM64;
}

}  // namespace

void CheckPc(DiagReport& report, DiagContext&)
{
    report.Section(kSectionPc);
    OSVERSIONINFOW os = RealWindowsVersion();
    report.Ok(Fmt(kTextWindows, os.dwMajorVersion, os.dwMinorVersion, os.dwBuildNumber,
                  NativeIs64Bit() ? kTextBits64 : kTextBits32));
    UINT acp = GetACP();
    if (acp == 932)
        report.Ok(Fmt(kTextCodePage, acp));
    else
        report.Ng(Fmt(kNgCodePage, acp), kAdviceCodePage);
    SYSTEMTIME now;
    GetLocalTime(&now);
    TIME_ZONE_INFORMATION zone;
    DWORD which = GetTimeZoneInformation(&zone);
    long bias = -(zone.Bias + (which == TIME_ZONE_ID_DAYLIGHT ? zone.DaylightBias : 0));
    const wchar_t* zoneName = which == TIME_ZONE_ID_DAYLIGHT ? zone.DaylightName : zone.StandardName;
    report.Ok(Fmt(kTextClock, now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, zoneName,
                  bias / 60, labs(bias % 60)));
}

void CheckSettings(DiagReport& report, DiagContext&)
{
    report.Section(kSectionSettings);
    char* path = NULL;
    std::string fileUrl;
    if (KEVOGetServiceAPIPath(KEVO_SETTINGS_FILE_NAME, &path) == 0) {
        if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) {
            report.Ok(Fmt(kTextSettingsFile, FromAnsi(path).c_str()));
            char url[1024] = "";
            GetPrivateProfileStringA(KEVO_SETTINGS_SECTION, "url", "", url, sizeof url, path);
            fileUrl = url;
        } else {
            report.Warn(Fmt(kWarnSettingsFile, FromAnsi(path).c_str()));
        }
        free(path);
    }
    SettingInfo info;
    ZeroMemory(&info, sizeof info);
    if (KevoRevoke::setSettingInfo(&info) != 0) {
        report.Ng(kNgCounterUrl, kAdviceCounterUrl);
    } else {
        bool fromFile = !fileUrl.empty() && fileUrl == info.cvsurl;
        report.Ok(Fmt(kTextCounterUrl, FromAnsi(info.cvsurl).c_str(), fromFile ? kTextFromFile : kTextFromDefault));
        // The password is never read out of the record.
        if (info.proxy_type == 2)
            report.Ok(Fmt(kTextProxyOn, FromAnsi(info.proxy_host).c_str(), info.proxy_port,
                          info.proxy_ID != NULL && info.proxy_ID[0] != '\0' ? kTextProxyUserSet : kTextProxyUserNone));
        else
            report.Ok(kTextProxyOff);
    }
    KEVO_CVS_Release_CVSfuncMemory(&info);
}

void CheckTraceLog(DiagReport& report, DiagContext&)
{
    report.Section(kSectionTrace);
    report.Ok(Fmt(kTextTraceValues, RegistryText(HKEY_CURRENT_USER, L"SOFTWARE\\KEVO", L"TRACE").c_str(),
                  RegistryText(HKEY_CURRENT_USER, L"SOFTWARE\\KEVO", L"TRACECOMMIT").c_str()));
    wchar_t temp[MAX_PATH + 1];
    DWORD n = GetTempPathW(MAX_PATH + 1, temp);
    if (n == 0 || n > MAX_PATH)
        return;
    // The newest logs of every program of the tool set.
    std::vector<WIN32_FIND_DATAW> logs;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((std::wstring(temp) + L"KEVO*.log").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do
            logs.push_back(found);
        while (FindNextFileW(search, &found));
        FindClose(search);
    }
    if (logs.empty()) {
        report.Ok(Fmt(kTextNoTraceFile, temp));
        return;
    }
    std::sort(logs.begin(), logs.end(), [](const WIN32_FIND_DATAW& a, const WIN32_FIND_DATAW& b) {
        return CompareFileTime(&a.ftLastWriteTime, &b.ftLastWriteTime) > 0;
    });
    const size_t kShown = 5;
    for (size_t i = 0; i < logs.size() && i < kShown; ++i) {
        FILETIME local;
        SYSTEMTIME when;
        FileTimeToLocalFileTime(&logs[i].ftLastWriteTime, &local);
        FileTimeToSystemTime(&local, &when);
        unsigned long size = logs[i].nFileSizeHigh != 0 ? 0xFFFFFFFFUL : logs[i].nFileSizeLow;
        report.Ok(Fmt(kTextTraceFile, (std::wstring(temp) + logs[i].cFileName).c_str(), size, when.wYear,
                      when.wMonth, when.wDay, when.wHour, when.wMinute));
    }
}

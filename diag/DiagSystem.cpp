// The PC and the settings sections.
#include <windows.h>

#include <string>

#include "DiagChecks.h"
#include "DiagNames.h"
#include "DiagTexts.h"
#include "KevoPolicy.h"
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

// Where the proxy in use comes from: the machine's policy names host, port
// or both over the settings file.
const wchar_t* ProxySource()
{
    char host[kevopolicy::kTextCapacity];
    DWORD port = 0;
    const bool hostByPolicy = kevopolicy::ReadText(KEVO_POLICY_PROXY_HOST, host, sizeof host);
    const bool portByPolicy = kevopolicy::ReadDword(KEVO_POLICY_PROXY_PORT, &port) && port >= 1 && port <= 65535;
    if (hostByPolicy && portByPolicy)
        return kTextFromPolicy;
    return hostByPolicy || portByPolicy ? kTextFromPolicyAndFile : kTextFromFile;
}

}  // namespace

void CheckPc(DiagReport& report, DiagContext&)
{
    report.Section(kSectionPc);
    OSVERSIONINFOW os = RealWindowsVersion();
    std::wstring name = diagnames::WindowsName(os.dwMajorVersion, os.dwMinorVersion, os.dwBuildNumber);
    report.Ok(Fmt(kTextWindows, name.empty() ? kTextWindowsUnnamed : name.c_str(), os.dwMajorVersion,
                  os.dwMinorVersion, os.dwBuildNumber, NativeIs64Bit() ? kTextBits64 : kTextBits32));
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

void CheckSettings(DiagReport& report, DiagContext& context)
{
    report.Section(kSectionSettings);
    char* path = NULL;
    std::string fileUrl;
    // Without the install folder (said once, in the installation section)
    // there is no settings file to look for.
    if (!context.installDir.empty() && KEVOGetServiceAPIPath(KEVO_SETTINGS_FILE_NAME, &path) == 0) {
        if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) {
            report.Ok(Fmt(kTextSettingsFile, FromAnsi(path).c_str()));
            char url[1024] = "";
            GetPrivateProfileStringA(KEVO_SETTINGS_SECTION, "url", "", url, sizeof url, path);
            fileUrl = url;
        } else {
            report.Warn(Fmt(kWarnSettingsFile, FromAnsi(path).c_str()), kAdviceSettingsFile);
        }
        free(path);
    }
    SettingInfo info;
    ZeroMemory(&info, sizeof info);
    if (KevoRevoke::setSettingInfo(&info) != 0) {
        report.Ng(Fmt(kNgCounterUrl, FromAnsi(fileUrl.c_str()).c_str()), kAdviceCounterUrl);
    } else {
        context.urlFromFile = !fileUrl.empty() && fileUrl == info.cvsurl;
        context.urlInFile = FromAnsi(fileUrl.c_str());
        report.Ok(Fmt(kTextCounterUrl, FromAnsi(info.cvsurl).c_str(),
                      context.urlFromFile ? kTextFromFile : kTextFromDefault));
        // The password is never read out of the record.
        if (info.proxy_type == 2)
            report.Ok(Fmt(kTextProxyOn, FromAnsi(info.proxy_host).c_str(), info.proxy_port, ProxySource(),
                          info.proxy_ID != NULL && info.proxy_ID[0] != '\0' ? kTextProxyUserSet : kTextProxyUserNone));
        else
            report.Ok(kTextProxyOff);
    }
    KEVO_CVS_Release_CVSfuncMemory(&info);
    DWORD updateCheck = 1;
    const bool checkByPolicy = kevopolicy::ReadDword(KEVO_POLICY_UPDATE_CHECK, &updateCheck);
    report.Ok(Fmt(checkByPolicy && updateCheck == 0 ? kTextUpdateCheckOff : kTextUpdateCheckOn,
                  diagnames::SourceName(checkByPolicy ? diagnames::kSourcePolicy : diagnames::kSourceDefault)));
}

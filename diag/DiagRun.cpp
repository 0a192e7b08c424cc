#include <windows.h>

#include "DiagChecks.h"
#include "DiagTexts.h"

namespace {
const DiagCheck kDiagSections[] = {CheckPc,  CheckInstallation, CheckSettings, CheckJava,
                                   CheckCard, CheckNetwork,     CheckTraceLog};
}

std::wstring FromAnsi(const char* text)
{
    if (text == NULL || text[0] == '\0')
        return L"";
    int n = MultiByteToWideChar(CP_ACP, 0, text, -1, NULL, 0);
    std::wstring wide(n > 0 ? n : 1, L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], n);
    wide.resize(wcslen(wide.c_str()));
    return wide;
}

std::wstring RegistryText(HKEY root, const std::wstring& subkey, const wchar_t* name)
{
    wchar_t text[1024];
    DWORD size = sizeof text;
    DWORD value = 0;
    if (RegGetValueW(root, subkey.c_str(), name, RRF_RT_REG_SZ, NULL, text, &size) == ERROR_SUCCESS)
        return text;
    size = sizeof value;
    if (RegGetValueW(root, subkey.c_str(), name, RRF_RT_REG_DWORD, NULL, &value, &size) == ERROR_SUCCESS)
        return Fmt(L"%lu", value);
    return kTextUnset;
}

LONGLONG PerformanceNow()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

double SecondsSince(LONGLONG start)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return (double)(PerformanceNow() - start) / (double)frequency.QuadPart;
}

std::wstring RunDiagnostics(DiagObserver* observer)
{
    const LONGLONG start = PerformanceNow();
    SYSTEMTIME now;
    GetLocalTime(&now);
    DiagReport report(Fmt(kTextHeader, now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond),
                      observer);
    DiagContext context;
    for (DiagCheck check : kDiagSections)
        check(report, context);
    report.Finish(Fmt(kTextFooter, SecondsSince(start), context.networkSeconds));
    return report.Render();
}

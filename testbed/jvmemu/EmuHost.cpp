#include "EmuHost.h"

#include <stdio.h>
#include <stdlib.h>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

#if defined(_WIN32)
// Wide throughout: test directories may carry Japanese names.
std::wstring SettingPath(const char* variable, const wchar_t* registryValue)
{
    wchar_t name[64];
    MultiByteToWideChar(CP_ACP, 0, variable, -1, name, 64);
    DWORD needed = GetEnvironmentVariableW(name, NULL, 0);
    if (needed > 1) {
        std::wstring value(needed, L'\0');
        DWORD got = GetEnvironmentVariableW(name, &value[0], needed);
        value.resize(got < needed ? got : 0);
        return value;
    }
    wchar_t buffer[1024];
    DWORD size = sizeof buffer;
    if (RegGetValueW(HKEY_CURRENT_USER, L"Software\\KEVO-Testbed\\jvmemu", registryValue, RRF_RT_REG_SZ, NULL,
                     buffer, &size) != ERROR_SUCCESS)
        return std::wstring();
    return buffer;
}

FILE* OpenSetting(const char* variable, const wchar_t* registryValue, const wchar_t* mode)
{
    std::wstring path = SettingPath(variable, registryValue);
    return path.empty() ? NULL : _wfopen(path.c_str(), mode);
}
#else
FILE* OpenSetting(const char* variable, const wchar_t*, const wchar_t* mode)
{
    const char* path = getenv(variable);
    if (path == NULL || *path == '\0')
        return NULL;
    return fopen(path, mode[0] == L'r' ? "rb" : "wb");
}
#endif

}  // namespace

std::string EmuReadNamedFile(const char* variable, const wchar_t* registryValue)
{
    std::string text;
    FILE* f = OpenSetting(variable, registryValue, L"rb");
    if (f == NULL)
        return text;
    char chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0)
        text.append(chunk, n);
    fclose(f);
    return text;
}

void EmuWriteNamedFile(const char* variable, const wchar_t* registryValue, const std::string& text)
{
    FILE* f = OpenSetting(variable, registryValue, L"wb");
    if (f == NULL)
        return;
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
}

#include "DiagPrivacy.h"

#include <windows.h>
#include <shlobj.h>

#include <wctype.h>

namespace {

const wchar_t kMask[] = L"****";

// Characters that end an address in a report line.
bool EndsAddress(wchar_t c)
{
    return c == L' ' || c == L'/' || c == L'\\' || c == L'」' || c == L'）' || c == L')' || c == L'、' ||
           c == L'\r' || c == L'\n' || c == L'"';
}

bool StartsAddress(wchar_t c)
{
    return c == L' ' || c == L'「' || c == L'（' || c == L'(' || c == L'=' || c == L'"' || c == L'、' ||
           c == L'\n';
}

bool IsNameCharacter(wchar_t c)
{
    return c != L'\\' && c != L'/' && c != L' ' && c != L'」' && c != L'）' && c != L')' && c != L'"' &&
           c != L'、' && c != L'\r' && c != L'\n';
}

}  // namespace

std::wstring MaskCredentials(const std::wstring& text)
{
    std::wstring out = text;
    size_t at = out.find(L'@');
    while (at != std::wstring::npos) {
        size_t start = at;
        while (start > 0 && !StartsAddress(out[start - 1]))
            --start;
        const size_t scheme = out.find(L"://", start);
        if (scheme != std::wstring::npos && scheme < at)
            start = scheme + 3;
        // A password may hold "@" itself: the host follows the last one.
        size_t last = at;
        for (size_t i = at + 1; i < out.size() && !EndsAddress(out[i]); ++i)
            if (out[i] == L'@')
                last = i;
        if (last > start && out.compare(start, last - start, kMask) != 0) {
            out.replace(start, last - start, kMask);
            last = start + (sizeof kMask / sizeof kMask[0] - 1);
        }
        at = out.find(L'@', last + 1);
    }
    return out;
}

std::wstring MaskAccountNames(const std::wstring& text, const std::vector<std::wstring>& names)
{
    std::wstring out = text;
    for (const std::wstring& name : names) {
        if (name.empty())
            continue;
        for (size_t i = 0; i + name.size() < out.size(); ++i) {
            const size_t end = i + 1 + name.size();
            if (out[i] != L'\\' || (end < out.size() && IsNameCharacter(out[end])) ||
                _wcsnicmp(out.c_str() + i + 1, name.c_str(), name.size()) != 0)
                continue;
            out.replace(i + 1, name.size(), L"%USERNAME%");
        }
    }
    return out;
}

std::wstring MaskPrivate(const std::wstring& text)
{
    static std::vector<std::wstring> names;
    if (names.empty()) {
        wchar_t name[256 + 1] = L"";
        DWORD size = sizeof name / sizeof name[0];
        if (GetUserNameW(name, &size))
            names.push_back(name);
        // The profile folder may be named otherwise ("name.DOMAIN", a renamed account).
        wchar_t profile[MAX_PATH] = L"";
        if (SUCCEEDED(SHGetFolderPathW(NULL, CSIDL_PROFILE, NULL, SHGFP_TYPE_CURRENT, profile))) {
            const wchar_t* last = wcsrchr(profile, L'\\');
            if (last != NULL && last[1] != L'\0')
                names.push_back(last + 1);
        }
        names.push_back(L"");  // looked up once, even when nothing was found
    }
    return MaskAccountNames(MaskCredentials(text), names);
}

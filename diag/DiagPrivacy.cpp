#include "DiagPrivacy.h"

#include <windows.h>
#include <shlobj.h>

#include <wctype.h>

namespace {

const wchar_t kMask[] = L"****";

// Characters that end an address in a report line; ";" parts the entries of
// a per-scheme proxy list ("http=u:p@proxy:8080;https=u2:p2@proxy:8443").
bool EndsAddress(wchar_t c)
{
    return c == L' ' || c == L';' || c == L'/' || c == L'\\' || c == L'」' || c == L'）' || c == L')' || c == L'、' ||
           c == L'\r' || c == L'\n' || c == L'"';
}

bool StartsAddress(wchar_t c)
{
    return c == L' ' || c == L';' || c == L'「' || c == L'（' || c == L'(' || c == L'=' || c == L'"' || c == L'、' ||
           c == L'\n';
}

bool IsNameCharacter(wchar_t c)
{
    return c != L'\\' && c != L'/' && c != L' ' && c != L'」' && c != L'）' && c != L')' && c != L'"' &&
           c != L'、' && c != L'\r' && c != L'\n';
}

// A password may hold a raw space: when the address seems to start after a
// space, it starts at the scheme or opening mark before that space instead,
// as long as nothing on the way ends an address (a path, a bracket, a line).
size_t AddressStart(const std::wstring& text, size_t start, size_t at)
{
    if (start == 0 || text[start - 1] != L' ')
        return start;
    for (size_t i = start - 1; i > 0; --i) {
        const wchar_t c = text[i - 1];
        if (c == L' ')
            continue;
        if (c == L'/' && i >= 3 && text.compare(i - 3, 3, L"://") == 0)
            return i;
        if (c != L' ' && StartsAddress(c))
            return text.find(L"://", i) < at ? text.find(L"://", i) + 3 : i;
        if (EndsAddress(c) || c == L'@')
            return start;
    }
    return start;
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
        else
            start = AddressStart(out, start, at);
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
            // "\\name\\" in paths, "/name/" in file: addresses.
            if ((out[i] != L'\\' && out[i] != L'/') || (end < out.size() && IsNameCharacter(out[end])) ||
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
        // Windows often stores the profile's folders in the 8.3 form
        // (TEMP as "C:\\Users\\YAMADA~1\\..."): its short name too.
        wchar_t shortProfile[MAX_PATH] = L"";
        const DWORD n = GetShortPathNameW(profile, shortProfile, MAX_PATH);
        const wchar_t* shortLast = n > 0 && n < MAX_PATH ? wcsrchr(shortProfile, L'\\') : NULL;
        if (shortLast != NULL && shortLast[1] != L'\0')
            names.push_back(shortLast + 1);
        names.push_back(L"");  // looked up once, even when nothing was found
    }
    return MaskAccountNames(MaskCredentials(text), names);
}

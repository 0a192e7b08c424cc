// The Java runtime search: registry, files and the load by full path.
#include "JavaRuntime.h"

#include <stdio.h>

#include "RegKey.h"
#include "TraceLog.h"

namespace kevojava {

namespace {

using kevowin::RegKey;

const wchar_t kJavaSoftKey[] = L"SOFTWARE\\JavaSoft";
const wchar_t* const kProducts[] = {L"Java Runtime Environment", L"JRE", L"Java Development Kit", L"JDK"};
// The VMs a runtime folder may hold, relative to its JavaHome (a JDK of
// Java 8 and earlier keeps its runtime in jre\).
const wchar_t* const kVmFolders[] = {L"\\bin\\client\\jvm.dll", L"\\bin\\server\\jvm.dll",
                                     L"\\jre\\bin\\client\\jvm.dll", L"\\jre\\bin\\server\\jvm.dll"};
// Longer registry texts are not paths a runtime registers.
const DWORD kMaxText = 32767;

// A string value (REG_SZ, or REG_EXPAND_SZ expanded); empty when absent, of
// another type or unreasonably long.
std::wstring ReadText(HKEY key, const wchar_t* name)
{
    DWORD type = 0, bytes = 0;
    if (RegQueryValueExW(key, name, NULL, &type, NULL, &bytes) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ) || bytes == 0 || bytes / sizeof(wchar_t) > kMaxText)
        return std::wstring();
    std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(key, name, NULL, &type, reinterpret_cast<BYTE*>(&text[0]), &bytes) != ERROR_SUCCESS)
        return std::wstring();
    // The stored text need not end with a zero unit.
    text.resize(wcsnlen(text.c_str(), bytes / sizeof(wchar_t)));
    if (type == REG_EXPAND_SZ) {
        wchar_t expanded[MAX_PATH * 2];
        DWORD n = ExpandEnvironmentStringsW(text.c_str(), expanded, MAX_PATH * 2);
        text = (n > 0 && n <= MAX_PATH * 2) ? std::wstring(expanded) : std::wstring();
    }
    return text;
}

std::string Narrow(const std::wstring& text)
{
    // Key names of Java installers are ASCII; anything else is shown as '?'.
    std::string out;
    for (wchar_t c : text)
        out += (c > 0 && c < 0x80) ? static_cast<char>(c) : '?';
    return out;
}

// The service library imports the VM as "jvm.dll": a module loaded under
// another name would not satisfy that import, which the loader would then
// resolve by searching.
bool NamedJvmDll(const std::wstring& path)
{
    const std::wstring name = path.substr(path.find_last_of(L"\\/") + 1);
    return lstrcmpiW(name.c_str(), L"jvm.dll") == 0;
}

// Looks at one file; true when it is the tools' VM.
bool Consider(JvmSearch& search, const std::string& origin, const std::wstring& path, const std::string& version)
{
    if (path.empty())
        return false;
    JvmCandidate candidate;
    candidate.origin = origin;
    candidate.path = path;
    candidate.version = version;
    candidate.machine = NamedJvmDll(path) ? MachineOfFile(path) : 0;
    search.tried.push_back(candidate);
    if (candidate.machine != ToolsMachine())
        return false;
    search.path = path;
    search.version = version;
    return true;
}

bool SearchVersion(JvmSearch& search, const std::wstring& keyName, const std::wstring& version)
{
    RegKey key;
    if (!key.OpenForRead(HKEY_LOCAL_MACHINE, keyName.c_str()))
        return false;
    std::string origin = Narrow(keyName);
    std::string versionText = Narrow(version);
    if (Consider(search, origin + " RuntimeLib", ReadText(key.Get(), L"RuntimeLib"), versionText))
        return true;
    std::wstring home = ReadText(key.Get(), L"JavaHome");
    if (home.empty())
        return false;
    while (!home.empty() && home.back() == L'\\')
        home.pop_back();
    for (const wchar_t* folder : kVmFolders) {
        std::wstring path = home + folder;
        if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES &&
            Consider(search, origin + " JavaHome", path, versionText))
            return true;
    }
    return false;
}

bool SearchProduct(JvmSearch& search, const wchar_t* product)
{
    std::wstring productKey = std::wstring(kJavaSoftKey) + L"\\" + product;
    RegKey key;
    if (!key.OpenForRead(HKEY_LOCAL_MACHINE, productKey.c_str()))
        return false;
    search.noRuntimeRegistered = false;
    std::wstring current = ReadText(key.Get(), L"CurrentVersion");
    if (!current.empty() && SearchVersion(search, productKey + L"\\" + current, current))
        return true;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD length = 256;
        LONG rc = RegEnumKeyExW(key.Get(), index, name, &length, NULL, NULL, NULL, NULL);
        if (rc == ERROR_MORE_DATA)
            continue;
        if (rc != ERROR_SUCCESS)
            return false;
        if (current != name && SearchVersion(search, productKey + L"\\" + name, name))
            return true;
    }
}

const char* MachineName(WORD machine)
{
    switch (machine) {
    case IMAGE_FILE_MACHINE_I386: return "32-bit";
    case IMAGE_FILE_MACHINE_AMD64: return "64-bit";
    case 0: return "missing or not jvm.dll";
    default: return "other machine";
    }
}

// Loads the VM by full path, its own imports taken from its folder and the
// program's search (which leaves out the current folder and PATH where the
// system can, DllSearch.h). Systems without the LOAD_LIBRARY_SEARCH flags
// refuse them; there the folder of the VM is searched first the old way.
HMODULE LoadVmLibrary(const std::wstring& path)
{
    const DWORD kSearchDllLoadDirAndDefault = 0x00000100 | 0x00001000;
    HMODULE module = LoadLibraryExW(path.c_str(), NULL, kSearchDllLoadDirAndDefault);
    if (module == NULL && GetLastError() == ERROR_INVALID_PARAMETER)
        module = LoadLibraryExW(path.c_str(), NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
    return module;
}

}  // namespace

WORD MachineOfFile(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    unsigned char head[kPeHeadBytes];
    DWORD got = 0;
    BOOL read = ReadFile(file, head, sizeof head, &got, NULL);
    CloseHandle(file);
    return read ? PeMachine(head, got) : 0;
}

WORD ToolsMachine()
{
#if defined(_M_X64) || defined(__x86_64__)
    return IMAGE_FILE_MACHINE_AMD64;
#else
    return IMAGE_FILE_MACHINE_I386;
#endif
}

JvmSearch FindToolsJvm()
{
    JvmSearch search;
    search.noRuntimeRegistered = true;
    try {
        RegKey kevo;
        if (kevo.OpenForRead(HKEY_LOCAL_MACHINE, L"Software\\KEVO") &&
            Consider(search, "Software\\KEVO JvmPath", ReadText(kevo.Get(), L"JvmPath"), std::string()))
            return search;
        for (const wchar_t* product : kProducts) {
            if (SearchProduct(search, product))
                return search;
        }
    } catch (...) {
        // Out of memory: reported as no runtime found.
        search.path.clear();
    }
    return search;
}

std::string DescribeFailedSearch(const JvmSearch& search)
{
    std::string text = "Software\\KEVO JvmPath, SOFTWARE\\JavaSoft";
    if (search.noRuntimeRegistered && search.tried.empty())
        return text + ": no runtime registered";
    text += ":";
    for (const JvmCandidate& candidate : search.tried)
        text += " " + candidate.origin + " " + MachineName(candidate.machine) + ";";
    if (search.tried.empty())
        text += " no jvm.dll under the registered runtimes";
    return text;
}

HMODULE LoadToolsJvm(DWORD* error)
{
    static HMODULE loaded = NULL;
    TraceLog(TRACE_LEVEL_FLOW, "LoadToolsJvm: start\n");
    *error = ERROR_SUCCESS;
    if (loaded == NULL) {
        JvmSearch search = FindToolsJvm();
        if (search.path.empty()) {
            *error = ERROR_FILE_NOT_FOUND;
            TraceLog(TRACE_LEVEL_ERROR, "FindToolsJvm(%s):エラーが発生しました。(%s:%d)\n",
                     DescribeFailedSearch(search).c_str(), TRACE_HERE);
        } else {
            // jvm.dll sits in bin\client or bin\server; its own C runtime in bin.
            std::wstring bin = search.path.substr(0, search.path.find_last_of(L'\\'));
            bin = bin.substr(0, bin.find_last_of(L'\\'));
            char ansi[MAX_PATH * 2];
            if (WideCharToMultiByte(CP_ACP, 0, search.path.c_str(), -1, ansi, sizeof ansi, NULL, NULL) > 0)
                TraceLog(TRACE_LEVEL_FLOW, "LoadToolsJvm: %s\n", ansi);
            SetDllDirectoryW(bin.c_str());
            loaded = LoadVmLibrary(search.path);
            if (loaded != NULL && GetProcAddress(loaded, "JNI_CreateJavaVM") == NULL &&
                GetProcAddress(loaded, "_JNI_CreateJavaVM@12") == NULL) {
                // A jvm.dll without the VM's entry point is no Java VM.
                FreeLibrary(loaded);
                loaded = NULL;
                SetLastError(ERROR_PROC_NOT_FOUND);
            }
            if (loaded == NULL) {
                *error = GetLastError();
                SetDllDirectoryW(L"");
                TraceLog(TRACE_LEVEL_ERROR, "LoadLibraryEx:エラーが発生しました。(%lu)(%s:%d)\n", *error, TRACE_HERE);
            }
        }
    }
    TraceLog(TRACE_LEVEL_FLOW, "LoadToolsJvm: end\n");
    return loaded;
}

}  // namespace kevojava

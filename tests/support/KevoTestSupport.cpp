#include "KevoTestSupport.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <shellapi.h>

#include <stdio.h>
#include <stdlib.h>

#include <stdexcept>

namespace kevotest {

// ---- text ------------------------------------------------------------------
namespace {
std::wstring ToWide(const std::string& text, UINT codePage)
{
    if (text.empty())
        return std::wstring();
    int n = MultiByteToWideChar(codePage, 0, text.data(), (int)text.size(), NULL, 0);
    std::wstring out(n, L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), (int)text.size(), &out[0], n);
    return out;
}
std::string ToNarrow(const std::wstring& text, UINT codePage)
{
    if (text.empty())
        return std::string();
    int n = WideCharToMultiByte(codePage, 0, text.data(), (int)text.size(), NULL, 0, NULL, NULL);
    std::string out(n, '\0');
    WideCharToMultiByte(codePage, 0, text.data(), (int)text.size(), &out[0], n, NULL, NULL);
    return out;
}
void Check(LONG rc, const char* what)
{
    if (rc != ERROR_SUCCESS)
        throw std::runtime_error(std::string(what) + " failed: " + std::to_string(rc));
}
}  // namespace

std::wstring Widen(const std::string& utf8) { return ToWide(utf8, CP_UTF8); }
std::string Utf8(const std::wstring& wide) { return ToNarrow(wide, CP_UTF8); }
std::string ToCp932(const std::wstring& wide) { return ToNarrow(wide, 932); }
std::wstring FromCp932(const std::string& sjis) { return ToWide(sjis, 932); }

std::wstring WinePath(const std::string& unixPath)
{
    std::wstring out = L"Z:";
    for (char c : unixPath)
        out += (c == '/') ? L'\\' : (wchar_t)(unsigned char)c;
    return out;
}

std::wstring GetEnv(const wchar_t* name)
{
    wchar_t buffer[32768];
    DWORD n = GetEnvironmentVariableW(name, buffer, 32768);
    return (n > 0 && n < 32768) ? std::wstring(buffer, n) : std::wstring();
}

// ---- registry --------------------------------------------------------------
void DeleteKeyTree(HKEY root, const std::wstring& subkey, REGSAM view)
{
    HKEY key;
    if (RegOpenKeyExW(root, subkey.c_str(), 0, KEY_ALL_ACCESS | view, &key) != ERROR_SUCCESS)
        return;
    wchar_t name[256];
    for (;;) {
        DWORD len = 256;
        if (RegEnumKeyExW(key, 0, name, &len, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        DeleteKeyTree(root, subkey + L"\\" + name, view);
    }
    RegCloseKey(key);
    RegDeleteKeyExW(root, subkey.c_str(), view, 0);
}

static HKEY CreateKey(HKEY root, const std::wstring& subkey, REGSAM view)
{
    HKEY key;
    Check(RegCreateKeyExW(root, subkey.c_str(), 0, NULL, 0, KEY_ALL_ACCESS | view, NULL, &key, NULL),
          "RegCreateKeyExW");
    return key;
}

void SetRaw(HKEY root, const std::wstring& subkey, const std::wstring& name, DWORD type,
            const std::vector<BYTE>& bytes, REGSAM view)
{
    HKEY key = CreateKey(root, subkey, view);
    LONG rc = RegSetValueExW(key, name.c_str(), 0, type, bytes.empty() ? NULL : bytes.data(), (DWORD)bytes.size());
    RegCloseKey(key);
    Check(rc, "RegSetValueExW");
}

void SetDword(HKEY root, const std::wstring& subkey, const std::wstring& name, DWORD value, REGSAM view)
{
    std::vector<BYTE> bytes((BYTE*)&value, (BYTE*)&value + sizeof value);
    SetRaw(root, subkey, name, REG_DWORD, bytes, view);
}

void SetString(HKEY root, const std::wstring& subkey, const std::wstring& name, const std::string& sjisValue,
               REGSAM view)
{
    HKEY key = CreateKey(root, subkey, view);
    std::string narrowName = ToCp932(name);
    LONG rc = RegSetValueExA(key, narrowName.c_str(), 0, REG_SZ, (const BYTE*)sjisValue.c_str(),
                             (DWORD)sjisValue.size() + 1);
    RegCloseKey(key);
    Check(rc, "RegSetValueExA");
}

RegValue GetValue(HKEY root, const std::wstring& subkey, const std::wstring& name, REGSAM view)
{
    RegValue v;
    HKEY key;
    if (RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return v;
    DWORD size = 0;
    if (RegQueryValueExW(key, name.c_str(), NULL, &v.type, NULL, &size) == ERROR_SUCCESS) {
        v.bytes.resize(size);
        if (RegQueryValueExW(key, name.c_str(), NULL, &v.type, v.bytes.data(), &size) == ERROR_SUCCESS) {
            v.present = true;
            v.bytes.resize(size);
        }
    }
    RegCloseKey(key);
    return v;
}

bool KeyExists(HKEY root, const std::wstring& subkey, REGSAM view)
{
    HKEY key;
    if (RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

void RegisterJavaRuntime(const std::wstring& jvmDll)
{
    const std::wstring product = L"SOFTWARE\\JavaSoft\\Java Runtime Environment";
    DeleteKeyTree(HKEY_LOCAL_MACHINE, L"SOFTWARE\\JavaSoft");
    if (jvmDll.empty())
        return;
    SetString(HKEY_LOCAL_MACHINE, product, L"CurrentVersion", "1.8");
    SetString(HKEY_LOCAL_MACHINE, product + L"\\1.8", L"RuntimeLib", ToCp932(jvmDll));
}

void RegisterOtherMachineJavaRuntime(const std::wstring& dir)
{
    std::string image(0x40 + 6 + 256, '\0');
    image[0] = 'M', image[1] = 'Z', image[0x3C] = 0x40;
    image.replace(0x40, 4, "PE\0\0", 4);
    const WORD other = sizeof(void*) == 8 ? IMAGE_FILE_MACHINE_I386 : IMAGE_FILE_MACHINE_AMD64;
    image[0x44] = (char)(other & 0xFF), image[0x45] = (char)(other >> 8);
    WriteBytes(dir + L"jvm.dll", image);
    RegisterJavaRuntime(dir + L"jvm.dll");
}

void ResetSoftCardSwitches()
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                      L"Software\\Microsoft\\Cryptography\\Defaults\\Provider\\KEVO Crypto Service Provider", 0,
                      KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return;
    const wchar_t* names[] = {L"SoftCardFailOpen", L"SoftCardFailSign", L"SoftCardPinPrompt", L"SoftCardPin",
                              L"SoftCardDir"};
    for (const wchar_t* name : names)
        RegDeleteValueW(key, name);
    RegCloseKey(key);
}

const wchar_t kPolicyKey[] = L"SOFTWARE\\Policies\\KEVO";

REGSAM PolicyView()
{
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64 ? KEY_WOW64_64KEY : 0;
}

void SetPolicyValue(const std::wstring& name, const std::string& value)
{
    if (value.compare(0, 3, "sz:") == 0)
        SetString(HKEY_LOCAL_MACHINE, kPolicyKey, name, value.substr(3), PolicyView());
    else
        SetDword(HKEY_LOCAL_MACHINE, kPolicyKey, name, (DWORD)strtoul(value.c_str(), NULL, 10), PolicyView());
}

void ResetKevoRegistry()
{
    const REGSAM views[] = {KEY_WOW64_32KEY, KEY_WOW64_64KEY};
    for (REGSAM view : views) {
        DeleteKeyTree(HKEY_CURRENT_USER, L"SOFTWARE\\KEVO", view);
        DeleteKeyTree(HKEY_CURRENT_USER, L"SOFTWARE\\Wow6432Node\\KEVO", view);
        DeleteKeyTree(HKEY_LOCAL_MACHINE, L"SOFTWARE\\KEVO", view);
        DeleteKeyTree(HKEY_LOCAL_MACHINE, kPolicyKey, view);
    }
}

// ---- files -----------------------------------------------------------------
std::wstring MakeScratchDir(const std::wstring& label)
{
    static LONG counter = 0;
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    for (;;) {
        std::wstring dir = std::wstring(temp) + L"kevotest-" + label + L"-" + std::to_wstring(GetCurrentProcessId()) +
                           L"-" + std::to_wstring(InterlockedIncrement(&counter));
        if (CreateDirectoryW(dir.c_str(), NULL))
            return dir + L"\\";
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            throw std::runtime_error("CreateDirectoryW failed");
    }
}

void RemoveTree(const std::wstring& dir)
{
    std::wstring base = dir;
    if (!base.empty() && base.back() != L'\\')
        base += L'\\';
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((base + L"*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = fd.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::wstring path = base + name;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path);
            else {
                SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(h, &fd));
        FindClose(h);
    }
    RemoveDirectoryW(base.c_str());
}

std::vector<std::wstring> ListFiles(const std::wstring& dir, const std::wstring& pattern)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((dir + pattern).c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(fd.cFileName);
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    return names;
}

std::string ReadBytes(const std::wstring& path)
{
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                           OPEN_EXISTING, 0, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return std::string();
    std::string out;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(h, buffer, sizeof buffer, &got, NULL) && got > 0)
        out.append(buffer, got);
    CloseHandle(h);
    return out;
}

void WriteBytes(const std::wstring& path, const std::string& bytes)
{
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (h == INVALID_HANDLE_VALUE)
        throw std::runtime_error("CreateFileW failed");
    DWORD written = 0;
    BOOL ok = bytes.empty() || WriteFile(h, bytes.data(), (DWORD)bytes.size(), &written, NULL);
    CloseHandle(h);
    if (!ok || written != bytes.size())
        throw std::runtime_error("WriteFile failed");
}

void WriteIni(const std::wstring& path, const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    WriteBytes(path, text);
}

// ---- processes -------------------------------------------------------------
namespace {
// The parent's environment with TEMP/TMP/PATH and extra variables replaced,
// as a sorted block for CreateProcessW.
std::wstring BuildEnvironment(const ProcessOptions& options)
{
    std::map<std::wstring, std::wstring> vars;  // key upper-cased for replacement
    std::map<std::wstring, std::wstring> names;
    LPWCH block = GetEnvironmentStringsW();
    for (LPWCH p = block; *p; p += wcslen(p) + 1) {
        std::wstring entry = p;
        size_t eq = entry.find(L'=', 1);
        if (eq == std::wstring::npos)
            continue;
        std::wstring name = entry.substr(0, eq);
        std::wstring upper = name;
        CharUpperBuffW(&upper[0], (DWORD)upper.size());
        vars[upper] = entry.substr(eq + 1);
        names[upper] = name;
    }
    FreeEnvironmentStringsW(block);
    auto put = [&](const std::wstring& name, const std::wstring& value) {
        std::wstring upper = name;
        CharUpperBuffW(&upper[0], (DWORD)upper.size());
        vars[upper] = value;
        names[upper] = name;
    };
    if (!options.tempDir.empty()) {
        put(L"TEMP", options.tempDir);
        put(L"TMP", options.tempDir);
    }
    if (!options.pathPrefix.empty()) {
        std::wstring upper = L"PATH";
        put(L"PATH", options.pathPrefix + L";" + vars[upper]);
    }
    for (const auto& kv : options.env)
        put(kv.first, kv.second);
    std::wstring out;
    for (const auto& kv : vars)
        out += names[kv.first] + L"=" + kv.second + L'\0';
    out += L'\0';
    return out;
}
}  // namespace

ChildProcess::~ChildProcess()
{
    if (process_ != NULL) {
        if (Running()) {
            TerminateProcess(process_, 99);
            WaitForSingleObject(process_, 5000);
        }
        CloseHandle(process_);
    }
}

bool ChildProcess::Start(const std::wstring& exe, const std::wstring& args, const ProcessOptions& options)
{
    std::wstring command = L"\"" + exe + L"\"";
    if (!args.empty())
        command += L" " + args;
    std::wstring environment = BuildEnvironment(options);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(exe.c_str(), &command[0], NULL, NULL, FALSE, CREATE_UNICODE_ENVIRONMENT,
                        (LPVOID)environment.c_str(), options.workDir.empty() ? NULL : options.workDir.c_str(), &si,
                        &pi)) {
        // Reported here because a caller sees only that nothing ran.
        fprintf(stderr, "CreateProcess failed (error %lu): %ls\n", GetLastError(), command.c_str());
        return false;
    }
    CloseHandle(pi.hThread);
    process_ = pi.hProcess;
    pid_ = pi.dwProcessId;
    return true;
}

bool ChildProcess::StartThroughShell(const std::wstring& file, const ProcessOptions& options)
{
    // ShellExecuteEx gives the child this process's environment (plus what
    // the shell adds, such as an App Paths entry's Path), so the options'
    // variables are set here first.
    if (!options.pathPrefix.empty())
        return false;  // the shell's own PATH is what is under test
    if (!options.tempDir.empty()) {
        SetEnvironmentVariableW(L"TEMP", options.tempDir.c_str());
        SetEnvironmentVariableW(L"TMP", options.tempDir.c_str());
    }
    for (const auto& kv : options.env)
        SetEnvironmentVariableW(kv.first.c_str(), kv.second.c_str());
    SHELLEXECUTEINFOW sei = {};
    sei.cbSize = sizeof sei;
    sei.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    sei.lpVerb = L"open";
    sei.lpFile = file.c_str();
    sei.lpDirectory = options.workDir.empty() ? NULL : options.workDir.c_str();
    sei.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExW(&sei) || sei.hProcess == NULL)
        return false;
    process_ = sei.hProcess;
    pid_ = GetProcessId(sei.hProcess);
    return true;
}

bool ChildProcess::Attach(DWORD pid)
{
    process_ = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
    pid_ = process_ != NULL ? pid : 0;
    return process_ != NULL;
}

std::wstring ChildProcess::ImagePath() const
{
    wchar_t path[MAX_PATH * 2];
    DWORD size = MAX_PATH * 2;
    return process_ != NULL && QueryFullProcessImageNameW(process_, 0, path, &size) ? std::wstring(path, size)
                                                                                   : std::wstring();
}

bool ChildProcess::Wait(DWORD timeoutMs, DWORD* exitCode)
{
    if (process_ == NULL)
        return false;
    DWORD waited = WaitForSingleObject(process_, timeoutMs);
    if (waited != WAIT_OBJECT_0) {
        fprintf(stderr, "child %lu still running or lost after %lu ms (wait result %lu, error %lu)\n", pid_,
                timeoutMs, waited, GetLastError());
        TerminateProcess(process_, 99);
        WaitForSingleObject(process_, 5000);
        return false;
    }
    if (exitCode != NULL)
        GetExitCodeProcess(process_, exitCode);
    return true;
}

bool ChildProcess::Running() const
{
    return process_ != NULL && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

long RunProgram(const std::wstring& exe, const std::wstring& args, const ProcessOptions& options, DWORD timeoutMs)
{
    ChildProcess child;
    if (!child.Start(exe, args, options))
        return -2;
    DWORD code = 0;
    if (!child.Wait(timeoutMs, &code))
        return -1;
    return (long)code;
}

// ---- windows ---------------------------------------------------------------
namespace {
struct FindRequest {
    const std::wstring* title;
    const std::wstring* className;
    DWORD pid;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM param)
{
    FindRequest* request = reinterpret_cast<FindRequest*>(param);
    if (!IsWindowVisible(window))
        return TRUE;
    if (request->pid != 0) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner != request->pid)
            return TRUE;
    }
    if (WindowText(window) != *request->title)
        return TRUE;
    if (!request->className->empty()) {
        wchar_t cls[256];
        GetClassNameW(window, cls, 256);
        if (*request->className != cls)
            return TRUE;
    }
    request->found = window;
    return FALSE;
}

BOOL CALLBACK CollectStatic(HWND child, LPARAM param)
{
    wchar_t cls[64];
    GetClassNameW(child, cls, 64);
    if (lstrcmpiW(cls, L"Static") == 0) {
        std::wstring text = WindowText(child);
        if (!text.empty()) {
            std::wstring* out = reinterpret_cast<std::wstring*>(param);
            if (!out->empty())
                *out += L"\n";
            *out += text;
        }
    }
    return TRUE;
}

BOOL CALLBACK AnyVisible(HWND window, LPARAM param)
{
    DWORD* pid = reinterpret_cast<DWORD*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == *pid && IsWindowVisible(window)) {
        *pid = 0;
        return FALSE;
    }
    return TRUE;
}
}  // namespace

HWND WaitForWindow(const std::wstring& title, const std::wstring& className, DWORD pid, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        FindRequest request = {&title, &className, pid, NULL};
        EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&request));
        if (request.found != NULL)
            return request.found;
        if (GetTickCount() - start > timeoutMs)
            return NULL;
        Sleep(20);
    }
}

bool WaitForWindowGone(HWND window, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (IsWindow(window)) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(20);
    }
    return true;
}

std::wstring WindowText(HWND window)
{
    // WM_GETTEXT works across processes for windows of another process too.
    wchar_t buffer[4096];
    buffer[0] = L'\0';  // a window that does not answer in time reads as empty
    LRESULT n = SendMessageTimeoutW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG,
                                    5000, NULL);
    (void)n;
    buffer[4095] = L'\0';
    return buffer;
}

std::wstring DialogStaticText(HWND dialog)
{
    std::wstring out;
    EnumChildWindows(dialog, CollectStatic, reinterpret_cast<LPARAM>(&out));
    return out;
}

void SetControlText(HWND dialog, int id, const std::wstring& text)
{
    SendMessageW(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void ClickButton(HWND dialog, int id)
{
    PostMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

bool ProcessHasVisibleWindow(DWORD pid)
{
    DWORD probe = pid;
    EnumWindows(AnyVisible, reinterpret_cast<LPARAM>(&probe));
    return probe == 0;
}

DialogAnswerer::DialogAnswerer(const std::wstring& title, DWORD pid, int editId, const wchar_t* text)
    : title_(title), pid_(pid), editId_(editId), text_(text != NULL ? text : L""), cancel_(text == NULL)
{
    stop_ = CreateEventW(NULL, TRUE, FALSE, NULL);
    thread_ = CreateThread(NULL, 0, &DialogAnswerer::Run, this, 0, NULL);
}

DialogAnswerer::~DialogAnswerer()
{
    Stop();
}

void DialogAnswerer::Stop()
{
    if (thread_ == NULL)
        return;
    SetEvent(stop_);
    WaitForSingleObject(thread_, 60000);
    CloseHandle(thread_);
    CloseHandle(stop_);
    thread_ = NULL;
}

DWORD WINAPI DialogAnswerer::Run(LPVOID self)
{
    static_cast<DialogAnswerer*>(self)->Answer();
    return 0;
}

void DialogAnswerer::Answer()
{
    DWORD start = GetTickCount();
    while (WaitForSingleObject(stop_, 0) == WAIT_TIMEOUT && GetTickCount() - start < 30000) {
        HWND dialog = WaitForWindow(title_, L"#32770", pid_, 100);
        if (dialog == NULL)
            continue;
        seen_ = true;
        editStyle_ = GetWindowLongW(GetDlgItem(dialog, editId_), GWL_STYLE);
        if (!cancel_)
            SetControlText(dialog, editId_, text_);
        ClickButton(dialog, cancel_ ? IDCANCEL : IDOK);
        WaitForWindowGone(dialog, 10000);
        return;
    }
}

// ---- trace logs ------------------------------------------------------------
std::string ReadLogs(const std::wstring& dir, const std::wstring& prefix)
{
    std::string out;
    for (const std::wstring& name : ListFiles(dir, prefix + L"*.log"))
        out += ReadBytes(dir + name);
    return out;
}

void EnableTrace(DWORD level, DWORD commit)
{
    SetDword(HKEY_CURRENT_USER, L"SOFTWARE\\KEVO", L"TRACE", level);
    SetDword(HKEY_CURRENT_USER, L"SOFTWARE\\KEVO", L"TRACECOMMIT", commit);
}

// ---- testbed server --------------------------------------------------------
HttpReply TestbedRequest(const std::string& method, const std::string& path, const std::string& body)
{
    static bool started = false;
    if (!started) {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        started = true;
    }
    HttpReply reply;
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET)
        return reply;
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(KEVO_TESTBED_HTTP_PORT);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        closesocket(s);
        return reply;
    }
    std::string request = method + " " + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\nContent-Length: " +
                          std::to_string(body.size()) + "\r\n\r\n" + body;
    send(s, request.data(), (int)request.size(), 0);
    std::string raw;
    char buffer[8192];
    int got;
    while ((got = recv(s, buffer, sizeof buffer, 0)) > 0)
        raw.append(buffer, got);
    closesocket(s);
    size_t space = raw.find(' ');
    size_t headerEnd = raw.find("\r\n\r\n");
    if (space == std::string::npos || headerEnd == std::string::npos)
        return reply;
    reply.status = atoi(raw.c_str() + space + 1);
    reply.body = raw.substr(headerEnd + 4);
    return reply;
}

}  // namespace kevotest

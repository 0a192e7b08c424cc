#include "WizardRun.h"

#include <winsock2.h>
#include <wincrypt.h>
#include <shellapi.h>

#include <cstdio>

using namespace kevotest;

namespace wizardtest {

const wchar_t kWizardTitle[] = L"KEVO オンライン失効申請機能 ";
const wchar_t kAboutTitle[] = L"バージョン情報 KEVORevoke";
const wchar_t kErrorCaption[] = L"オンライン失効申請";
const wchar_t kSendCaption[] = L"KEVO オンライン失効申請機能";

namespace {

const wchar_t kCardKey[] = L"Software\\Microsoft\\Cryptography\\Defaults\\Provider\\KEVO Crypto Service Provider";
// The software card's switches (testbed/softcard/README.md). The PIN
// prompt's value names where the card asks (1 when it is opened, 2 when it
// signs).
const wchar_t kFailOpenValue[] = L"SoftCardFailOpen";
const wchar_t kFailSignValue[] = L"SoftCardFailSign";
const wchar_t kCardDirValue[] = L"SoftCardDir";
const wchar_t kPinPromptValue[] = L"SoftCardPinPrompt";
const wchar_t kPinValue[] = L"SoftCardPin";

const char kAcceptPath[] = "/reception/servlet/kevo.AccRvRq.servlet.AcceptApply?Request=PostRevokeApply";

void SetOption(const std::string& name, const std::string& jsonValue)
{
    TestbedRequest("POST", "/_testbed/option", "{\"name\": \"" + name + "\", \"value\": " + jsonValue + "}");
}

// The string value of "key" in a flat JSON object (no escapes expected).
std::string JsonString(const std::string& json, const std::string& key)
{
    size_t at = json.find("\"" + key + "\"");
    if (at == std::string::npos)
        return std::string();
    size_t open = json.find('"', json.find(':', at) + 1);
    size_t close = open == std::string::npos ? std::string::npos : json.find('"', open + 1);
    if (close == std::string::npos)
        return std::string();
    return json.substr(open + 1, close - open - 1);
}

std::string Base64Decode(const std::string& text)
{
    DWORD size = 0;
    if (text.empty() || !CryptStringToBinaryA(text.c_str(), (DWORD)text.size(), CRYPT_STRING_BASE64, NULL, &size,
                                              NULL, NULL))
        return std::string();
    std::string bytes(size, '\0');
    CryptStringToBinaryA(text.c_str(), (DWORD)text.size(), CRYPT_STRING_BASE64,
                         reinterpret_cast<BYTE*>(&bytes[0]), &size, NULL, NULL);
    bytes.resize(size);
    return bytes;
}

std::wstring Dir(const std::string& unixPath)
{
    std::wstring dir = WinePath(unixPath);
    if (!dir.empty() && dir.back() != L'\\')
        dir += L'\\';
    return dir;
}

}  // namespace

std::string Sjis(const std::wstring& text) { return ToCp932(text); }

Applicant SampleApplicant()
{
    Applicant a;
    // 𠮷 (U+20BB7) has no Shift-JIS form and reaches the program as a
    // surrogate pair.
    a.name = L"𠮷田　花子";
    a.address = L"東京都千代田区霞が関一丁目１番１号";
    a.gender = "2";
    a.birth = "319750415";
    return a;
}

void SetCardSwitches(DWORD failOpen, DWORD failSign, PinPrompt prompt, const std::string& pin)
{
    // The key and certificate the fixture installed (another test may have
    // pointed the card elsewhere).
    SetString(HKEY_LOCAL_MACHINE, kCardKey, kCardDirValue, Sjis(Dir(KEVO_SOFTCARD_DIR)));
    SetDword(HKEY_LOCAL_MACHINE, kCardKey, kFailOpenValue, failOpen);
    SetDword(HKEY_LOCAL_MACHINE, kCardKey, kFailSignValue, failSign);
    SetDword(HKEY_LOCAL_MACHINE, kCardKey, kPinPromptValue, (DWORD)prompt);
    SetString(HKEY_LOCAL_MACHINE, kCardKey, kPinValue, pin);
}

void ResetCounter() { TestbedRequest("POST", "/_testbed/reset"); }

void SetCounterStatus(int status) { SetOption("counter.accept_status", std::to_string(status)); }

void SetCounterClock(const std::string& digits) { SetOption("counter.time", digits.empty() ? "null" : "\"" + digits + "\""); }

int CounterRequests()
{
    HttpReply reply = TestbedRequest("GET", std::string("/_testbed/count?path=") + kAcceptPath);
    return reply.status == 200 ? atoi(reply.body.c_str()) : -1;
}

std::string CounterVerdictJson() { return TestbedRequest("GET", "/_counter/verdict").body; }

std::string CounterVerdictSummary()
{
    std::string json = CounterVerdictJson();
    std::string verdict = JsonString(json, "verdict");
    if (verdict.empty())
        return "no request";
    size_t status = json.find("\"status\"");
    std::string summary = verdict + " (status " +
                          (status == std::string::npos ? std::string("?") : std::to_string(atoi(json.c_str() + json.find(':', status) + 1))) +
                          ")";
    std::string reason = JsonString(json, "reason");
    return reason.empty() ? summary : summary + ": " + reason;
}

std::string CounterDocument() { return Base64Decode(JsonString(CounterVerdictJson(), "document_b64")); }

// ---- relay ----------------------------------------------------------------------
namespace {
struct PumpPair {
    SOCKET client;
    SOCKET server;
    CounterRelay* relay;
};
SOCKET ConnectLoopback(int port)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_port = htons((u_short)port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (s != INVALID_SOCKET && connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        closesocket(s);
        s = INVALID_SOCKET;
    }
    return s;
}
}  // namespace

bool CounterRelay::Start()
{
    WSADATA winsock;
    if (WSAStartup(MAKEWORD(2, 2), &winsock) != 0)
        return false;
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof addr;
    if (s == INVALID_SOCKET || bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(s, 16) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&addr), &size) != 0) {
        if (s != INVALID_SOCKET)
            closesocket(s);
        return false;
    }
    listener_ = s;
    port_ = ntohs(addr.sin_port);
    thread_ = CreateThread(NULL, 0, AcceptLoop, this, 0, NULL);
    return thread_ != NULL;
}

void CounterRelay::Track(UINT_PTR socket, bool open)
{
    std::lock_guard<std::mutex> guard(lock_);
    if (open) {
        open_.push_back(socket);
        return;
    }
    for (size_t i = 0; i < open_.size(); ++i) {
        if (open_[i] == socket) {
            open_.erase(open_.begin() + i);
            break;
        }
    }
}

void CounterRelay::Stop()
{
    if (listener_ != INVALID_SOCKET) {
        closesocket(listener_);  // ends the accept loop
        listener_ = INVALID_SOCKET;
    }
    {
        // The pumps see the end of both streams and close the sockets.
        std::lock_guard<std::mutex> guard(lock_);
        for (size_t i = 0; i < open_.size(); ++i)
            shutdown(open_[i], SD_BOTH);
    }
    // The pumps use this object until they end (bounded wait).
    for (int i = 0; i < 500; ++i) {
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (open_.empty())
                break;
        }
        Sleep(10);
    }
    if (thread_ != NULL) {
        WaitForSingleObject(thread_, 5000);
        CloseHandle(thread_);
        thread_ = NULL;
    }
}

DWORD WINAPI CounterRelay::AcceptLoop(LPVOID param)
{
    CounterRelay* self = static_cast<CounterRelay*>(param);
    SOCKET listener = self->listener_;
    for (;;) {
        SOCKET client = accept(listener, NULL, NULL);
        if (client == INVALID_SOCKET)
            return 0;
        SOCKET server = ConnectLoopback(KEVO_TESTBED_HTTPS_PORT);
        if (server == INVALID_SOCKET) {
            closesocket(client);
            continue;
        }
        self->Track(client, true);
        self->Track(server, true);
        PumpPair* pair = new PumpPair{client, server, self};
        HANDLE pump = CreateThread(NULL, 0, Pump, pair, 0, NULL);
        if (pump != NULL)
            CloseHandle(pump);
        else {
            self->Track(client, false);
            self->Track(server, false);
            closesocket(client);
            closesocket(server);
            delete pair;
        }
    }
}

DWORD WINAPI CounterRelay::Pump(LPVOID param)
{
    PumpPair pair = *static_cast<PumpPair*>(param);
    delete static_cast<PumpPair*>(param);
    char buffer[16384];
    for (;;) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(pair.client, &readable);
        FD_SET(pair.server, &readable);
        timeval wait = {30, 0};
        if (select(0, &readable, NULL, NULL, &wait) <= 0)
            break;
        SOCKET from = FD_ISSET(pair.client, &readable) ? pair.client : pair.server;
        SOCKET to = from == pair.client ? pair.server : pair.client;
        int got = recv(from, buffer, sizeof buffer, 0);
        if (got <= 0 || send(to, buffer, got, 0) != got)
            break;
    }
    pair.relay->Track(pair.client, false);
    pair.relay->Track(pair.server, false);
    closesocket(pair.client);
    closesocket(pair.server);
    return 0;
}

void MakeInstallDir(const std::wstring& dir, const std::string& url)
{
    CreateDirectoryW(dir.c_str(), NULL);
    CopyFileW((Dir(KEVO_IMAGE_DIR) + L"KEVOServiceAPI.dll").c_str(), (dir + L"KEVOServiceAPI.dll").c_str(), FALSE);
    WriteIni(dir + L"KEVOValidationInfo.ini", {"[ConfirmSettingInfo]", "url=" + url});
}

ScreenView ReadScreen(HWND dialog)
{
    ScreenView v;
    v.number = ItemText(dialog, kScreenNo);
    v.prompt = ItemText(dialog, kPrompt);
    v.explain = ItemText(dialog, kExplain);
    v.shortExplain = ItemText(dialog, kShortExplain);
    v.forward = ItemText(dialog, kForward);
    v.end = ItemText(dialog, kEnd);
    v.explainVisible = ItemVisible(dialog, kExplain);
    v.shortVisible = ItemVisible(dialog, kShortExplain);
    v.tableVisible = ItemVisible(dialog, kEditName) && ItemVisible(dialog, kLabelName);
    v.forwardVisible = ItemVisible(dialog, kForward);
    v.name = ItemText(dialog, kEditName);
    v.gender = ItemText(dialog, kEditGender);
    v.birth = ItemText(dialog, kEditBirth);
    v.address = ItemText(dialog, kEditAddress);
    return v;
}

std::string DescribeScreen(const ScreenView& v)
{
    std::wstring text = L"[" + v.number + L"]\n";
    if (v.explainVisible)
        text += v.explain + L"\n";
    if (v.shortVisible)
        text += v.shortExplain + L"\n";
    if (v.tableVisible)
        text += L"  氏名: " + v.name + L"\n  性別: " + v.gender + L"  生年月日: " + v.birth + L"\n  住所: " + v.address +
                L"\n";
    size_t promptStart = v.prompt.find_first_not_of(L"\n ");
    text += L"  > " + (promptStart == std::wstring::npos ? std::wstring() : v.prompt.substr(promptStart)) + L"\n";
    text += L"  [" + (v.forwardVisible ? v.forward : std::wstring(L"-")) + L"] [" + v.end + L"]\n";
    return Utf8(text);
}

namespace {

// Where the emulated Java side reads its scenario when its environment
// does not name one.
const wchar_t kEmulationKey[] = L"Software\\KEVO-Testbed\\jvmemu";

// Opens a shortcut as a click in the Start menu does: its target in its
// working folder, in the shell's environment.
bool OpenAsClick(const std::wstring& shortcut)
{
    SHELLEXECUTEINFOW sei = {};
    sei.cbSize = sizeof sei;
    sei.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    sei.lpVerb = L"open";
    sei.lpFile = shortcut.c_str();
    sei.nShow = SW_SHOWNORMAL;
    if (ShellExecuteExW(&sei))
        return true;
    fprintf(stderr, "ShellExecuteEx failed (error %lu): %ls\n", GetLastError(), shortcut.c_str());
    return false;
}

}  // namespace

RunOptions BuildTreeOptions(const std::wstring& label)
{
    RunOptions o;
    o.imageDir = Dir(KEVO_IMAGE_DIR);
    o.exe = o.imageDir + L"KEVORevoke.exe";
    o.jvmDir = Dir(KEVO_JVMEMU_DIR);
    o.workDir = MakeScratchDir(label);
    o.applicant = SampleApplicant();
    return o;
}

bool WizardRun::Start(DWORD timeoutMs)
{
    // The install directory and the Java runtime as the installers register
    // them.
    if (!options_.installed) {
        SetString(HKEY_LOCAL_MACHINE, L"Software\\KEVO", L"InstallPath",
                  Sjis(options_.installDir.empty() ? options_.imageDir : options_.installDir));
        RegisterJavaRuntime(options_.jvmDir + L"jvm.dll");
    }
    if (options_.traceLevel != 0)
        EnableTrace(options_.traceLevel);
    // The emulated service's answer for this run.
    const Applicant& a = options_.applicant;
    std::wstring scenario = options_.workDir + L"scenario.txt";
    WriteBytes(scenario, "name=" + Utf8(a.name) + "\naddress=" + Utf8(a.address) + "\ngender=" + a.gender +
                             "\ndateOfBirth=" + a.birth + "\n");
    // The emulation's report: traps, misuses, references left over.
    const std::wstring traps = options_.workDir + L"traps.txt";
    ProcessOptions p;
    p.tempDir = options_.workDir;
    p.workDir = options_.startDir.empty() ? options_.workDir : options_.startDir;
    p.env[L"KEVO_JVMEMU_SCENARIO"] = scenario;
    p.env[L"KEVO_JVMEMU_TRAPS"] = traps;
    if (!options_.shortcut.empty()) {
        // Everything the program reads is in place before the click.
        SetString(HKEY_CURRENT_USER, kEmulationKey, L"Scenario", ToCp932(scenario));
        SetString(HKEY_CURRENT_USER, kEmulationKey, L"Traps", ToCp932(traps));
        if (!OpenAsClick(options_.shortcut))
            return false;
        HWND wizard = WaitForWindow(kWizardTitle, L"", 0, timeoutMs);
        DWORD pid = 0;
        if (wizard == NULL || GetWindowThreadProcessId(wizard, &pid) == 0 || !child_.Attach(pid))
            return false;
    } else if (!(options_.throughShell ? child_.StartThroughShell(options_.exe, p) : child_.Start(options_.exe, L"", p))) {
        return false;
    }
    dialog_ = WaitForWindowOf(
        Pid(), [](HWND w) { return WindowText(w) == kWizardTitle && GetDlgItem(w, kForward) != NULL; }, timeoutMs);
    return dialog_ != NULL && WaitForScreen(1, timeoutMs);
}

int WizardRun::ScreenNumber() const
{
    std::wstring number = ItemText(dialog_, kScreenNo);
    size_t blank = number.rfind(L' ');
    return blank == std::wstring::npos ? 0 : _wtoi(number.c_str() + blank + 1);
}

bool WizardRun::WaitForScreen(int number, DWORD timeoutMs) const
{
    return WaitUntil([&] { return ScreenNumber() == number && IsWindowEnabled(dialog_); }, timeoutMs);
}

HWND WizardRun::WaitForBox(DWORD timeoutMs) const
{
    return WaitForWindowOf(
        Pid(),
        [&](HWND w) {
            return w != dialog_ && IsWindowEnabled(w) && ClassOf(w) == L"#32770" && !HasEditControl(w) &&
                   GetDlgItem(w, kForward) == NULL;
        },
        timeoutMs);
}

std::wstring WizardRun::Answer(HWND box, int button) const
{
    if (box == NULL)
        return L"<no message box>";
    std::wstring text = DialogStaticText(box);
    ClickButton(box, button);
    WaitForWindowGone(box, 10000);
    return text;
}

bool WizardRun::WaitForExit(DWORD timeoutMs)
{
    DWORD code = 0;
    return child_.Wait(timeoutMs, &code);
}

std::string WizardRun::Traps() const
{
    std::wstring path = options_.workDir + L"traps.txt";
    return GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES ? std::string() : ReadBytes(path);
}

std::string WizardRun::Log() const { return ReadLogs(options_.workDir, L"KEVORevoke"); }

WizardRun::Next WizardRun::WaitForNext(int screen, HWND* window, DWORD timeoutMs) const
{
    Next next = kNextNothing;
    HWND found = NULL;
    WaitUntil(
        [&] {
            if (ScreenNumber() == screen && IsWindowEnabled(dialog_)) {
                next = kNextScreen;
                return true;
            }
            if ((found = WaitForPin(0)) != NULL) {
                next = kNextPin;
                return true;
            }
            if ((found = WaitForBox(0)) != NULL) {
                next = kNextBox;
                return true;
            }
            return false;
        },
        timeoutMs);
    if (window != NULL)
        *window = found;
    return next;
}

}  // namespace wizardtest

#include "RWSettingFixture.h"

#include <cstdio>

using namespace kevotest;

namespace rwtest {

const std::wstring kTitle = L"ICカードリーダライタ設定";
const wchar_t kKevoKey[] = L"SOFTWARE\\KEVO";
const wchar_t kWowKey[] = L"SOFTWARE\\Wow6432Node\\KEVO";
const std::wstring kMessageSaved = L"ICカードリーダライタの設定が変更されました。";
const std::wstring kMessageNoReader = L"利用可能なPC/SCリーダライタがありません。";
const std::wstring kMessageRunning = L"ICカードリーダライタ設定は既に起動しています。";

namespace {
const wchar_t kStandInKey[] = L"Software\\KEVOTestbed\\winscard";
const wchar_t kOverrideKey[] = L"Software\\Wine\\AppDefaults\\KEVORWSetting.exe\\DllOverrides";

struct FindRequest {
    DWORD pid;
    bool dialog;
    HWND found;
};

BOOL CALLBACK MatchToolWindow(HWND window, LPARAM param)
{
    FindRequest* request = reinterpret_cast<FindRequest*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != request->pid || !IsWindowVisible(window))
        return TRUE;
    wchar_t cls[64];
    GetClassNameW(window, cls, 64);
    if (lstrcmpW(cls, L"#32770") != 0 || WindowText(window) != kTitle)
        return TRUE;
    // The dialog has the reader list; the message boxes share its caption.
    bool isDialog = GetDlgItem(window, 1015) != NULL;
    if (isDialog != request->dialog)
        return TRUE;
    request->found = window;
    return FALSE;
}

HWND FindToolWindow(DWORD pid, bool dialog)
{
    FindRequest request = {pid, dialog, NULL};
    EnumWindows(MatchToolWindow, reinterpret_cast<LPARAM>(&request));
    return request.found;
}

HKEY CreateKeyW(const wchar_t* key)
{
    HKEY h = NULL;
    RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &h, NULL);
    return h;
}
}  // namespace

std::string Sjis(const std::wstring& text) { return ToCp932(text); }

std::wstring RegistryErrorMessage(DWORD code)
{
    wchar_t buffer[128];
    swprintf(buffer, 128, L"レジストリアクセスエラーが発生しました。(エラーコード: 0x%08x)", (unsigned)code);
    return buffer;
}

NarrowValue GetNarrow(const wchar_t* key, const char* name, REGSAM view)
{
    NarrowValue v;
    HKEY h;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_READ | view, &h) != ERROR_SUCCESS)
        return v;
    DWORD size = 0;
    if (RegQueryValueExA(h, name, NULL, &v.type, NULL, &size) == ERROR_SUCCESS) {
        std::string bytes(size + 16, '\0');
        DWORD got = (DWORD)bytes.size();
        if (RegQueryValueExA(h, name, NULL, &v.type, reinterpret_cast<BYTE*>(&bytes[0]), &got) == ERROR_SUCCESS) {
            v.present = true;
            v.bytes = bytes.substr(0, got);
        }
    }
    RegCloseKey(h);
    return v;
}

void SetNarrowRaw(const wchar_t* key, const char* name, DWORD type, const std::string& bytes)
{
    HKEY h = CreateKeyW(key);
    ASSERT_TRUE(h != NULL);
    LONG rc = RegSetValueExA(h, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()), (DWORD)bytes.size());
    RegCloseKey(h);
    ASSERT_EQ(ERROR_SUCCESS, rc);
}

void SetNarrowString(const wchar_t* key, const char* name, const std::string& sjis)
{
    SetNarrowRaw(key, name, REG_SZ, std::string(sjis.c_str(), sjis.size() + 1));
}

std::vector<std::wstring> ComboItems(HWND combo)
{
    std::vector<std::wstring> items;
    LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        LRESULT length = SendMessageW(combo, CB_GETLBTEXTLEN, i, 0);
        if (length < 0)
            break;
        std::wstring text(length + 1, L'\0');
        SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(&text[0]));
        text.resize(wcslen(text.c_str()));
        items.push_back(text);
    }
    return items;
}

int ComboSelection(HWND combo) { return (int)SendMessageW(combo, CB_GETCURSEL, 0, 0); }

bool Checked(HWND dialog, int id) { return SendDlgItemMessageW(dialog, id, BM_GETCHECK, 0, 0) == BST_CHECKED; }

bool Enabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }

// Wine shows a 32-bit program HKCU\Software\Wow6432Node in place of
// HKCU\Software as soon as that key exists; each test starts without it so
// that its first save reaches both keys as on Windows.
static void RemoveWow6432Node()
{
    DeleteKeyTree(HKEY_CURRENT_USER, L"SOFTWARE\\Wow6432Node", KEY_WOW64_64KEY);
}

void RWSettingTest::SetUp()
{
    RemoveWow6432Node();
    ResetKevoRegistry();
    DeleteKeyTree(HKEY_CURRENT_USER, kStandInKey);
    DeleteKeyTree(HKEY_CURRENT_USER, kOverrideKey);
    dir_ = MakeScratchDir(L"rwsetting");
    exe_ = dir_ + L"KEVORWSetting.exe";
    ASSERT_TRUE(CopyFileW(WinePath(KEVO_RWSETTING_EXE).c_str(), exe_.c_str(), FALSE));
    options_.tempDir = dir_;
    options_.workDir = dir_;
}

void RWSettingTest::TearDown()
{
    if (child_.Running()) {
        DWORD code;
        child_.Wait(0, &code);  // kills it
    }
    RemoveTree(dir_);
    ResetKevoRegistry();
    RemoveWow6432Node();
    DeleteKeyTree(HKEY_CURRENT_USER, kStandInKey);
    DeleteKeyTree(HKEY_CURRENT_USER, kOverrideKey);
}

void RWSettingTest::UseStandIn(const std::vector<std::string>& readers)
{
    ASSERT_TRUE(CopyFileW(WinePath(KEVO_WINSCARD_DLL).c_str(), (dir_ + L"winscard.dll").c_str(), FALSE));
    // Wine takes a DLL override for one program from the registry when the
    // program starts (WINEDLLOVERRIDES in the child's environment block is
    // not honoured for a child started through CreateProcess).
    SetString(HKEY_CURRENT_USER, kOverrideKey, L"winscard", "native");
    std::string multi;
    for (const std::string& name : readers)
        multi += name + std::string(1, '\0');
    multi += std::string(1, '\0');
    SetNarrowRaw(kStandInKey, "Readers", REG_MULTI_SZ, multi);
}

HWND RWSettingTest::StartTool() { return StartTool(child_); }

HWND RWSettingTest::StartTool(ChildProcess& child)
{
    if (!child.Start(exe_, L"", options_))
        return NULL;
    return WaitForDialog(child.Pid());
}

HWND RWSettingTest::WaitForDialog(DWORD pid, DWORD timeoutMs)
{
    HWND found = NULL;
    WaitUntil([&] { return (found = FindToolWindow(pid, true)) != NULL; }, timeoutMs);
    return found;
}

HWND RWSettingTest::WaitForMessageBox(DWORD pid, DWORD timeoutMs)
{
    HWND found = NULL;
    WaitUntil([&] { return (found = FindToolWindow(pid, false)) != NULL; }, timeoutMs);
    return found;
}

std::wstring RWSettingTest::AnswerMessageBox(HWND box)
{
    if (box == NULL)
        return L"<no message box>";
    std::wstring text = DialogStaticText(box);
    ClickButton(box, IDOK);
    EXPECT_TRUE(WaitForWindowGone(box, 10000));
    return text;
}

void RWSettingTest::SaveExpectingSuccess(HWND dialog)
{
    ClickButton(dialog, IDOK);
    EXPECT_EQ(kMessageSaved, AnswerMessageBox(WaitForMessageBox(child_.Pid())));
    EXPECT_TRUE(WaitForExit());
}

void RWSettingTest::SaveExpectingMessage(HWND dialog, const std::wstring& message)
{
    ClickButton(dialog, IDOK);
    EXPECT_EQ(message, AnswerMessageBox(WaitForMessageBox(child_.Pid())));
    EXPECT_TRUE(IsWindow(dialog));
    EXPECT_TRUE(child_.Running());
}

bool RWSettingTest::WaitForExit(DWORD timeoutMs)
{
    DWORD code = 0;
    return child_.Wait(timeoutMs, &code);
}

std::string RWSettingTest::Logs() const { return ReadLogs(dir_, L"KEVOUtil"); }

DWORD RWSettingTest::StandInCount(const wchar_t* name) const
{
    RegValue v = GetValue(HKEY_CURRENT_USER, kStandInKey, name);
    if (!v.present || v.bytes.size() != 4)
        return 0;
    return *reinterpret_cast<const DWORD*>(v.bytes.data());
}

}  // namespace rwtest

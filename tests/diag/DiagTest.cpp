// KEVODiag.exe under Wine on a PC set up as a citizen's: an install folder
// copied from the image, the emulated runtime registered as the Java
// runtime, the software card's provider, the reader stand-in with a card,
// the testbed counter. Each broken piece must turn into its NG line; the
// window shows what /report writes.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "KevoTestSupport.h"
#include "WindowDriver.h"

using namespace kevotest;

namespace {

const std::wstring kImage = WinePath(KEVO_IMAGE_DIR) + L"\\";
const wchar_t* const kImageFiles[] = {L"KEVORevoke.exe", L"KEVOSoftverchk.exe", L"KEVORWSetting.exe",
                                      L"KEVODiag.exe", L"KEVOServiceAPIk.dll", L"KEVOServiceAPI.dll",
                                      L"KEVORegRead.dll"};
const std::wstring kProviderKey =
    L"Software\\Microsoft\\Cryptography\\Defaults\\Provider\\KEVO Crypto Service Provider";
const wchar_t kStandInKey[] = L"Software\\KEVOTestbed\\winscard";
const wchar_t kOverrideKey[] = L"Software\\Wine\\AppDefaults\\KEVODiag.exe\\DllOverrides";
const std::string kSecret = u8"Pa55-秘密";

std::string Port(int port) { return std::to_string(port); }

void Option(const std::string& name, const std::string& json)
{
    ASSERT_EQ(200, TestbedRequest("POST", "/_testbed/option", "{\"name\": \"" + name + "\", \"value\": " + json + "}")
                       .status);
}

// The counter clock in 14 digits, shifted from now (UTC).
std::string ClockShifted(long long seconds)
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER ticks = {{now.dwLowDateTime, now.dwHighDateTime}};
    ticks.QuadPart += seconds * 10000000LL;
    FILETIME shifted = {ticks.LowPart, ticks.HighPart};
    SYSTEMTIME t;
    FileTimeToSystemTime(&shifted, &t);
    char text[16];
    snprintf(text, sizeof text, "%04u%02u%02u%02u%02u%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
    return text;
}

// The lines of the report that carry a verdict: "OK", "注意" or "NG" first.
std::vector<std::string> LinesStarting(const std::string& report, const std::string& label)
{
    std::vector<std::string> found;
    size_t start = 0;
    while (start < report.size()) {
        size_t end = report.find("\r\n", start);
        std::string line = report.substr(start, end - start);
        if (line.compare(0, label.size(), label) == 0)
            found.push_back(line);
        start = end == std::string::npos ? report.size() : end + 2;
    }
    return found;
}

// Numbers vary between two runs (times, the clock difference); the rest
// may not.
std::string MaskNumbers(const std::string& text)
{
    std::string masked;
    for (size_t i = 0; i < text.size(); ++i) {
        bool digit = text[i] >= '0' && text[i] <= '9';
        bool sign = text[i] == '-' && i + 1 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '9';
        if (!digit && !sign)
            masked += text[i];
        else if (masked.empty() || masked.back() != '#')
            masked += '#';
    }
    return masked;
}

class DiagTest : public ::testing::Test {
public:
    void SetUp() override
    {
        ResetKevoRegistry();
        ResetSoftCardSwitches();
        ASSERT_EQ(200, TestbedRequest("POST", "/_testbed/reset").status);
        dir_ = MakeScratchDir(L"diag");
        install_ = dir_ + L"install\\";
        CreateDirectoryW(install_.c_str(), NULL);
        for (const wchar_t* name : kImageFiles)
            ASSERT_TRUE(CopyFileW((kImage + name).c_str(), (install_ + name).c_str(), FALSE)) << Utf8(name);
        SetString(HKEY_LOCAL_MACHINE, L"Software\\KEVO", L"InstallPath", ToCp932(install_));
        // 1.0.0, as the testbed's version file publishes it.
        SetDword(HKEY_LOCAL_MACHINE, L"Software\\KEVO\\Version", L"Major", 1);
        SetDword(HKEY_LOCAL_MACHINE, L"Software\\KEVO\\Version", L"Minor", 0);
        SetDword(HKEY_LOCAL_MACHINE, L"Software\\KEVO\\Version", L"Revision", 0);
        Settings({"url=https://localhost:" + Port(KEVO_TESTBED_HTTPS_PORT) + "/"});
        RegisterJavaRuntime(WinePath(KEVO_JVMEMU_DLL));
        // The reader stand-in beside the program, with one reader.
        ASSERT_TRUE(CopyFileW(WinePath(KEVO_WINSCARD_DLL).c_str(), (install_ + L"winscard.dll").c_str(), FALSE));
        SetString(HKEY_CURRENT_USER, kOverrideKey, L"winscard", "native");
        DeleteKeyTree(HKEY_CURRENT_USER, kStandInKey);
        const wchar_t readers[] = L"KEVO Reader 0\0";
        SetRaw(HKEY_CURRENT_USER, kStandInKey, L"Readers", REG_MULTI_SZ,
               std::vector<BYTE>((const BYTE*)readers, (const BYTE*)readers + sizeof readers));
        imagePath_ = GetValue(HKEY_LOCAL_MACHINE, kProviderKey, L"Image Path");
        options_.tempDir = dir_;
    }
    void TearDown() override
    {
        if (!KeyExists(HKEY_LOCAL_MACHINE, kProviderKey)) {
            SetRaw(HKEY_LOCAL_MACHINE, kProviderKey, L"Image Path", imagePath_.type, imagePath_.bytes);
            SetDword(HKEY_LOCAL_MACHINE, kProviderKey, L"Type", 1);
        }
        RegisterJavaRuntime(WinePath(KEVO_JVMEMU_DLL));
        DeleteKeyTree(HKEY_CURRENT_USER, kStandInKey);
        DeleteKeyTree(HKEY_CURRENT_USER, kOverrideKey);
        RemoveTree(dir_);
        ResetKevoRegistry();
    }

    void Settings(const std::vector<std::string>& lines)
    {
        std::vector<std::string> all = {"[ConfirmSettingInfo]"};
        all.insert(all.end(), lines.begin(), lines.end());
        WriteIni(install_ + L"KEVOValidationInfo.ini", all);
    }

    // The report /report writes (UTF-8 without its byte order mark).
    std::string Report()
    {
        const std::wstring file = dir_ + L"report.txt";
        DeleteFileW(file.c_str());
        EXPECT_EQ(0, RunProgram(install_ + L"KEVODiag.exe", L"/report \"" + file + L"\"", options_, 120000));
        std::string bytes = ReadBytes(file);
        EXPECT_EQ(0u, bytes.compare(0, 3, "\xEF\xBB\xBF")) << "no byte order mark";
        return bytes.size() >= 3 ? bytes.substr(3) : bytes;
    }

    std::wstring dir_, install_;
    RegValue imagePath_;
    ProcessOptions options_;
};

struct BrokenCase {
    const char* name;
    std::function<void(DiagTest&)> breakIt;
    const char* ngLine;  // what the NG line says; NULL: everything OK
};

TEST_F(DiagTest, EachBrokenPieceGivesItsNgLineAndAdvice)
{
    const std::string proxy = "proxyType=2", proxyHost = "proxyHost=localhost";
    const std::string proxyPort = "proxyPort=" + Port(KEVO_TESTBED_PROXY_PORT);
    const std::string plainUrl = "url=http://localhost:" + Port(KEVO_TESTBED_HTTP_PORT) + "/";
    const std::vector<BrokenCase> cases = {
        {"healthy", [](DiagTest&) {}, NULL},
        {"proxy with the settings file's password",
         [&](DiagTest& t) {
             Option("proxy_user", "\"kevo\"");
             Option("proxy_pass", "\"" + kSecret + "\"");
             t.Settings({plainUrl, proxy, proxyHost, proxyPort, "proxyUser=kevo", "proxyPass=" + ToCp932(Widen(kSecret))});
         },
         NULL},
        {"no runtime", [](DiagTest&) { RegisterJavaRuntime(L""); }, u8"Java実行環境が登録されていません。"},
        {"only a runtime of the other machine",
         [](DiagTest& t) { RegisterOtherMachineJavaRuntime(t.dir_); },
         sizeof(void*) == 8 ? u8"Java実行環境は32ビット版（x86）だけです" : u8"Java実行環境は64ビット版（x64）だけです"},
        {"provider not registered", [](DiagTest&) { DeleteKeyTree(HKEY_LOCAL_MACHINE, kProviderKey); },
         u8"ICカードのプロバイダ「KEVO Crypto Service Provider」が登録されていません。"},
        {"no reader", [](DiagTest&) { DeleteKeyTree(HKEY_CURRENT_USER, kStandInKey); },
         u8"ICカードリーダライタが見つかりません（0x8010002E）。"},
        {"counter unreachable",
         [](DiagTest& t) { t.Settings({"url=http://localhost:" + Port(KEVO_TESTBED_PORT_CLOSED) + "/"}); },
         u8"窓口 localhost に接続できません（エラー 12029）。"},
        {"proxy answering 407",
         [&](DiagTest& t) {
             Option("proxy_user", "\"kevo\"");
             t.Settings({plainUrl, proxy, proxyHost, proxyPort});
         },
         u8"プロキシが認証を求めています（状態 407）。"},
        {"counter's clock 10 minutes ahead",
         [](DiagTest&) { Option("counter.time", "\"" + ClockShifted(600) + "\""); },
         u8"秒遅れています（状態 200）。"},
        {"deliverable missing", [](DiagTest& t) { DeleteFileW((t.install_ + L"KEVORWSetting.exe").c_str()); },
         u8"KEVORWSetting.exe がありません。"},
    };
    for (const BrokenCase& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        c.breakIt(*this);
        const std::string report = Report();
        const std::vector<std::string> ng = LinesStarting(report, "NG   ");
        const std::vector<std::string> warn = LinesStarting(report, u8"注意 ");
        EXPECT_EQ(std::string::npos, report.find(kSecret)) << report;
        if (c.ngLine == NULL) {
            EXPECT_TRUE(ng.empty() && warn.empty()) << report;
            EXPECT_NE(std::string::npos, report.find(u8"問題は見つかりませんでした。")) << report;
            continue;
        }
        // The summary names it first, its section again; each NG line has advice.
        ASSERT_GE(ng.size(), 1u) << report;
        EXPECT_NE(std::string::npos, ng[0].find(c.ngLine)) << report;
        EXPECT_EQ(0u, ng.size() % 2) << report;
        for (const std::string& line : ng)
            EXPECT_NE(std::string::npos, line.find(u8" → ")) << line;
    }
}

TEST_F(DiagTest, WindowShowsWhatReportWritesAndCopiesIt)
{
    ChildProcess child;
    ASSERT_TRUE(child.Start(install_ + L"KEVODiag.exe", L"", options_));
    HWND window = WaitForEnabledWindow(child.Pid(), L"KEVO 診断情報", 30000);
    ASSERT_NE((HWND)NULL, window);
    const int kReport = 1000, kCopy = 1001, kSave = 1002;
    ASSERT_TRUE(WaitUntil([&] { return ItemEnabled(window, kCopy); }, 60000));
    EXPECT_TRUE(ItemEnabled(window, kSave));
    const std::wstring shown = ItemText(window, kReport);
    const std::wstring picture = GetEnv(L"KEVO_DIAG_SCREENSHOT");
    if (!picture.empty()) {
        EXPECT_TRUE(SaveWindowImage(window, picture));
    }

    ClickButton(window, kCopy);
    std::wstring copied;
    ASSERT_TRUE(WaitUntil([&] {
        if (!OpenClipboard(NULL))
            return false;
        HANDLE data = GetClipboardData(CF_UNICODETEXT);
        if (data != NULL) {
            copied = static_cast<const wchar_t*>(GlobalLock(data));
            GlobalUnlock(data);
        }
        CloseClipboard();
        return copied == shown;
    }, 10000)) << copied.size() << " characters copied, " << shown.size() << " shown";

    ClickButton(window, IDCANCEL);
    DWORD exitCode = 1;
    ASSERT_TRUE(child.Wait(20000, &exitCode));
    EXPECT_EQ(0u, exitCode);
    EXPECT_EQ(MaskNumbers(Report()), MaskNumbers(Utf8(shown)));
}

}  // namespace

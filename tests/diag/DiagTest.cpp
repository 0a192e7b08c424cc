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
// The wizard signed by a test signer and changed after signing; empty
// without the signing tools.
const std::wstring kSigned = std::string(KEVO_SIGNED_DIR).empty() ? L"" : WinePath(KEVO_SIGNED_DIR) + L"\\";
const wchar_t* const kImageFiles[] = {L"KEVORevoke.exe", L"KEVOSoftverchk.exe", L"KEVORWSetting.exe",
                                      L"KEVODiag.exe", L"KEVOServiceAPIk.dll", L"KEVOServiceAPI.dll",
                                      L"KEVORegRead.dll"};
const std::wstring kProviderKey =
    L"Software\\Microsoft\\Cryptography\\Defaults\\Provider\\KEVO Crypto Service Provider";
const wchar_t kStandInKey[] = L"Software\\KEVOTestbed\\winscard";
const wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KEVO";
const wchar_t kInternetSettings[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
const wchar_t* const kInternetValues[] = {L"ProxyEnable", L"ProxyServer", L"AutoConfigURL"};
const wchar_t kAppKey[] = L"Software\\Wine\\AppDefaults\\KEVODiag.exe";
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
        // The service's classes where the Java side looks without a CLASSPATH.
        CreateDirectoryW((install_ + L"kevo").c_str(), NULL);
        CreateDirectoryW((install_ + L"kevo\\appli").c_str(), NULL);
        WriteBytes(install_ + L"kevo\\appli\\KEVOUserCertService.class", "");
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
        for (size_t i = 0; i < 3; ++i)
            internet_[i] = GetValue(HKEY_CURRENT_USER, kInternetSettings, kInternetValues[i]);
        options_.tempDir = dir_;
        options_.env.clear();
    }
    void TearDown() override
    {
        // Windows' internet settings are the prefix's, shared with other tests.
        for (size_t i = 0; i < 3; ++i) {
            if (internet_[i].present) {
                SetRaw(HKEY_CURRENT_USER, kInternetSettings, kInternetValues[i], internet_[i].type, internet_[i].bytes);
            } else {
                HKEY key;
                if (RegOpenKeyExW(HKEY_CURRENT_USER, kInternetSettings, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
                    RegDeleteValueW(key, kInternetValues[i]);
                    RegCloseKey(key);
                }
            }
        }
        SetRaw(HKEY_LOCAL_MACHINE, kProviderKey, L"Image Path", imagePath_.type, imagePath_.bytes);
        SetDword(HKEY_LOCAL_MACHINE, kProviderKey, L"Type", 1);
        RegisterJavaRuntime(WinePath(KEVO_JVMEMU_DLL));
        DeleteKeyTree(HKEY_CURRENT_USER, kStandInKey);
        DeleteKeyTree(HKEY_CURRENT_USER, kAppKey);
        DeleteKeyTree(HKEY_LOCAL_MACHINE, kUninstallKey);
        RemoveTree(dir_);
        ResetKevoRegistry();
    }

    void Settings(const std::vector<std::string>& lines)
    {
        std::vector<std::string> all = {"[ConfirmSettingInfo]"};
        all.insert(all.end(), lines.begin(), lines.end());
        WriteIni(install_ + L"KEVOValidationInfo.ini", all);
    }

    // The report /report writes (UTF-8 without its byte order mark). With
    // midway, that text must show in the file while the program still runs.
    std::string Report(const char* midway = NULL, DWORD* milliseconds = NULL)
    {
        const std::wstring file = dir_ + L"report.txt";
        DeleteFileW(file.c_str());
        const ULONGLONG start = GetTickCount64();
        ChildProcess child;
        EXPECT_TRUE(child.Start(install_ + L"KEVODiag.exe", L"/report \"" + file + L"\"", options_));
        if (midway != NULL) {
            EXPECT_TRUE(WaitUntil([&] { return child.Running() && ReadBytes(file).find(midway) != std::string::npos; },
                                  60000)) << ReadBytes(file);
        }
        DWORD exitCode = 1;
        EXPECT_TRUE(child.Wait(120000, &exitCode));
        EXPECT_EQ(0u, exitCode);
        if (milliseconds != NULL)
            *milliseconds = (DWORD)(GetTickCount64() - start);
        std::string bytes = ReadBytes(file);
        EXPECT_EQ(0u, bytes.compare(0, 3, "\xEF\xBB\xBF")) << "no byte order mark";
        return bytes.size() >= 3 ? bytes.substr(3) : bytes;
    }

    std::wstring dir_, install_;
    RegValue imagePath_;
    RegValue internet_[3];
    ProcessOptions options_;
};

struct BrokenCase {
    const char* name;
    std::function<void(DiagTest&)> breakIt;
    std::string first;  // what the summary's first NG (else warning) line says; empty: everything OK
    std::vector<std::string> holds;  // further texts of the report
    std::vector<std::string> never;  // texts it must not hold (false alarms, cascades)
    const char* midway;              // seen in the file while the program runs
};

// A network-stalled counter: it accepts and never says a word.
void StallCounter()
{
    Option("hostile", "{\"path\": \"/reception\", \"mode\": \"stall\", \"headers\": false, \"seconds\": 60}");
}

// The program built with the seams of its WinINet calls in place of the
// installed one, for what Wine 8's WinINet does not do as Windows' does: it
// never checks the revocation of a server's certificate (measured against
// the testbed's, whose revocation servers do not answer: no attempt to
// reach them, the request succeeds), and it ignores the send and receive
// time-outs. The seams stand in for Windows (testbed/wininet).
void WithSeams(DiagTest& t, const std::wstring& setting);

std::string WindowsUserName()
{
    wchar_t name[257] = L"";
    DWORD size = 257;
    GetUserNameW(name, &size);
    return Utf8(name);
}

void WithSeams(DiagTest& t, const std::wstring& setting)
{
    ASSERT_TRUE(CopyFileW(WinePath(KEVO_DIAG_SEAM_EXE).c_str(), (t.install_ + L"KEVODiag.exe").c_str(), FALSE));
    t.options_.env[L"KEVO_TEST_WININET"] = setting;
}

TEST_F(DiagTest, EachBrokenPieceGivesItsNgLineAndAdvice)
{
    const std::string proxy = "proxyType=2", proxyHost = "proxyHost=localhost";
    const std::string proxyPort = "proxyPort=" + Port(KEVO_TESTBED_PROXY_PORT);
    const std::string plainUrl = "url=http://localhost:" + Port(KEVO_TESTBED_HTTP_PORT) + "/";
    const std::string closed = Port(KEVO_TESTBED_PORT_CLOSED), https = Port(KEVO_TESTBED_HTTPS_PORT);
    const std::string revocation = ":" + Port(KEVO_TESTBED_REVOCATION_PORT) + "/";
    const std::string timedOut = u8"秒で打ち切りました。手順: 応答の受信）。 → しばらくしてからやり直し";
    const std::string skipped = u8"窓口と通信できないため、公開されている版は確認していません。";
    const std::vector<BrokenCase> cases = {
        {"healthy: each setting's source named", [](DiagTest&) {}, "",
         {u8"%USERNAME%", u8"Windows 10（10.0 ビルド ", u8"窓口のURL https://localhost:" + https + u8"/（設定ファイル）",
          u8"ログオン時のバージョン確認 する（既定値）", u8"TRACE=未設定（既定値）",
          u8"使用するICカードリーダライタ: 自動検出（RWType=0、既定値）"},
         {}, NULL},
        {"machine policy: each setting's source named",
         [&](DiagTest& t) {
             t.Settings({plainUrl});
             SetDword(HKEY_LOCAL_MACHINE, kPolicyKey, L"UpdateCheck", 0, PolicyView());
             SetString(HKEY_LOCAL_MACHINE, kPolicyKey, L"ProxyHost", "localhost", PolicyView());
             SetDword(HKEY_LOCAL_MACHINE, kPolicyKey, L"ProxyPort", KEVO_TESTBED_PROXY_PORT, PolicyView());
             SetDword(HKEY_LOCAL_MACHINE, kPolicyKey, L"Trace", 20, PolicyView());
             SetDword(HKEY_LOCAL_MACHINE, kPolicyKey, L"RWType", 1, PolicyView());
             SetString(HKEY_LOCAL_MACHINE, kPolicyKey, L"Name", "KEVO Reader 0", PolicyView());
             SetDword(HKEY_CURRENT_USER, L"SOFTWARE\\KEVO", L"RWType", 2);
             SetDword(HKEY_CURRENT_USER, L"SOFTWARE\\KEVO", L"TRACE", 10);
         },
         "",
         {u8"プロキシ 使用 localhost:" + Port(KEVO_TESTBED_PROXY_PORT) + u8"（ポリシー）",
          u8"ログオン時のバージョン確認 しない（ポリシー）", u8"TRACE=20（ポリシー）",
          u8"使用するICカードリーダライタ: PC/SC対応「KEVO Reader 0」（RWType=1、ポリシー）",
          u8"選ばれているICカードリーダライタ「KEVO Reader 0」が接続されています。"},
         {}, NULL},
        {"chosen reader not attached",
         [](DiagTest&) {
             SetDword(HKEY_CURRENT_USER, L"SOFTWARE\\KEVO", L"RWType", 1);
             SetString(HKEY_CURRENT_USER, L"SOFTWARE\\KEVO", L"Name", "Gone Reader");
         },
         u8"選ばれているICカードリーダライタ「Gone Reader」（利用者の設定）が接続されていません。",
         {u8"→ そのICカードリーダライタを接続するか"}, {}, NULL},
        {"no reader, so no smart card service",
         [](DiagTest&) { SetDword(HKEY_CURRENT_USER, kStandInKey, L"EstablishResult", 0x8010001D); },
         u8"スマートカードサービスが動いていません（SCARD_E_NO_SERVICE 0x8010001D）。",
         {u8"→ ICカードリーダライタを接続し"}, {u8"サービスを開始"}, NULL},
        {"proxy with the settings file's password",
         [&](DiagTest& t) {
             Option("proxy_user", "\"kevo\"");
             Option("proxy_pass", "\"" + kSecret + "\"");
             t.Settings({plainUrl, proxy, proxyHost, proxyPort, "proxyUser=kevo", "proxyPass=" + ToCp932(Widen(kSecret))});
         },
         "", {}, {}, NULL},
        {"no runtime, on Windows 7",
         [](DiagTest&) {
             RegisterJavaRuntime(L"");
             SetString(HKEY_CURRENT_USER, kAppKey, L"Version", "win7");
         },
         u8"Java実行環境が登録されていません。", {u8"Windows 7（6.1 ビルド 7601）"}, {}, NULL},
        {"only a runtime of the other machine",
         [](DiagTest& t) { RegisterOtherMachineJavaRuntime(t.dir_); },
         sizeof(void*) == 8 ? u8"Java実行環境は32ビット版（x86）だけです" : u8"Java実行環境は64ビット版（x64）だけです", {}, {}, NULL},
        {"provider not registered", [](DiagTest&) { DeleteKeyTree(HKEY_LOCAL_MACHINE, kProviderKey); },
         u8"ICカード用ソフトウェア「KEVO Crypto Service Provider」が登録されていません。", {}, {}, NULL},
        {"no reader", [](DiagTest&) { DeleteKeyTree(HKEY_CURRENT_USER, kStandInKey); },
         u8"ICカードリーダライタが見つかりません（SCARD_E_NO_READERS_AVAILABLE 0x8010002E）。", {}, {}, NULL},
        {"proxy answering 407",
         [&](DiagTest& t) {
             Option("proxy_user", "\"kevo\"");
             t.Settings({plainUrl, proxy, proxyHost, proxyPort});
         },
         u8"プロキシが利用者名とパスワードを求めています（HTTP状態 407）。", {}, {}, NULL},
        {"counter's clock 10 minutes ahead",
         [](DiagTest&) { Option("counter.time", "\"" + ClockShifted(600) + "\""); },
         u8"秒遅れています（HTTP状態 200）。", {}, {}, NULL},
        {"deliverable missing", [](DiagTest& t) { DeleteFileW((t.install_ + L"KEVORWSetting.exe").c_str()); },
         u8"KEVORWSetting.exe がありません。", {}, {}, NULL},
        {"deliverables damaged: empty, changed after signing (where the signing tools are)",
         [](DiagTest& t) {
             WriteBytes(t.install_ + L"KEVORegRead.dll", "");
             if (kSigned.empty())
                 return;
             ASSERT_TRUE(CopyFileW((kSigned + L"KEVORevoke-changed.exe").c_str(),
                                   (t.install_ + L"KEVORevoke.exe").c_str(), FALSE));
             ASSERT_TRUE(CopyFileW((kSigned + L"KEVORevoke.exe").c_str(),
                                   (t.install_ + L"KEVOSoftverchk.exe").c_str(), FALSE));
         },
         kSigned.empty() ? u8"KEVORegRead.dll は壊れています" : u8"KEVORevoke.exe は署名（KEVO Diag Test Signer）のあとで書き換えられています。",
         {u8"KEVORegRead.dll は壊れています（プログラムのファイルではありません。0 バイト）。",
          kSigned.empty() ? "" : u8"、署名 有効（KEVO Diag Test Signer）"},
         {}, NULL},
        {"signed release with one deliverable's signature stripped (where the signing tools are)",
         [](DiagTest& t) {
             if (!kSigned.empty()) {
                 ASSERT_TRUE(CopyFileW((kSigned + L"KEVORevoke.exe").c_str(),
                                       (t.install_ + L"KEVOSoftverchk.exe").c_str(), FALSE));
                 ASSERT_TRUE(CopyFileW((kSigned + L"KEVORevoke-stripped.exe").c_str(),
                                       (t.install_ + L"KEVORevoke.exe").c_str(), FALSE));
             }
         },
         kSigned.empty() ? "" : u8"KEVORevoke.exe に署名がありません（ほかのファイルは署名されています。",
         {kSigned.empty() ? u8"KEVORevoke.exe 版 " : u8"KEVORWSetting.exe に署名がありません"}, {}, NULL},
        {"false alarms: version of the wrong type, provider by bare file name",
         [&](DiagTest& t) {
             SetString(HKEY_LOCAL_MACHINE, L"Software\\KEVO\\Version", L"Major", "1");
             const std::wstring provider = (const wchar_t*)t.imagePath_.bytes.data();
             const std::wstring bare = provider.substr(provider.find_last_of(L'\\') + 1);
             ASSERT_TRUE(CopyFileW(provider.c_str(), (t.install_ + bare).c_str(), FALSE));
             SetString(HKEY_LOCAL_MACHINE, kProviderKey, L"Image Path", ToCp932(bare));
         },
         u8"版（Version キー）が登録されていないか", {u8"NG 1 件"}, {u8"新しい版", u8"ICカード用ソフトウェアのファイル"}, NULL},
        {"installation stopped midway: its journal, and a fresh install's entry marked unfinished",
         [](DiagTest& t) {
             WriteBytes(t.install_ + L"KEVOSetup.journal", "[switch]\r\n");
             SetString(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayName", ToCp932(L"KEVO利用者ソフト（インストール未完了）"));
         },
         u8"「インストール未完了」として登録されています。",
         {u8"インストールが最後まで終わっていません（インストール先に KEVOSetup.journal があります）。",
          u8"インストーラをもう一度実行してください。"},
         {}, NULL},
        {"install folder gone: said once",
         [](DiagTest& t) {
             SetString(HKEY_LOCAL_MACHINE, L"Software\\KEVO", L"InstallPath", ToCp932(t.dir_ + L"gone"));
         },
         u8"がありません（このフォルダにあるはずのファイルの確認は省きました）。", {u8"NG 1 件、注意 0 件"}, {}, NULL},
        {"url with a port typo and credentials in the settings file",
         [&](DiagTest& t) {
             t.Settings({"url=http://kevo:" + ToCp932(Widen(kSecret)) + "@localhost:" + closed + "/"});
         },
         u8"窓口 localhost:" + closed + u8" に接続できません（接続 エラー 10061）。",
         {u8"設定ファイルの url（「http://****@localhost:" + closed + u8"/」）"}, {u8"インターネットに接続されているか"}, NULL},
        {"url with a password holding a raw space",
         [&](DiagTest& t) { t.Settings({"url=http://kevo:" + ToCp932(L"Pa55 秘密") + "@localhost:" + closed + "/"}); },
         u8"に接続できません", {u8"設定ファイルの url（「http://****@localhost:" + closed + u8"/」）"},
         {u8"Pa55", u8"秘密"}, NULL},
        // Wine 8 shows neither a configuration script (AutoConfigURL) nor more
        // than the http= entry of a per-scheme list here, as Windows does; the
        // masks of such lists have their own test.
        {"Windows' proxy: named, and no direct connection judged",
         [&](DiagTest&) {
             SetDword(HKEY_CURRENT_USER, kInternetSettings, L"ProxyEnable", 1);
             SetString(HKEY_CURRENT_USER, kInternetSettings, L"ProxyServer",
                       "kevo:" + ToCp932(Widen(kSecret)) + "@localhost:" + closed);
         },
         u8"Windowsのプロキシ設定に従って窓口に接続できません（エラー ERROR_INTERNET_CANNOT_CONNECT 12029）。",
         {u8"Windowsのプロキシ設定 プロキシサーバー「****@localhost:" + closed + u8"」",
          u8"→ Windowsのプロキシ設定（インターネット オプションの「LANの設定」）を確認し"},
         {u8"（接続 エラー 10061）", u8"設定ファイルの url"}, NULL},
        {"service's Java classes not where the Java side looks",
         [](DiagTest& t) { DeleteFileW((t.install_ + L"kevo\\appli\\KEVOUserCertService.class").c_str()); },
         u8"サービスのJavaクラス（kevo.appli.KEVOUserCertService）が、Java側が探す場所にありません（CLASSPATH がないため、インストール先 ",
         {}, {}, NULL},
        {"service's Java classes in a jar of the CLASSPATH, a folder without them before it",
         [](DiagTest& t) {
             DeleteFileW((t.install_ + L"kevo\\appli\\KEVOUserCertService.class").c_str());
             t.options_.env[L"CLASSPATH"] = t.install_ + L";" + WinePath(KEVO_SERVICE_JAR);
         },
         "", {u8"サービスのJavaクラスがあります: " + Utf8(WinePath(KEVO_SERVICE_JAR)) + u8"（探す場所: 環境変数 CLASSPATH「"}, {},
         NULL},
        {"proxy answering garbage",
         [&](DiagTest& t) { t.Settings({proxy, proxyHost, "proxyPort=" + https}); },
         u8"プロキシ localhost:" + https + u8" の応答を読み取れません", {}, {u8"窓口の応答"}, NULL},
        // Whichever limit ends the silence first, the request's or WinINet's own
        // (Windows), the report says the same but for the seconds.
        {"counter that accepts and stays silent", [](DiagTest&) { StallCounter(); }, u8"窓口から応答がありません（",
         {timedOut, skipped}, {}, u8"診断中: ネットワーク"},
        {"WinINet's own time-out of the clock request", [](DiagTest& t) { WithSeams(t, L"fail=12002@getTime"); },
         u8"窓口から応答がありません（10 秒で", {timedOut, skipped}, {}, NULL},
        {"WinINet's own time-out of the version file", [](DiagTest& t) { WithSeams(t, L"fail=12002@kevosoft.ver"); },
         u8"公開されている版を確認できません（10 秒で打ち切りました。手順: 版数ファイルの取得）。", {}, {}, NULL},
        {"revocation servers of the counter's certificate silent, checked as on Windows",
         [&](DiagTest& t) {
             t.Settings({"url=https://localhost" + revocation});
             WithSeams(t, L"revocation-offline=" + Widen(revocation));
         },
         u8"公開されている版を確認できません。窓口の証明書が失効していないかを確かめられません（エラー ERROR_INTERNET_SEC_CERT_REV_FAILED 12057）。",
         {u8"窓口の時計とPCの時計の差は", u8"→ 失効申請には影響しません。証明書の失効情報（CRL・OCSP）"}, {}, NULL},
        {"no answer about the revocation of the counter's certificate",
         [](DiagTest& t) { WithSeams(t, L"fail=12056@getTime"); },
         u8"窓口の証明書が失効していないかを確かめられません（エラー ERROR_INTERNET_SEC_CERT_NO_REV 12056）。 → 証明書の失効情報（CRL・OCSP）", {}, {},
         NULL},
        {"counter's certificate made out to another name",
         [](DiagTest& t) { t.Settings({"url=https://localhost:" + Port(KEVO_TESTBED_WRONGNAME_PORT) + "/"}); },
         u8"窓口の証明書が接続先の名前と合いません", {u8"設定ファイルの url のホスト名を確認してください。"},
         {u8"ファイアウォール"}, NULL},
        {"port that drops every connection",
         [](DiagTest& t) { t.Settings({"url=https://localhost:" + Port(KEVO_TESTBED_PORT_DROPPING) + "/"}); },
         u8"秒で打ち切りました。手順: 接続）。", {u8"設定ファイルの url（"}, {}, NULL},
        {"logs: per program, the own ones counted, a 5 GB one flagged",
         [](DiagTest& t) {
             for (const wchar_t* own : {L"KEVODiag20210101000001.log", L"KEVODiag20210101000002.log",
                                        L"KEVODiag20210101000003.log"})
                 WriteBytes(t.dir_ + own, "x");
             HANDLE log = CreateFileW((t.dir_ + L"KEVORevoke20200101000000.log").c_str(), GENERIC_WRITE, 0, NULL,
                                      CREATE_ALWAYS, 0, NULL);
             LARGE_INTEGER size;
             size.QuadPart = 5LL << 30;
             SetFilePointerEx(log, size, NULL, FILE_BEGIN);
             SetEndOfFile(log);
             CloseHandle(log);
         },
         u8"KEVORevoke20200101000000.log が 5368709120 バイトあります。",
         {u8"オンライン失効申請機能 ", u8"診断情報（このプログラム） 3 件"}, {u8"KEVODiag20210101000003.log"}, NULL},
    };
    const std::string user = WindowsUserName();
    for (const BrokenCase& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        c.breakIt(*this);
        DWORD milliseconds = 0;
        const std::string report = Report(c.midway, &milliseconds);
        EXPECT_LT(milliseconds, 45000u) << report;
        const std::vector<std::string> ng = LinesStarting(report, "NG   ");
        const std::vector<std::string> warn = LinesStarting(report, u8"注意 ");
        EXPECT_EQ(std::string::npos, report.find(kSecret)) << report;
        EXPECT_EQ(std::string::npos, report.find("\\" + user + "\\")) << report;
        for (const std::string& text : c.holds)
            EXPECT_NE(std::string::npos, report.find(text)) << text << "\n" << report;
        for (const std::string& text : c.never)
            EXPECT_EQ(std::string::npos, report.find(text)) << text << "\n" << report;
        if (c.first.empty()) {
            EXPECT_TRUE(ng.empty() && warn.empty()) << report;
            EXPECT_NE(std::string::npos, report.find(u8"問題は見つかりませんでした。")) << report;
            continue;
        }
        // The summary names it first, its section again; each line has advice.
        const std::vector<std::string>& named = ng.empty() ? warn : ng;
        ASSERT_GE(named.size(), 1u) << report;
        EXPECT_NE(std::string::npos, named[0].find(c.first)) << report;
        EXPECT_EQ(0u, ng.size() % 2) << report;
        EXPECT_EQ(0u, warn.size() % 2) << report;
        for (const std::vector<std::string>* lines : {&ng, &warn})
            for (const std::string& line : *lines)
                EXPECT_NE(std::string::npos, line.find(u8" → ")) << line;
    }
    // A report into a folder that does not exist: the reason on the standard error.
    const std::wstring error = dir_ + L"error.txt";
    EXPECT_EQ(1, RunProgram(L"C:\\windows\\system32\\cmd.exe",
                            L"/c \"\"" + install_ + L"KEVODiag.exe\" /report \"" + dir_ + L"gone\\r.txt\" 2>\"" + error +
                                L"\"\"",
                            options_, 60000));
    EXPECT_NE(std::string::npos, ReadBytes(error).find(ToCp932(L"に書き込めません"))) << ReadBytes(error);
}

TEST_F(DiagTest, WindowShowsWhatReportWritesAndCopiesIt)
{
    ChildProcess child;
    ASSERT_TRUE(child.Start(install_ + L"KEVODiag.exe", L"", options_));
    HWND window = WaitForEnabledWindow(child.Pid(), L"KEVO 診断情報", 30000);
    ASSERT_NE((HWND)NULL, window);
    const int kReport = 1000, kCopy = 1001;
    std::wstring shown;
    ASSERT_TRUE(WaitUntil([&] { return (shown = ItemText(window, kReport)).find(L"所要時間") != std::wstring::npos; },
                          60000));
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

namespace {

TEST_F(DiagTest, WindowAnswersAndClosesWhileTheCounterStalls)
{
    StallCounter();
    ChildProcess child;
    ASSERT_TRUE(child.Start(install_ + L"KEVODiag.exe", L"", options_));
    HWND window = WaitForEnabledWindow(child.Pid(), L"KEVO 診断情報", 30000);
    ASSERT_NE((HWND)NULL, window);
    // The sections before it are shown while the network one waits.
    std::wstring shown;
    ASSERT_TRUE(WaitUntil([&] { return (shown = ItemText(window, 1000)).find(L"診断中: ネットワーク") != std::wstring::npos; },
                          30000)) << Utf8(shown);
    EXPECT_NE(std::wstring::npos, shown.find(L"■ ICカード"));
    DWORD_PTR result = 0;
    EXPECT_NE(0, SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &result));
    const ULONGLONG start = GetTickCount64();
    ClickButton(window, IDCANCEL);
    DWORD exitCode = 1;
    ASSERT_TRUE(child.Wait(5000, &exitCode));
    EXPECT_EQ(0u, exitCode);
    EXPECT_LT(GetTickCount64() - start, 5000u);
}

}  // namespace

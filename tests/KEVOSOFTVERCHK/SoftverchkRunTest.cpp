// KEVOSoftverchk.exe run the way a user's PC runs it: installed version in
// the registry, settings file in the install directory, the testbed as the
// service's server and proxy. The test watches the program's own windows
// (notice, proxy prompt, the platform's sign-in window), answers them like
// a user, and reads the trace log and what reached the server.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "KevoTestSupport.h"

using namespace kevotest;

namespace {

const std::wstring kChecker = WinePath(KEVO_SOFTVERCHK_EXE);
const std::wstring kCaption = L"KEVO利用者ソフト バージョン確認";
const std::wstring kSignInTitle = L"ネットワーク用パスワードを入力";
const std::wstring kNotice =
    L"現在ご利用のKEVO利用者ソフトについて、\nより新しいバージョンをご利用頂くことが可能です。\n"
    L"新しいバージョンのKEVO利用者ソフトをご利用頂く場合は、\nメニュー画面の「ポータルサイトを閲覧」より、\n"
    L"KEVOポータルサイトをご参照ください。";
const std::wstring kPrompt =
    L"KEVO利用者ソフトの最新バージョンの確認を行います。\n最新バージョンの確認には、プロキシサーバの認証が必要です。\n"
    L"次に表示される画面にて必要な情報を入力してください。\n「キャンセル」を押した場合は、最新バージョンの確認を\n"
    L"行いません。";
const char kVersionPath[] = "/reception/verinfo/kevosoft.ver";
const wchar_t kEndEvent[] = L"Global\\KEVOSoftverchk.End";
const wchar_t kEndedLine[] = L"インストーラの終了要求により終了";
const wchar_t kInternetSettings[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

std::string Base64(const std::string& bytes)
{
    static const char table[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        unsigned v = (unsigned char)bytes[i] << 16 | (unsigned char)bytes[i + 1] << 8 | (unsigned char)bytes[i + 2];
        out += table[v >> 18];
        out += table[(v >> 12) & 63];
        out += table[(v >> 6) & 63];
        out += table[v & 63];
    }
    if (i + 1 == bytes.size()) {
        unsigned v = (unsigned char)bytes[i] << 16;
        out += std::string() + table[v >> 18] + table[(v >> 12) & 63] + "==";
    } else if (i + 2 == bytes.size()) {
        unsigned v = (unsigned char)bytes[i] << 16 | (unsigned char)bytes[i + 1] << 8;
        out += std::string() + table[v >> 18] + table[(v >> 12) & 63] + table[(v >> 6) & 63] + "=";
    }
    return out;
}

std::string Port(int port)
{
    return std::to_string(port);
}

// How the simulated user answers the windows that come up.
struct User {
    std::vector<int> boxButtons;   // per message box in order; IDOK when not given
    bool signInOk = false;         // fill the sign-in window and press OK, else Cancel
    bool endsByInstaller = false;  // the notice is not answered: the installer's end request comes
    std::wstring proxyUser;
    std::wstring proxyPass;
};

struct Outcome {
    bool ended = false;
    DWORD exitCode = 0xFFFFFFFF;
    std::vector<std::wstring> boxes;  // texts of the message boxes, in order
    std::vector<std::wstring> boxCaptions;
    int signIns = 0;
};

class SoftverchkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetKevoRegistry();
        ASSERT_EQ(200, TestbedRequest("POST", "/_testbed/reset").status) << "testbed not running";
        temp_ = MakeScratchDir(L"verchk-temp");
        install_ = MakeScratchDir(L"verchk-install");
        options_.tempDir = temp_;
        SetString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\KEVO", L"InstallPath", ToCp932(install_.substr(0, install_.size() - 1)));
        Installed(2, 4, 0);
        EnableTrace(20);
        Settings({"url=http://localhost:" + Port(KEVO_TESTBED_HTTP_PORT) + "/reception/not/used"});
    }
    void TearDown() override
    {
        RestoreSystemProxy();
        RemoveTree(temp_);
        RemoveTree(install_);
        ResetKevoRegistry();
    }

    void Installed(DWORD major, DWORD minor, DWORD revision)
    {
        SetDword(HKEY_LOCAL_MACHINE, L"SOFTWARE\\KEVO\\Version", L"Major", major);
        SetDword(HKEY_LOCAL_MACHINE, L"SOFTWARE\\KEVO\\Version", L"Minor", minor);
        SetDword(HKEY_LOCAL_MACHINE, L"SOFTWARE\\KEVO\\Version", L"Revision", revision);
    }
    void Settings(const std::vector<std::string>& keys)
    {
        std::vector<std::string> lines = {"[ConfirmSettingInfo]"};
        lines.insert(lines.end(), keys.begin(), keys.end());
        WriteIni(install_ + L"KEVOValidationInfo.ini", lines);
    }
    void Option(const std::string& name, const std::string& jsonValue)
    {
        ASSERT_EQ(200, TestbedRequest("POST", "/_testbed/option",
                                      "{\"name\": \"" + name + "\", \"value\": " + jsonValue + "}").status);
    }
    void Publish(const std::string& body, int status = 200)
    {
        Option("verinfo_status", std::to_string(status));
        Option("verinfo_body_b64", "\"" + Base64(body) + "\"");
    }
    void ProxyWants(const std::string& user, const std::string& pass)
    {
        Option("proxy_user", "\"" + user + "\"");
        Option("proxy_pass", "\"" + pass + "\"");
    }
    std::vector<std::string> ProxySettings()
    {
        return {"url=http://localhost:" + Port(KEVO_TESTBED_HTTP_PORT) + "/", "proxyType=2",
                "proxyPort=" + Port(KEVO_TESTBED_PROXY_PORT), "proxyHost=localhost"};
    }
    int Count(const std::string& path)
    {
        HttpReply reply = TestbedRequest("GET", "/_testbed/count?path=" + path);
        return reply.status == 200 ? atoi(reply.body.c_str()) : -1;
    }
    std::string Last(const std::string& path)
    {
        return TestbedRequest("GET", "/_testbed/last?path=" + path).body;
    }
    static std::string JsonListener(const std::string& lastJson)
    {
        const std::string key = "\"listener\": \"";
        size_t at = lastJson.find(key);
        return at == std::string::npos ? "" : lastJson.substr(at + key.size(), lastJson.find('"', at + key.size()) - at - key.size());
    }
    std::string ProxyTarget()
    {
        return "proxy:http://localhost:" + Port(KEVO_TESTBED_HTTP_PORT) + kVersionPath;
    }

    // Starts the checker and answers its windows until it ends (bounded).
    Outcome Start(const User& user = User(), DWORD timeoutMs = 60000)
    {
        Outcome run;
        ChildProcess child;
        if (!child.Start(program_, L"", options_)) {
            ADD_FAILURE() << "KEVOSoftverchk.exe did not start";
            return run;
        }
        DWORD begin = GetTickCount();
        while (GetTickCount() - begin < timeoutMs) {
            if (WaitForSingleObject(child.Handle(), 0) == WAIT_OBJECT_0) {
                run.ended = true;
                GetExitCodeProcess(child.Handle(), &run.exitCode);
                break;
            }
            HWND box = WaitForWindow(kCaption, L"#32770", child.Pid(), 50);
            if (box != NULL) {
                size_t index = run.boxes.size();
                run.boxes.push_back(DialogStaticText(box));
                run.boxCaptions.push_back(WindowText(box));
                if (user.endsByInstaller)
                    EXPECT_TRUE(RequestEnd());
                else
                    ClickButton(box, index < user.boxButtons.size() ? user.boxButtons[index] : IDOK);
                EXPECT_TRUE(WaitForWindowGone(box, 10000));
                continue;
            }
            HWND signIn = WaitForWindow(kSignInTitle, L"#32770", child.Pid(), 50);
            if (signIn != NULL) {
                ++run.signIns;
                if (user.signInOk) {
                    SetControlText(signIn, 1027, user.proxyUser);
                    SetControlText(signIn, 1028, user.proxyPass);
                    ClickButton(signIn, IDOK);
                } else {
                    ClickButton(signIn, IDCANCEL);
                }
                EXPECT_TRUE(WaitForWindowGone(signIn, 10000));
            }
        }
        if (!run.ended)
            ADD_FAILURE() << "KEVOSoftverchk.exe did not end in time";
        return run;
    }

    // What the installer does: sets the checkers' end event, if one holds it.
    static bool RequestEnd()
    {
        HANDLE event = OpenEventW(EVENT_MODIFY_STATE, FALSE, kEndEvent);
        bool set = event != NULL && SetEvent(event);
        if (event != NULL)
            CloseHandle(event);
        return set;
    }

    // A user who fills in the sign-in window and presses OK.
    static User SignsIn(const std::wstring& name, const std::wstring& password)
    {
        User user;
        user.signInOk = true;
        user.proxyUser = name;
        user.proxyPass = password;
        return user;
    }
    // The next case of a table: a fresh server state and an empty log folder.
    void NextCase()
    {
        ASSERT_EQ(200, TestbedRequest("POST", "/_testbed/reset").status);
        RemoveTree(temp_);
        CreateDirectoryW(temp_.c_str(), NULL);
    }

    std::string Log() { return ReadLogs(temp_, L"KEVOSOFTVERCHK"); }
    // One whole line of the log, as text-mode appending writes it.
    bool Logged(const std::wstring& line)
    {
        return Log().find(") " + ToCp932(line) + "\r\n") != std::string::npos;
    }
    bool LoggedPart(const std::wstring& part) { return Log().find(ToCp932(part)) != std::string::npos; }
    std::string LogUtf8() { return Utf8(FromCp932(Log())); }

    void ExpectOnlyTheNotice(const Outcome& run)
    {
        ASSERT_TRUE(run.ended);
        EXPECT_EQ(0u, run.exitCode);
        ASSERT_EQ(1u, run.boxes.size()) << LogUtf8();
        EXPECT_NE(std::wstring::npos, run.boxes[0].find(kNotice)) << Utf8(run.boxes[0]);
        EXPECT_EQ(kCaption, run.boxCaptions[0]);
        EXPECT_EQ(0, run.signIns);
    }
    void ExpectNoWindow(const Outcome& run)
    {
        ASSERT_TRUE(run.ended);
        EXPECT_EQ(0u, run.exitCode);
        EXPECT_TRUE(run.boxes.empty()) << LogUtf8();
        EXPECT_EQ(0, run.signIns);
    }

    // Points the system's proxy configuration of the prefix at the testbed
    // proxy; TearDown puts the two values back as they were, since other
    // tests share the prefix.
    void UseSystemProxy()
    {
        savedEnable_ = GetValue(HKEY_CURRENT_USER, kInternetSettings, L"ProxyEnable");
        savedServer_ = GetValue(HKEY_CURRENT_USER, kInternetSettings, L"ProxyServer");
        systemProxySet_ = true;
        SetDword(HKEY_CURRENT_USER, kInternetSettings, L"ProxyEnable", 1);
        SetString(HKEY_CURRENT_USER, kInternetSettings, L"ProxyServer", "localhost:" + Port(KEVO_TESTBED_PROXY_PORT));
    }
    void RestoreSystemProxy()
    {
        if (!systemProxySet_)
            return;
        systemProxySet_ = false;
        const std::pair<const wchar_t*, RegValue*> values[] = {{L"ProxyEnable", &savedEnable_},
                                                                {L"ProxyServer", &savedServer_}};
        for (const auto& value : values) {
            if (value.second->present) {
                SetRaw(HKEY_CURRENT_USER, kInternetSettings, value.first, value.second->type, value.second->bytes);
            } else {
                HKEY key;
                if (RegOpenKeyExW(HKEY_CURRENT_USER, kInternetSettings, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
                    RegDeleteValueW(key, value.first);
                    RegCloseKey(key);
                }
            }
        }
    }

    std::wstring program_ = kChecker;
    std::wstring temp_;
    std::wstring install_;
    ProcessOptions options_;
    bool systemProxySet_ = false;
    RegValue savedEnable_;
    RegValue savedServer_;
};

// ---- comparison and parsing -------------------------------------------------------

TEST_F(SoftverchkTest, NewerBuildShowsTheNotice)
{
    Publish("2.4.0.1\r\n");
    Outcome run = Start();
    ExpectOnlyTheNotice(run);
    // The reply's own CR LF goes into the log line as it came.
    EXPECT_TRUE(LoggedPart(L"受信成功:2.4.0.1\r\r\n\r\n")) << LogUtf8();
    EXPECT_TRUE(Logged(L"受信データコンバート major = 2, minor = 4,revision = 0,buld = 1 ")) << LogUtf8();
    EXPECT_TRUE(Logged(L"CKEVOAutoUpdateApp::InitInstance start"));
    EXPECT_TRUE(Logged(L"CKEVOAutoUpdateApp::InitInstance end"));
    EXPECT_TRUE(Logged(L"MemoryRelease: end"));
    // One plain GET of the fixed object; the settings URL's path plays no part.
    EXPECT_EQ(1, Count(kVersionPath));
    std::string last = Last(kVersionPath);
    EXPECT_NE(std::string::npos, last.find("\"method\": \"GET\"")) << last;
    EXPECT_NE(std::string::npos, last.find("\"body_b64\": \"\"")) << last;
    EXPECT_EQ(0, Count("/reception/not/used"));
}

// The installer ends checkers through their event, not their window (which
// it cannot reach on another user's desktop): a notice shown goes, and a
// checker that starts while the installer holds the event set checks nothing.
TEST_F(SoftverchkTest, TheInstallersEndRequestEndsTheChecker)
{
    Publish("2.4.0.1");
    User waits;
    waits.endsByInstaller = true;
    Outcome run = Start(waits);
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_EQ(1u, run.boxes.size());
    EXPECT_TRUE(Logged(kEndedLine)) << LogUtf8();

    NextCase();
    Publish("2.4.0.1");
    HANDLE installing = CreateEventW(NULL, TRUE, TRUE, kEndEvent);
    ASSERT_TRUE(installing != NULL);
    ExpectNoWindow(Start());
    CloseHandle(installing);
    EXPECT_EQ(0, Count(kVersionPath));
    EXPECT_TRUE(Logged(kEndedLine)) << LogUtf8();
}

TEST_F(SoftverchkTest, EqualAndOlderVersionsShowNothing)
{
    for (const char* body : {"2.4.0.0", "2.3.9.9", "1.99.99.99\r\n"}) {
        Publish(body);
        Outcome run = Start();
        ExpectNoWindow(run);
        EXPECT_TRUE(LoggedPart(L"受信データコンバート major = ")) << body;
        RemoveTree(temp_);
        CreateDirectoryW(temp_.c_str(), NULL);
    }
}

TEST_F(SoftverchkTest, RunsOfDotsAndMinusOneParseAsNumbers)
{
    Publish("2..4.0.1");
    ExpectOnlyTheNotice(Start());
    EXPECT_TRUE(Logged(L"受信データコンバート major = 2, minor = 4,revision = 0,buld = 1 "));

    // "-1" converts to -1 and compares as 4294967295.
    Installed(4000000000u, 0, 0);
    Publish("-1.0.0.0");
    ExpectOnlyTheNotice(Start());
    EXPECT_TRUE(Logged(L"受信データコンバート major = -1, minor = 0,revision = 0,buld = 0 "));
}

TEST_F(SoftverchkTest, ThreeFieldsAreMissingTheBuild)
{
    Publish("2.5.1");
    ExpectNoWindow(Start());
    EXPECT_TRUE(Logged(L"buildデータがありません")) << LogUtf8();
    EXPECT_TRUE(Logged(L"リターン値:-104"));
    EXPECT_TRUE(Logged(L"サーバーの利用者ソフトバージョンの取得に失敗(-104)"));
}

TEST_F(SoftverchkTest, OnlyTheFirst33BytesTakePart)
{
    // 33 bytes end in a zero build; the 34th byte would make it 1 (newer).
    std::string first = "2.4.0." + std::string(27, '0');
    ASSERT_EQ(33u, first.size());
    Publish(first + "1.9.9.9");
    ExpectNoWindow(Start());
    EXPECT_TRUE(Logged(L"受信成功:" + Widen(first))) << LogUtf8();
    EXPECT_TRUE(Logged(L"受信データコンバート major = 2, minor = 4,revision = 0,buld = 0 "));
}

// ---- server replies that are not a version file -------------------------------------

TEST_F(SoftverchkTest, ErrorPagesAreNotParsed)
{
    // A 404 page, and an error page whose first bytes look like a version.
    struct Case {
        int status;
        const char* body;
    } cases[] = {{404, "<html><body>404 Not Found</body></html>"}, {503, "503 Service Unavailable 9.9.9.9"},
                 {500, "9.9.9.9"}};
    for (const Case& c : cases) {
        Publish(c.body, c.status);
        ExpectNoWindow(Start());
        EXPECT_TRUE(Logged(L"HttpQueryInfo ステータスエラー nRtn:(-104),dwCode(" + std::to_wstring(c.status) + L")"))
            << LogUtf8();
        EXPECT_FALSE(LoggedPart(L"受信成功"));
        EXPECT_TRUE(Logged(L"サーバーの利用者ソフトバージョンの取得に失敗(-104)"));
        RemoveTree(temp_);
        CreateDirectoryW(temp_.c_str(), NULL);
    }
}

TEST_F(SoftverchkTest, ConnectionClosedMidReplyIsAFailureWithoutCrash)
{
    // Announces more bytes than it sends, then closes: only "2.4" arrives.
    Publish("2.4.0.9");
    Option("verinfo_mode", "\"truncate\"");
    Option("verinfo_cut", "3");
    Outcome run = Start();
    ExpectNoWindow(run);
    EXPECT_TRUE(Logged(L"受信成功:2.4")) << LogUtf8();
    EXPECT_TRUE(Logged(L"revisionデータがありません"));
    EXPECT_TRUE(Logged(L"サーバーの利用者ソフトバージョンの取得に失敗(-104)"));

    // Closed before any reply.
    RemoveTree(temp_);
    CreateDirectoryW(temp_.c_str(), NULL);
    Option("verinfo_mode", "\"drop\"");
    ExpectNoWindow(Start());
    // Depending on the platform the send fails or the status is unknown.
    EXPECT_TRUE(LoggedPart(L"HttpSendRequest 失敗(") || Logged(L"HttpQueryInfo ステータスエラー nRtn:(-104),dwCode(0)"))
        << LogUtf8();
    EXPECT_TRUE(Logged(L"サーバーの利用者ソフトバージョンの取得に失敗(-104)"));

    // An empty version file.
    RemoveTree(temp_);
    CreateDirectoryW(temp_.c_str(), NULL);
    Option("verinfo_mode", "\"normal\"");
    Publish("");
    ExpectNoWindow(Start());
    EXPECT_TRUE(Logged(L"受信失敗")) << LogUtf8();
}

TEST_F(SoftverchkTest, NoServerListeningIsAFailure)
{
    Settings({"url=http://localhost:1/"});
    ExpectNoWindow(Start());
    EXPECT_TRUE(LoggedPart(L"HttpSendRequest 失敗(")) << LogUtf8();
}

// ---- installed version ---------------------------------------------------------------

TEST_F(SoftverchkTest, MissingVersionKeyEndsBeforeAnyNetworkAccess)
{
    DeleteKeyTree(HKEY_LOCAL_MACHINE, L"SOFTWARE\\KEVO\\Version");
    Publish("9.9.9.9");
    ExpectNoWindow(Start());
    EXPECT_TRUE(Logged(L"Non Registry , Software\\KEVO\\Version")) << LogUtf8();
    EXPECT_TRUE(Logged(L"ローカルパソコンの利用者ソフトバージョンの取得に失敗"));
    EXPECT_FALSE(LoggedPart(L"setSettingInfo"));
    EXPECT_EQ(0, Count(kVersionPath));
}

TEST_F(SoftverchkTest, VersionValuesOfWrongSizeOrMissingAreReported)
{
    Publish("9.9.9.9");
    SetRaw(HKEY_LOCAL_MACHINE, L"SOFTWARE\\KEVO\\Version", L"Major", REG_BINARY, {1, 0, 0, 0, 0, 0, 0, 0});
    ExpectNoWindow(Start());
    EXPECT_TRUE(Logged(L"Software\\KEVO\\Version\\Major Get Error,rtn = 234")) << LogUtf8();

    RemoveTree(temp_);
    CreateDirectoryW(temp_.c_str(), NULL);
    Installed(2, 4, 0);
    DeleteKeyTree(HKEY_LOCAL_MACHINE, L"SOFTWARE\\KEVO\\Version");
    SetDword(HKEY_LOCAL_MACHINE, L"SOFTWARE\\KEVO\\Version", L"Major", 2);
    SetDword(HKEY_LOCAL_MACHINE, L"SOFTWARE\\KEVO\\Version", L"Revision", 0);
    ExpectNoWindow(Start());
    EXPECT_TRUE(Logged(L"Software\\KEVO\\Version\\Minor Get Error,rtn = 2")) << LogUtf8();
    EXPECT_EQ(0, Count(kVersionPath));
}

// ---- settings -------------------------------------------------------------------------

TEST_F(SoftverchkTest, CapitalSchemeIsRefusedBeforeAnyRequest)
{
    std::string url = "HTTPS://localhost:" + Port(KEVO_TESTBED_HTTPS_PORT) + "/";
    Settings({"url=" + url});
    Publish("9.9.9.9");
    ExpectNoWindow(Start());
    EXPECT_TRUE(Logged(L"urlの値(" + Widen(url) + L")が不正")) << LogUtf8();
    EXPECT_TRUE(Logged(L"HTTP コンフィグファイル解析処理に失敗(-104)"));
    EXPECT_EQ(0, Count(kVersionPath));
}

TEST_F(SoftverchkTest, UnusableInstallPathFallsBackToTheDefaultUrl)
{
    // A relative install path is not used; the default https URL applies.
    SetString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\KEVO", L"InstallPath", "KEVO");
    Publish("2.4.0.1");
    ExpectOnlyTheNotice(Start());
    EXPECT_TRUE(Logged(L"InstallPathの値(KEVO)が不正")) << LogUtf8();
    EXPECT_TRUE(Logged(L"KEVOGetServiceAPIPath() 失敗(-104)"));
    std::string last = Last(kVersionPath);
    EXPECT_NE(std::string::npos, last.find("\"listener\": \"https\"")) << last;
}

TEST_F(SoftverchkTest, HttpsWithTheTrustedCertificate)
{
    Settings({"url=https://localhost:" + Port(KEVO_TESTBED_HTTPS_PORT) + "/"});
    Publish("3.0.0.0");
    ExpectOnlyTheNotice(Start());
    std::string last = Last(kVersionPath);
    EXPECT_NE(std::string::npos, last.find("\"listener\": \"https\"")) << last;
}

TEST_F(SoftverchkTest, HttpsImpostorIsRefused)
{
    Settings({"url=https://localhost:" + Port(KEVO_TESTBED_IMPOSTOR_PORT) + "/"});
    Publish("3.0.0.0");
    ExpectNoWindow(Start());
    EXPECT_TRUE(LoggedPart(L"HttpSendRequest 失敗(")) << LogUtf8();
    EXPECT_TRUE(Logged(L"サーバーの利用者ソフトバージョンの取得に失敗(-104)"));
    EXPECT_EQ(0, Count(kVersionPath));
}

TEST_F(SoftverchkTest, AtFlowLevelOnlyEntryAndExitLinesAreWritten)
{
    // Every other line of the checker, its settings reader's included, is
    // written at error level.
    EnableTrace(10);
    Publish("2.4.0.1");
    ExpectOnlyTheNotice(Start());
    EXPECT_TRUE(Logged(L"CKEVOAutoUpdateApp::InitInstance start")) << LogUtf8();
    EXPECT_TRUE(Logged(L"SoftVerChkHttpAccess::setSettingInfo: end"));
    EXPECT_TRUE(Logged(L"SoftVerChkHttpAccess::getServerVersion: end"));
    EXPECT_TRUE(Logged(L"MemoryRelease: end"));
    EXPECT_FALSE(LoggedPart(L"プロキシデータ未設定")) << LogUtf8();
    EXPECT_FALSE(LoggedPart(L"受信成功"));
    EXPECT_FALSE(LoggedPart(L"リターン値"));
}

TEST_F(SoftverchkTest, ProxyPortZeroFollowsTheSystemProxyConfiguration)
{
    // The system's configuration names the testbed proxy: a request through
    // it proves the handle was opened preconfigured, not direct.
    UseSystemProxy();
    std::vector<std::string> keys = ProxySettings();
    keys[2] = "proxyPort=0";
    Settings(keys);
    Publish("2.4.0.1");
    ExpectOnlyTheNotice(Start());
    EXPECT_TRUE(Logged(L"プロキシデータ未設定 2"));
    EXPECT_EQ(1, Count(ProxyTarget()));
}

// ---- proxy ------------------------------------------------------------------------------

TEST_F(SoftverchkTest, ProxyCredentialsFromTheSettingsFileNeedNoPrompt)
{
    ProxyWants("alice", "s3cret");
    std::vector<std::string> keys = ProxySettings();
    keys.push_back("proxyUser=alice");
    keys.push_back("proxyPass=s3cret");
    Settings(keys);
    Publish("2.4.0.1");
    // The platform answers the proxy's challenge with the connection's
    // credentials by itself: no prompt, no sign-in window.
    ExpectOnlyTheNotice(Start());
    std::string last = Last(ProxyTarget());
    EXPECT_NE(std::string::npos, last.find("Basic " + Base64("alice:s3cret"))) << last;
}

TEST_F(SoftverchkTest, UserWithoutPasswordSendsNoCredentials)
{
    ProxyWants("alice", "");
    std::vector<std::string> keys = ProxySettings();
    keys.push_back("proxyUser=alice");
    Settings(keys);
    Publish("2.4.0.1");
    User user;
    user.boxButtons = {IDCANCEL};
    Outcome run = Start(user);
    ASSERT_TRUE(run.ended);
    ASSERT_EQ(1u, run.boxes.size());
    EXPECT_NE(std::wstring::npos, run.boxes[0].find(kPrompt));
    std::string last = Last(ProxyTarget());
    EXPECT_EQ(std::string::npos, last.find("Proxy-Authorization")) << last;
}

TEST_F(SoftverchkTest, ProxyPromptCancelledEndsWith700)
{
    ProxyWants("alice", "s3cret");
    Settings(ProxySettings());
    Publish("2.4.0.1");
    User user;
    user.boxButtons = {IDCANCEL};
    Outcome run = Start(user);
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(0u, run.exitCode);
    ASSERT_EQ(1u, run.boxes.size());
    EXPECT_NE(std::wstring::npos, run.boxes[0].find(kPrompt)) << Utf8(run.boxes[0]);
    EXPECT_EQ(kCaption, run.boxCaptions[0]);
    EXPECT_EQ(0, run.signIns);
    EXPECT_TRUE(Logged(L"バージョン確認キャンセル(700)")) << LogUtf8();
    EXPECT_TRUE(Logged(L"サーバーの利用者ソフトバージョンの取得に失敗(700)"));
    EXPECT_EQ(1, Count("proxy:407"));
}

TEST_F(SoftverchkTest, SignInCancelledEndsWith700)
{
    ProxyWants("alice", "s3cret");
    Settings(ProxySettings());
    Publish("2.4.0.1");
    Outcome run = Start(User());
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(1u, run.boxes.size());
    EXPECT_EQ(1, run.signIns);
    EXPECT_TRUE(Logged(L"InternetErrorDlg キャンセル(700)")) << LogUtf8();
    EXPECT_EQ(1, Count("proxy:407"));
}

TEST_F(SoftverchkTest, SignInWithGoodCredentialsRetriesOnce)
{
    ProxyWants("alice", "s3cret");
    Settings(ProxySettings());
    Publish("2.4.0.1");
    User user;
    user.signInOk = true;
    user.proxyUser = L"alice";
    user.proxyPass = L"s3cret";
    Outcome run = Start(user);
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(0u, run.exitCode);
    ASSERT_EQ(2u, run.boxes.size()) << LogUtf8();
    EXPECT_NE(std::wstring::npos, run.boxes[0].find(kPrompt));
    EXPECT_NE(std::wstring::npos, run.boxes[1].find(kNotice));
    EXPECT_EQ(1, run.signIns);
    std::string last = Last(ProxyTarget());
    EXPECT_NE(std::string::npos, last.find("Basic " + Base64("alice:s3cret"))) << last;
}

TEST_F(SoftverchkTest, RetryAnsweredAgainWith407Or404IsMinus104WithoutSecondPrompt)
{
    Settings(ProxySettings());
    Publish("2.4.0.1");
    Option("proxy_always_407", "true");
    User user;
    user.signInOk = true;
    user.proxyUser = L"alice";
    user.proxyPass = L"wrong";
    Outcome run = Start(user);
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_EQ(1u, run.boxes.size());
    EXPECT_EQ(1, run.signIns);
    EXPECT_TRUE(Logged(L"InternetErrorDlg エラーnRtn:(-104),dwCode(407)")) << LogUtf8();
    EXPECT_TRUE(Logged(L"サーバーの利用者ソフトバージョンの取得に失敗(-104)"));

    // Credentials accepted, but the version file is missing.
    RemoveTree(temp_);
    CreateDirectoryW(temp_.c_str(), NULL);
    TestbedRequest("POST", "/_testbed/reset");
    ProxyWants("alice", "s3cret");
    Publish("2.4.0.1", 404);
    user.proxyPass = L"s3cret";
    run = Start(user);
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(1u, run.boxes.size());
    EXPECT_TRUE(Logged(L"InternetErrorDlg エラーnRtn:(-104),dwCode(404)")) << LogUtf8();
}

// ---- program --------------------------------------------------------------------------

TEST_F(SoftverchkTest, NoTraceKeyWritesNoLog)
{
    DeleteKeyTree(HKEY_CURRENT_USER, L"SOFTWARE\\KEVO");
    Publish("2.4.0.1");
    ExpectOnlyTheNotice(Start());
    EXPECT_TRUE(ListFiles(temp_, L"*").empty());
}

// ---- hostile servers ------------------------------------------------------------------

// Each hostile reply of the testbed ends the run with -104 and no notice, in
// bounded time, and with the line that names why.
TEST_F(SoftverchkTest, HostileRepliesEndWithoutANotice)
{
    struct Case {
        const char* name;
        std::string hostile;  // the testbed's "hostile" setting, JSON
        const wchar_t* line;  // a line of the log that names the failure
    };
    const std::string path = "\"path\": \"/reception/verinfo/\", ";
    const Case cases[] = {
        {"close mid body", "{" + path + "\"mode\": \"close_mid_body\", \"body\": \"9.9.9.9\", \"cut\": 3}",
         L"revisionデータがありません"},
        {"stall", "{" + path + "\"mode\": \"stall\", \"headers\": false, \"seconds\": 5}", L"サーバーの利用者ソフトバージョンの取得に失敗(-104)"},
        {"megabytes", "{" + path + "\"mode\": \"megabytes\", \"size\": 8388608}", L"minorデータがありません"},
        {"NUL first", "{" + path + "\"mode\": \"nul\", \"body\": \"9.9.9.9\", \"at\": 0}", L"受信失敗"},
        {"NUL inside", "{" + path + "\"mode\": \"nul\", \"body\": \"9.9.9.9\", \"at\": 3}", L"revisionデータがありません"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        NextCase();
        Option("hostile", c.hostile);
        DWORD started = GetTickCount();
        ExpectNoWindow(Start());
        EXPECT_LT(GetTickCount() - started, 40000u);
        EXPECT_TRUE(Logged(c.line)) << LogUtf8();
        EXPECT_TRUE(Logged(L"サーバーの利用者ソフトバージョンの取得に失敗(-104)")) << LogUtf8();
        EXPECT_EQ(1, Count(kVersionPath));
    }
}

// A server that asks for proxy credentials itself, forever: the prompt and
// the sign-in window once, one retry, then -104.
TEST_F(SoftverchkTest, ProxyAuthenticationForeverPromptsOnce)
{
    // Wine 8's sign-in window reads the proxy's name, and a 407 from the
    // server itself with no proxy configured leaves it without one: the
    // window crashes inside WinINet (measured with the 64-bit test build).
    GTEST_SKIP() << "Wine 8's InternetErrorDlg crashes on a 407 from a server when no proxy is configured";
    Option("hostile", "{\"path\": \"/reception/verinfo/\", \"mode\": \"proxy_auth\"}");
    Outcome run = Start(SignsIn(L"alice", L"s3cret"));
    ASSERT_TRUE(run.ended);
    ASSERT_EQ(1u, run.boxes.size());
    EXPECT_NE(std::wstring::npos, run.boxes[0].find(kPrompt));
    EXPECT_EQ(1, run.signIns);
    EXPECT_TRUE(Logged(L"InternetErrorDlg エラーnRtn:(-104),dwCode(407)")) << LogUtf8();
    EXPECT_EQ(2, Count(kVersionPath));
}

// The checker follows a redirect to wherever it points (it accepts only a
// final 200, and its notice is harmless): what the other host publishes
// decides. The counter client, by contrast, never follows one.
TEST_F(SoftverchkTest, RedirectIsFollowedToTheOtherHost)
{
    const struct {
        const char* body;  // the other host's version file
        bool notice;
    } cases[] = {{"9.9.9.9", true}, {"1.0.0.0", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        NextCase();
        Option("hostile", "{\"path\": \"/reception/verinfo/\", \"mode\": \"redirect\", \"status\": 302}");
        Option("elsewhere.body", std::string("\"") + c.body + "\"");
        Outcome run = Start();
        if (c.notice)
            ExpectOnlyTheNotice(run);
        else
            ExpectNoWindow(run);
        EXPECT_EQ(1, Count(kVersionPath));
        EXPECT_EQ(1, Count(std::string("elsewhere:") + kVersionPath));
    }
}

// Certificates of the trusted CA that are expired or name another host.
TEST_F(SoftverchkTest, ExpiredOrWrongNameCertificateIsRefused)
{
    Publish("9.9.9.9");
    for (int port : {KEVO_TESTBED_EXPIRED_PORT, KEVO_TESTBED_WRONGNAME_PORT}) {
        SCOPED_TRACE(port);
        RemoveTree(temp_);
        CreateDirectoryW(temp_.c_str(), NULL);
        Settings({"url=https://localhost:" + Port(port) + "/"});
        ExpectNoWindow(Start());
        EXPECT_TRUE(LoggedPart(L"HttpSendRequest 失敗(")) << LogUtf8();
        EXPECT_EQ(0, Count(kVersionPath));
    }
}

// The program built with the test seams of its WinINet calls, for what
// Wine 8 does not do as Windows does.
class SoftverchkSeamTest : public SoftverchkTest {
protected:
    Outcome StartWithSeams(const std::wstring& setting, const User& user = User())
    {
        options_.env[L"KEVO_TEST_WININET"] = setting;
        program_ = WinePath(KEVO_SOFTVERCHK_SEAM_EXE);
        return Start(user);
    }
};

// The sign-in window keeps the typed credentials on the answered request
// (Windows); the seam makes the session forget them, as Windows has none
// there: the notice needs the retry's own copy. None reaches the log.
TEST_F(SoftverchkSeamTest, RetryCarriesTheTypedCredentialsOfItsOwn)
{
    EnableTrace(10);
    ProxyWants("alice", "s3cret-Pw");
    Settings(ProxySettings());
    Publish("2.4.0.1");
    Outcome run = StartWithSeams(L"forget-session-credentials", SignsIn(L"alice", L"s3cret-Pw"));
    ASSERT_EQ(2u, run.boxes.size()) << LogUtf8();
    EXPECT_NE(std::wstring::npos, run.boxes[1].find(kNotice));
    EXPECT_EQ(1, run.signIns);
    EXPECT_TRUE(LoggedPart(L"SoftVerChkHttpAccess::getServerVersion: end")) << "no trace at level 10";
    EXPECT_EQ(std::string::npos, Log().find("s3cret")) << LogUtf8();
}

// What Windows' WinINet reports on its own, injected at the send: a server
// whose certificate's revocation servers do not answer (the testbed's, with
// the check the program never switches off), no answer to the revocation
// check, its own time-out. Each is a failed check without a notice, named
// in the log, and never a second request without the check.
TEST_F(SoftverchkSeamTest, WinInetErrorsOfItsOwnEndWithoutANoticeAndAreNamed)
{
    const std::string revocation = ":" + Port(KEVO_TESTBED_REVOCATION_PORT) + "/";
    const struct {
        std::wstring setting;
        const char* name;
        int code;
    } cases[] = {
        {L"revocation-offline=" + Widen(revocation), "ERROR_INTERNET_SEC_CERT_REV_FAILED", 12057},
        {L"fail=12056@" + Widen(revocation), "ERROR_INTERNET_SEC_CERT_NO_REV", 12056},
        {L"fail=12002@" + Widen(revocation), "ERROR_INTERNET_TIMEOUT", 12002},
    };
    Settings({"url=https://localhost" + revocation});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        NextCase();
        Publish("9.9.9.9");
        ExpectNoWindow(StartWithSeams(c.setting));
        const std::wstring code = std::to_wstring(c.code);
        EXPECT_TRUE(Logged(L"HttpSendRequest 失敗(" + code + L")")) << LogUtf8();
        EXPECT_TRUE(LoggedPart(L"HttpSendRequest:WinINetエラー<" + Widen(c.name) + L":" + code + L">が発生しました。("))
            << LogUtf8();
        EXPECT_TRUE(Logged(L"サーバーの利用者ソフトバージョンの取得に失敗(-104)")) << LogUtf8();
        EXPECT_EQ(0, Count(kVersionPath));
    }
}

// ---- broken environment ----------------------------------------------------------------

// The installed version's values of every wrong type and of sizes around the
// 4-byte field: the type is not examined, a value that fits is taken as its
// bytes (a text read through the narrow interface gives its character codes),
// and a larger one is an error before any network access.
TEST_F(SoftverchkTest, VersionValuesOfWrongTypeOrSize)
{
    Publish("2.4.0.1");
    const struct {
        const char* name;
        DWORD type;
        std::vector<BYTE> bytes;
        bool notice;   // installed major below 2: the server's 2.4.0.1 is newer
        bool fetched;  // the installed version was read, so the server was asked
    } cases[] = {
        {"DWORD 2", REG_DWORD, {2, 0, 0, 0}, true, true},
        {"0 bytes", REG_BINARY, {}, true, true},
        {"1 byte 9", REG_BINARY, {9}, false, true},
        {"1 byte 1", REG_BINARY, {1}, true, true},
        {"4 bytes binary 2", REG_BINARY, {2, 0, 0, 0}, true, true},
        {"5 bytes", REG_BINARY, {2, 0, 0, 0, 0}, false, false},
        {"QWORD", REG_QWORD, {2, 0, 0, 0, 0, 0, 0, 0}, false, false},
        {"text \"9\"", REG_SZ, {'9', 0, 0, 0}, false, true},        // read as 0x39
        {"empty text", REG_SZ, {0, 0}, true, true},                   // read as 0
        {"expandable \"1\"", REG_EXPAND_SZ, {'1', 0, 0, 0}, false, true},  // 0x31
        {"long text", REG_SZ, std::vector<BYTE>(64, 'x'), false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        NextCase();
        Publish("2.4.0.1");
        Installed(2, 4, 0);
        SetRaw(HKEY_LOCAL_MACHINE, L"SOFTWARE\\KEVO\\Version", L"Major", c.type, c.bytes);
        Outcome run = Start();
        if (c.notice)
            ExpectOnlyTheNotice(run);
        else
            ExpectNoWindow(run);
        EXPECT_EQ(c.fetched ? 1 : 0, Count(kVersionPath));
        if (!c.fetched) {
            EXPECT_TRUE(Logged(L"Software\\KEVO\\Version\\Major Get Error,rtn = 234")) << LogUtf8();
        }
    }
}

// Settings files a PC may hold: whatever cannot be read as the section gives
// the defaults (the default counter, no proxy of the file); a readable section
// in another encoding the profile functions understand is used.
TEST_F(SoftverchkTest, BrokenSettingsFiles)
{
    Publish("2.4.0.1");
    const std::string section = "[ConfirmSettingInfo]\r\n";
    const std::string here = "url=http://localhost:" + Port(KEVO_TESTBED_HTTP_PORT) + "/\r\n";
    std::string utf16 = "\xFF\xFE";
    for (char c : section + here) {
        utf16 += c;
        utf16 += '\0';
    }
    std::string garbage;
    for (int i = 0; i < 4096; ++i)
        garbage += static_cast<char>((i * 7919 + 13) & 0xFF);
    const struct {
        const char* name;
        std::string bytes;
        bool readsHere;  // the file's url (the testbed) is used; else the default counter
    } cases[] = {
        {"well formed", section + here, true},
        {"no section", here, false},
        {"another section", "[Other]\r\n" + here, false},
        {"overlong line before the url", section + "proxyHost=" + std::string(70000, 'h') + "\r\n" + here, true},
        {"overlong url", section + "url=http://localhost:" + Port(KEVO_TESTBED_HTTP_PORT) + "/" +
                             std::string(5000, 'p') + "\r\n", true},
        {"binary garbage", garbage, false},
        {"garbage after the section", section + here + garbage, true},
        {"UTF-16 with byte order mark", utf16, true},
        {"empty", "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        NextCase();
        Publish("2.4.0.1");
        WriteBytes(install_ + L"KEVOValidationInfo.ini", c.bytes);
        Outcome run = Start();
        if (c.readsHere) {
            ExpectOnlyTheNotice(run);
            EXPECT_EQ(1, Count(kVersionPath));
        } else {
            // The default counter of this build is the testbed's HTTPS
            // listener, so the run still ends with the notice; what shows the
            // file was not used is the listener that was asked.
            ASSERT_TRUE(run.ended);
            EXPECT_EQ(0u, run.exitCode);
            EXPECT_EQ(0, run.signIns);
            EXPECT_EQ("https", JsonListener(Last(kVersionPath))) << LogUtf8();
        }
    }
}

// A temporary directory where no log can be written: the check runs as
// usual and nothing is written anywhere else.
TEST_F(SoftverchkTest, UnwritableOrOverlongTemporaryDirectory)
{
    Publish("2.4.0.1");
    std::wstring base = temp_;
    // Deep enough that the log's name (prefix, 14 digits, ".log") passes
    // MAX_PATH, while the directory itself is still valid.
    std::wstring deep = base;
    while (deep.size() < 240)
        deep += std::wstring(std::min<size_t>(40, 240 - deep.size()), L'd') + L"\\";
    std::wstring readOnly = base + L"readonly\\";
    std::wstring file = base + L"not-a-directory";
    ASSERT_TRUE(CreateDirectoryW(readOnly.c_str(), NULL));
    ASSERT_TRUE(SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
    WriteBytes(file, "x");
    const struct {
        const char* name;
        std::wstring dir;
        bool mayLog;  // root ignores a read-only attribute, so a log may appear there
    } cases[] = {
        {"near MAX_PATH", deep, false},
        {"missing", base + L"missing\\", false},
        {"a file", file + L"\\", false},
        {"read-only", readOnly, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (size_t at = base.size(); (at = c.dir.find(L'\\', at)) != std::wstring::npos; ++at)
            CreateDirectoryW(c.dir.substr(0, at).c_str(), NULL);
        options_.tempDir = c.dir;
        if (std::string(c.name) == "missing")
            RemoveTree(c.dir);
        ExpectOnlyTheNotice(Start());
        if (!c.mayLog) {
            EXPECT_TRUE(ListFiles(c.dir, L"KEVOSOFTVERCHK*").empty());
        }
        EXPECT_TRUE(ListFiles(base, L"KEVOSOFTVERCHK*").empty()) << "a log went to the parent directory";
    }
    SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);
    options_.tempDir = temp_;
}

}  // namespace

// ---- machine policy ------------------------------------------------------------------

TEST_F(SoftverchkTest, MachinePolicyOutranksTheSettingsFileAndTheUsersTrace)
{
    const std::string direct = "url=http://localhost:" + Port(KEVO_TESTBED_HTTP_PORT) + "/";
    const std::string proxyPort = Port(KEVO_TESTBED_PROXY_PORT);
    std::vector<std::string> deadHost = ProxySettings();
    deadHost[3] = "proxyHost=nohost.invalid";
    std::vector<std::string> deadPort = ProxySettings();
    deadPort[2] = "proxyPort=1";
    struct Row {
        const char* what;
        std::vector<std::pair<std::wstring, std::string>> values;  // name, decimal DWORD or "sz:" text
        std::vector<std::string> settings;
        DWORD userTrace;
        bool notice;     // the request reached the server and the notice came
        bool viaProxy;   // ... through the testbed proxy, which passes it on
        bool logged;     // any log file at all
    };
    const Row rows[] = {
        {"check switched off", {{L"UpdateCheck", "0"}}, {direct}, 10, false, false, true},
        {"check switched on", {{L"UpdateCheck", "1"}}, {direct}, 10, true, false, true},
        {"check off as text is no policy", {{L"UpdateCheck", "sz:0"}}, {direct}, 10, true, false, true},
        {"proxy from policy alone", {{L"ProxyHost", "sz:localhost"}, {L"ProxyPort", proxyPort}}, {direct}, 20, true, true, true},
        {"policy host over the file's", {{L"ProxyHost", "sz:localhost"}}, deadHost, 20, true, true, true},
        {"policy port over the file's", {{L"ProxyPort", proxyPort}}, deadPort, 20, true, true, true},
        {"policy trace off over the user's", {{L"Trace", "0"}}, {direct}, 20, true, false, false},
        {"policy trace on without the user's", {{L"Trace", "10"}}, {direct}, 0, true, false, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        NextCase();
        DeleteKeyTree(HKEY_LOCAL_MACHINE, kPolicyKey, PolicyView());
        for (const auto& value : row.values)
            SetPolicyValue(value.first, value.second);
        Settings(row.settings);
        EnableTrace(row.userTrace);
        Publish("2.4.0.1");
        Outcome run = Start();
        if (row.notice)
            ExpectOnlyTheNotice(run);
        else
            ExpectNoWindow(run);
        EXPECT_EQ(row.notice ? 1 : 0, Count(kVersionPath));
        EXPECT_EQ(row.viaProxy ? 1 : 0, Count(ProxyTarget()));
        EXPECT_EQ(row.logged, !Log().empty());
        if (!row.notice) {
            // Said at flow level, and nothing was read for a request.
            EXPECT_TRUE(Logged(L"ポリシー(UpdateCheck=0)によりバージョン確認を行いません")) << LogUtf8();
            EXPECT_FALSE(LoggedPart(L"setSettingInfo"));
        }
        if (row.userTrace == 0 && row.logged) {
            EXPECT_TRUE(Logged(L"CKEVOAutoUpdateApp::InitInstance start")) << LogUtf8();
        }
    }
}

// The settings readers of both programs against the real registry and
// settings file of the Wine prefix. The trace lines are captured in memory
// (this test links a recording TraceLog instead of a trace log file), so
// that each program's wording is checked byte for byte.
#include <gtest/gtest.h>

#include <stdarg.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "KevoSettings.h"
#include "KevoTestSupport.h"
#include "TraceLog.h"

using namespace kevotest;

namespace {
struct Line {
    int level;
    std::string text;
};
std::vector<Line> g_lines;
}  // namespace

extern "C" void TraceLog(int level, const char* format, ...)
{
    char buffer[2048];
    va_list args;
    va_start(args, format);
    vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    g_lines.push_back(Line{level, buffer});
}

extern "C" const char* TraceSourceName(const char* path)
{
    const char* name = path;
    for (const char* p = path; *p; ++p)
        if (*p == '/' || *p == '\\')
            name = p + 1;
    return name;
}

namespace {

const wchar_t kKey[] = L"SOFTWARE\\KEVO";

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetKevoRegistry();
        dir_ = MakeScratchDir(L"settings");
        g_lines.clear();
        info_ = SettingInfo();
        KevoSettingsTesting::FailAllocation(0);
    }
    void TearDown() override
    {
        KevoSettingsTesting::FailAllocation(0);
        KEVO_CVS_Release_CVSfuncMemory(&info_);
        RemoveTree(dir_);
        ResetKevoRegistry();
    }
    // InstallPath without its trailing backslash, as installers often store it.
    void InstallHere(const std::wstring& dir)
    {
        std::wstring d = dir;
        if (!d.empty() && d.back() == L'\\')
            d.pop_back();
        SetString(HKEY_LOCAL_MACHINE, kKey, L"InstallPath", ToCp932(d));
    }
    void Ini(const std::vector<std::string>& keys, const std::wstring& dir = L"")
    {
        std::vector<std::string> lines = {"[ConfirmSettingInfo]"};
        lines.insert(lines.end(), keys.begin(), keys.end());
        WriteIni((dir.empty() ? dir_ : dir) + L"KEVOValidationInfo.ini", lines);
    }
    bool Logged(const std::string& text, int level = -1) const
    {
        for (const Line& line : g_lines)
            if (line.text == text && (level < 0 || line.level == level))
                return true;
        return false;
    }
    bool LoggedPrefix(const std::string& prefix) const
    {
        for (const Line& line : g_lines)
            if (line.text.compare(0, prefix.size(), prefix) == 0)
                return true;
        return false;
    }
    std::string Dump() const
    {
        std::string out;
        for (const Line& line : g_lines)
            out += std::to_string(line.level) + " " + line.text;
        return out;
    }

    std::wstring dir_;
    SettingInfo info_;
};

// ---- install path ------------------------------------------------------------

TEST_F(SettingsTest, InstallPathGetsOneBackslashAndTheFileName)
{
    InstallHere(dir_);
    char* path = NULL;
    ASSERT_EQ(0, KEVOGetServiceAPIPath("KEVOServiceAPI.dll", &path));
    std::string expected = ToCp932(dir_) + "KEVOServiceAPI.dll";
    EXPECT_EQ(expected, path);
    free(path);

    // Stored with its backslash: no second one.
    SetString(HKEY_LOCAL_MACHINE, kKey, L"InstallPath", ToCp932(dir_));
    ASSERT_EQ(0, KEVOGetPath(&path));
    EXPECT_EQ(ToCp932(dir_) + "KEVOValidationInfo.ini", path);
    free(path);
    EXPECT_TRUE(Logged("KEVOGetPath: start\n", 10));
    EXPECT_TRUE(Logged("KEVOGetPath: end\n", 10));
}

TEST_F(SettingsTest, DirectoryEndingInDoubleByteWith5CTrailStillGetsItsBackslash)
{
    for (const wchar_t* name : {L"ソ", L"表"}) {
        std::wstring sub = dir_ + name + L"\\";
        ASSERT_TRUE(CreateDirectoryW(sub.c_str(), NULL));
        InstallHere(sub);
        Ini({"url=http://sub.example:8080/"}, sub);
        char* path = NULL;
        ASSERT_EQ(0, KEVOGetServiceAPIPath("KEVOServiceAPI.dll", &path));
        std::string dirBytes = ToCp932(sub.substr(0, sub.size() - 1));
        EXPECT_EQ(dirBytes + "\\KEVOServiceAPI.dll", path);
        free(path);
        // The settings file in that directory is the one read.
        ASSERT_EQ(0, KevoRevoke::setSettingInfo(&info_));
        EXPECT_STREQ("sub.example", info_.hostname);
        KEVO_CVS_Release_CVSfuncMemory(&info_);
    }
}

TEST_F(SettingsTest, InstallPathStoredWithoutTerminatorIsCutAtItsSize)
{
    std::string bytes = ToCp932(dir_.substr(0, dir_.size() - 1));
    SetRaw(HKEY_LOCAL_MACHINE, kKey, L"InstallPath", REG_BINARY, std::vector<BYTE>(bytes.begin(), bytes.end()));
    char* path = NULL;
    ASSERT_EQ(0, KEVOGetServiceAPIPath("x.dll", &path));
    EXPECT_EQ(bytes + "\\x.dll", path);
    free(path);
}

TEST_F(SettingsTest, MissingKeyOrValueIsMinus104WithEachProgramsWording)
{
    char* path = reinterpret_cast<char*>(1);
    EXPECT_EQ(-104, KEVOGetServiceAPIPath("x.dll", &path));
    EXPECT_EQ(reinterpret_cast<char*>(1), path);
    EXPECT_TRUE(LoggedPrefix("RegOpenKeyExA:エラーが発生しました。(2)(KevoSettings.cpp:")) << Dump();
    EXPECT_EQ(-104, KEVOGetPath(&path));
    EXPECT_TRUE(Logged("RegOpenKeyEx失敗(-104)\n", 20)) << Dump();

    SetDword(HKEY_LOCAL_MACHINE, kKey, L"Other", 1);
    g_lines.clear();
    EXPECT_EQ(-104, KEVOGetServiceAPIPath("x.dll", &path));
    EXPECT_TRUE(LoggedPrefix("RegQueryValueExA:エラーが発生しました。(2)(KevoSettings.cpp:")) << Dump();
    EXPECT_EQ(-104, KEVOGetPath(&path));
    EXPECT_TRUE(Logged("RegQueryValueEx失敗 1(-104)\n", 20)) << Dump();
}

TEST_F(SettingsTest, EmptyOrRelativeInstallPathIsUnreadable)
{
    for (const char* value : {"", "KEVO", "..\\KEVO", "\\KEVO"}) {
        SetString(HKEY_LOCAL_MACHINE, kKey, L"InstallPath", value);
        g_lines.clear();
        char* path = NULL;
        EXPECT_EQ(-104, KEVOGetServiceAPIPath("KEVOServiceAPI.dll", &path)) << value;
        EXPECT_TRUE(LoggedPrefix("installpath:予期せぬエラーが発生しました。(KevoSettings.cpp:")) << Dump();
        EXPECT_EQ(-104, KEVOGetPath(&path)) << value;
        EXPECT_TRUE(Logged(std::string("InstallPathの値(") + value + ")が不正\n", 20)) << Dump();
    }
    // An empty value stored without any byte at all, and a number where a
    // text belongs (its type is not examined, its bytes make no path).
    SetRaw(HKEY_LOCAL_MACHINE, kKey, L"InstallPath", REG_SZ, {});
    char* path = NULL;
    EXPECT_EQ(-104, KEVOGetServiceAPIPath("KEVOServiceAPI.dll", &path));
    SetDword(HKEY_LOCAL_MACHINE, kKey, L"InstallPath", 0x4B5C3A43);  // the four bytes "C:\K", no terminator
    EXPECT_EQ(0, KEVOGetServiceAPIPath("KEVOServiceAPI.dll", &path));
    EXPECT_STREQ("C:\\K\\KEVOServiceAPI.dll", path);
    free(path);
    path = NULL;
    SetDword(HKEY_LOCAL_MACHINE, kKey, L"InstallPath", 7);
    EXPECT_EQ(-104, KEVOGetServiceAPIPath("KEVOServiceAPI.dll", &path));
    EXPECT_EQ(NULL, path);
}

TEST_F(SettingsTest, OutOfMemoryForTheInstallPathIsMinus104ForTheResultMinus102)
{
    InstallHere(dir_);
    char* path = NULL;
    KevoSettingsTesting::FailAllocation(1);
    EXPECT_EQ(-104, KEVOGetServiceAPIPath("x.dll", &path));
    EXPECT_TRUE(LoggedPrefix("installpath:メモリが不足しています。(KevoSettings.cpp:")) << Dump();
    KevoSettingsTesting::FailAllocation(2);
    EXPECT_EQ(-102, KEVOGetServiceAPIPath("x.dll", &path));
    EXPECT_TRUE(LoggedPrefix("path:メモリが不足しています。(KevoSettings.cpp:")) << Dump();
    KevoSettingsTesting::FailAllocation(1);
    EXPECT_EQ(-104, KEVOGetPath(&path));
    EXPECT_TRUE(Logged("メモリ不足 1\n", 20));
    KevoSettingsTesting::FailAllocation(2);
    EXPECT_EQ(-102, KEVOGetPath(&path));
    EXPECT_TRUE(Logged("メモリ不足 2\n", 20));
    EXPECT_EQ(NULL, path);
}

// ---- settings file -------------------------------------------------------------

TEST_F(SettingsTest, WithoutUrlTheDefaultHttpsCounterIsUsed)
{
    InstallHere(dir_);
    Ini({"proxyType=0"});
    ASSERT_EQ(0, KevoRevoke::setSettingInfo(&info_));
    EXPECT_EQ(1, info_.secure);
    EXPECT_STREQ(KEVO_DEFAULT_COUNTER_URL, info_.cvsurl);
    EXPECT_EQ(KEVO_DEFAULT_COUNTER_PORT, info_.port);
    EXPECT_STREQ(KEVO_DEFAULT_COUNTER_HOST, info_.hostname);
    EXPECT_EQ(0, info_.proxy_type);
    EXPECT_TRUE(Logged("プロキシデータ未設定\n", 10));
    EXPECT_TRUE(Logged("CREVOKE_Http::setSettingInfo: start\n", 10));
    EXPECT_TRUE(Logged("CREVOKE_Http::setSettingInfo: end\n", 10));
}

TEST_F(SettingsTest, WithoutInstallPathDefaultsApplyAndTheFailureIsLogged)
{
    ASSERT_EQ(0, KevoRevoke::setSettingInfo(&info_));
    EXPECT_STREQ(KEVO_DEFAULT_COUNTER_URL, info_.cvsurl);
    EXPECT_TRUE(LoggedPrefix("KEVOGetServiceAPIPath:エラーが発生しました。(KevoSettings.cpp:")) << Dump();
    KEVO_CVS_Release_CVSfuncMemory(&info_);
    ASSERT_EQ(0, KevoVerchk::setSettingInfo(&info_));
    EXPECT_EQ(1, info_.secure);
    EXPECT_TRUE(Logged("KEVOGetServiceAPIPath() 失敗(-104)\n", 20)) << Dump();
}

TEST_F(SettingsTest, HttpUrlWithPortAndPath)
{
    InstallHere(dir_);
    Ini({"url=http://counter.example:8080/reception/any/path?x=1"});
    ASSERT_EQ(0, KevoVerchk::setSettingInfo(&info_));
    EXPECT_EQ(0, info_.secure);
    EXPECT_STREQ("counter.example", info_.hostname);
    EXPECT_EQ(8080, info_.port);
    EXPECT_STREQ("http://counter.example:8080/reception/any/path?x=1", info_.cvsurl);
    EXPECT_EQ(0, info_.proxy_type);
    EXPECT_TRUE(Logged("SoftVerChkHttpAccess::setSettingInfo: start\n", 10));
    // The checker writes its no-proxy line at error level, the revocation
    // tool at flow level.
    EXPECT_TRUE(Logged("プロキシデータ未設定\n", 20)) << Dump();
    EXPECT_FALSE(Logged("プロキシデータ未設定\n", 10)) << Dump();

    Ini({"url=http://counter.example"});
    KevoVerchk::MemoryRelease(&info_);
    ASSERT_EQ(0, KevoVerchk::setSettingInfo(&info_));
    EXPECT_EQ(80, info_.port);
}

TEST_F(SettingsTest, OtherSchemesAreRefused)
{
    InstallHere(dir_);
    for (const char* url : {"HTTPS://counter.example/", "ftp://counter.example/", "counter.example"}) {
        Ini({std::string("url=") + url});
        g_lines.clear();
        EXPECT_EQ(-104, KevoRevoke::setSettingInfo(&info_)) << url;
        EXPECT_TRUE(LoggedPrefix("strPROP:予期せぬエラーが発生しました。(KevoSettings.cpp:")) << Dump();
        EXPECT_EQ(NULL, info_.hostname);
        EXPECT_EQ(-104, KevoVerchk::setSettingInfo(&info_)) << url;
        EXPECT_TRUE(Logged(std::string("urlの値(") + url + ")が不正\n", 20)) << Dump();
    }
}

TEST_F(SettingsTest, UncrackableUrlIsRefused)
{
    InstallHere(dir_);
    // A host longer than the 512-byte host buffer.
    std::string url = "http://" + std::string(600, 'h') + ".example/";
    Ini({"url=" + url});
    EXPECT_EQ(-104, KevoRevoke::setSettingInfo(&info_));
    EXPECT_TRUE(LoggedPrefix("InternetCrackUrlA:エラーが発生しました。(KevoSettings.cpp:")) << Dump();
    EXPECT_TRUE(LoggedPrefix("setURLData:予期せぬエラーが発生しました。(KevoSettings.cpp:")) << Dump();
    EXPECT_EQ(-104, KevoVerchk::setSettingInfo(&info_));
    EXPECT_TRUE(Logged("InternetCrackUrl失敗(0)\n", 20)) << Dump();
    EXPECT_TRUE(Logged("setURLData()でエラー urlの値(" + url + ")が不正と思われる\n", 20)) << Dump();
}

TEST_F(SettingsTest, UrlIsReadUpTo1023Bytes)
{
    InstallHere(dir_);
    std::string head = "http://counter.example/";
    std::string exact = head + std::string(1023 - head.size(), 'p');
    Ini({"url=" + exact});
    ASSERT_EQ(0, KevoVerchk::setSettingInfo(&info_));
    EXPECT_EQ(exact, info_.cvsurl);
    KevoVerchk::MemoryRelease(&info_);
    Ini({"url=" + exact + "overflow"});
    ASSERT_EQ(0, KevoVerchk::setSettingInfo(&info_));
    EXPECT_EQ(exact, info_.cvsurl);
}

TEST_F(SettingsTest, ProxyWithHostPortUserAndPassword)
{
    InstallHere(dir_);
    Ini({"url=https://counter.example/", "proxyType=2", "proxyPort=8080", "proxyHost=proxy.example",
         "proxyUser=alice", "proxyPass=s3cret"});
    for (int revoke = 0; revoke < 2; ++revoke) {
        ASSERT_EQ(0, revoke ? KevoRevoke::setSettingInfo(&info_) : KevoVerchk::setSettingInfo(&info_));
        EXPECT_EQ(2, info_.proxy_type);
        EXPECT_STREQ("proxy.example", info_.proxy_host);
        EXPECT_EQ(8080, info_.proxy_port);
        EXPECT_STREQ("alice", info_.proxy_ID);
        EXPECT_STREQ("s3cret", info_.proxy_password);
        KEVO_CVS_Release_CVSfuncMemory(&info_);
        EXPECT_EQ(NULL, info_.proxy_host);
        EXPECT_EQ(NULL, info_.cvsurl);
    }
}

TEST_F(SettingsTest, ProxyWithoutUsablePortOrHostFallsBackToTheSystemConfiguration)
{
    InstallHere(dir_);
    const std::vector<std::vector<std::string>> cases = {
        {"proxyType=2", "proxyPort=0", "proxyHost=proxy.example", "proxyUser=alice", "proxyPass=x"},
        {"proxyType=2", "proxyPort=65536", "proxyHost=proxy.example"},
        {"proxyType=2", "proxyPort=-1", "proxyHost=proxy.example"},
        {"proxyType=2", "proxyPort=8080", "proxyHost="},
        {"proxyType=2", "proxyPort=8080"},
    };
    for (const auto& keys : cases) {
        std::vector<std::string> all = {"url=http://counter.example/"};
        all.insert(all.end(), keys.begin(), keys.end());
        Ini(all);
        g_lines.clear();
        ASSERT_EQ(0, KevoVerchk::setSettingInfo(&info_));
        EXPECT_EQ(0, info_.proxy_type) << keys[1];
        EXPECT_EQ(NULL, info_.proxy_host);
        EXPECT_EQ(0, info_.proxy_port);
        EXPECT_EQ(NULL, info_.proxy_ID);
        EXPECT_EQ(NULL, info_.proxy_password);
        EXPECT_TRUE(Logged("プロキシデータ未設定 2\n", 20)) << Dump();
        KevoVerchk::MemoryRelease(&info_);
    }
    g_lines.clear();
    ASSERT_EQ(0, KevoRevoke::setSettingInfo(&info_));
    EXPECT_TRUE(Logged("プロキシデータ未設定 2\n", 10)) << Dump();
    KEVO_CVS_Release_CVSfuncMemory(&info_);
    // Any type but 2 means no proxy of this file.
    Ini({"url=http://counter.example/", "proxyType=1", "proxyPort=8080", "proxyHost=proxy.example"});
    ASSERT_EQ(0, KevoRevoke::setSettingInfo(&info_));
    EXPECT_EQ(0, info_.proxy_type);
    EXPECT_EQ(NULL, info_.proxy_host);
}

TEST_F(SettingsTest, UserWithoutPasswordGivesNoPassword)
{
    InstallHere(dir_);
    Ini({"url=http://counter.example/", "proxyType=2", "proxyPort=3128", "proxyHost=proxy.example",
         "proxyUser=alice"});
    ASSERT_EQ(0, KevoRevoke::setSettingInfo(&info_));
    EXPECT_STREQ("alice", info_.proxy_ID);
    EXPECT_EQ(NULL, info_.proxy_password);
    KEVO_CVS_Release_CVSfuncMemory(&info_);
    // A password without a user is not read at all.
    Ini({"url=http://counter.example/", "proxyType=2", "proxyPort=3128", "proxyHost=proxy.example",
         "proxyPass=x"});
    ASSERT_EQ(0, KevoRevoke::setSettingInfo(&info_));
    EXPECT_EQ(NULL, info_.proxy_ID);
    EXPECT_EQ(NULL, info_.proxy_password);
}

TEST_F(SettingsTest, ProxyTextsAreReadUpTo1023Bytes)
{
    InstallHere(dir_);
    std::string host(1023, 'h');
    std::string pass(1023, 'p');
    Ini({"url=http://counter.example/", "proxyType=2", "proxyPort=3128", "proxyHost=" + host + "cut",
         "proxyUser=u", "proxyPass=" + pass + "cut"});
    ASSERT_EQ(0, KevoVerchk::setSettingInfo(&info_));
    EXPECT_EQ(host, info_.proxy_host);
    EXPECT_EQ(pass, info_.proxy_password);
}

TEST_F(SettingsTest, OutOfMemoryInTheRevocationToolsReaderIsMinus102)
{
    InstallHere(dir_);
    Ini({"url=http://counter.example/", "proxyType=2", "proxyPort=3128", "proxyHost=proxy.example",
         "proxyUser=alice", "proxyPass=x"});
    // Allocations: install path, joined path, hostname, cvsurl, proxy host, user, password.
    const char* tails[] = {"m_SettingInfo.hostname", "m_SettingInfo.cvsurl", "m_SettingInfo.proxy_host",
                           "m_SettingInfo.proxy_ID", "m_SettingInfo.proxy_password"};
    for (int i = 0; i < 5; ++i) {
        g_lines.clear();
        KevoSettingsTesting::FailAllocation(3 + i);
        EXPECT_EQ(-102, KevoRevoke::setSettingInfo(&info_)) << tails[i];
        EXPECT_TRUE(LoggedPrefix(std::string(tails[i]) + ":メモリが不足しています。(KevoSettings.cpp:")) << Dump();
        KEVO_CVS_Release_CVSfuncMemory(&info_);
    }
}

TEST_F(SettingsTest, OutOfMemoryInTheCheckersReaderDropsOnlyTheProxyItem)
{
    InstallHere(dir_);
    Ini({"url=http://counter.example/", "proxyType=2", "proxyPort=3128", "proxyHost=proxy.example",
         "proxyUser=alice", "proxyPass=x"});
    KevoSettingsTesting::FailAllocation(3);
    EXPECT_EQ(-102, KevoVerchk::setSettingInfo(&info_));
    EXPECT_TRUE(Logged("メモリ不足(m_SettingInfo.hostname)\n", 20));
    KevoVerchk::MemoryRelease(&info_);
    KevoSettingsTesting::FailAllocation(4);
    EXPECT_EQ(-102, KevoVerchk::setSettingInfo(&info_));
    EXPECT_TRUE(Logged("メモリ不足(m_SettingInfo.cvsurl)\n", 20));
    KevoVerchk::MemoryRelease(&info_);

    g_lines.clear();
    KevoSettingsTesting::FailAllocation(5);
    EXPECT_EQ(0, KevoVerchk::setSettingInfo(&info_));
    EXPECT_TRUE(Logged("メモリ不足(m_SettingInfo.proxy_host)\n", 20));
    EXPECT_TRUE(Logged("プロキシデータ未設定 2\n", 20));
    EXPECT_EQ(0, info_.proxy_type);
    EXPECT_EQ(NULL, info_.proxy_ID);
    KevoVerchk::MemoryRelease(&info_);

    KevoSettingsTesting::FailAllocation(6);
    EXPECT_EQ(0, KevoVerchk::setSettingInfo(&info_));
    EXPECT_TRUE(Logged("メモリ不足(m_SettingInfo.proxy_ID)\n", 20));
    EXPECT_EQ(2, info_.proxy_type);
    EXPECT_EQ(NULL, info_.proxy_ID);
    EXPECT_EQ(NULL, info_.proxy_password);
    KevoVerchk::MemoryRelease(&info_);

    KevoSettingsTesting::FailAllocation(7);
    EXPECT_EQ(0, KevoVerchk::setSettingInfo(&info_));
    EXPECT_TRUE(Logged("メモリ不足(m_SettingInfo.proxy_password)\n", 20));
    EXPECT_STREQ("alice", info_.proxy_ID);
    EXPECT_EQ(NULL, info_.proxy_password);
}

TEST_F(SettingsTest, OverlongSettingsPathIsNotUsed)
{
    // A directory name that makes the settings path 2048 bytes or longer.
    std::string dir = "C:\\" + std::string(2100, 'd');
    SetString(HKEY_LOCAL_MACHINE, kKey, L"InstallPath", dir);
    ASSERT_EQ(0, KevoVerchk::setSettingInfo(&info_));
    EXPECT_STREQ(KEVO_DEFAULT_COUNTER_URL, info_.cvsurl);
}

// ---- URL cracking and the Internet handle ----------------------------------------

TEST_F(SettingsTest, UrlDataGivesHostPathAndPort)
{
    char host[1025];
    char path[1025];
    int port = 0;
    ASSERT_EQ(1, KevoRevoke::setURLData("https://counter.example:4443/reception/x", host, path, &port));
    EXPECT_STREQ("counter.example", host);
    EXPECT_STREQ("/reception/x", path);
    EXPECT_EQ(4443, port);
    EXPECT_TRUE(Logged("setURLData: start\n", 10));
    EXPECT_TRUE(Logged("setURLData: end\n", 10));
    ASSERT_EQ(1, KevoVerchk::setURLData("https://counter.example", host, path, &port));
    EXPECT_EQ(443, port);
    EXPECT_EQ(0, KevoVerchk::setURLData("not a url", host, path, &port));
}

std::string QueryProxy(HINTERNET handle, DWORD* accessType)
{
    char buffer[2048];
    DWORD size = sizeof buffer;
    if (!InternetQueryOptionA(handle, INTERNET_OPTION_PROXY, buffer, &size))
        return "<query failed>";
    INTERNET_PROXY_INFO* proxy = reinterpret_cast<INTERNET_PROXY_INFO*>(buffer);
    *accessType = proxy->dwAccessType;
    return proxy->lpszProxy ? proxy->lpszProxy : "";
}

TEST_F(SettingsTest, InternetHandleUsesTheProxyText)
{
    char host[] = "proxy.example";
    SettingInfo info = {};
    info.proxy_type = 2;
    info.proxy_host = host;
    info.proxy_port = 8080;
    for (int revoke = 0; revoke < 2; ++revoke) {
        HINTERNET handle = NULL;
        ASSERT_EQ(1, revoke ? KevoRevoke::HTTP_InternetOpen(&handle, &info) : KevoVerchk::HTTP_InternetOpen(&handle, &info));
        ASSERT_TRUE(handle != NULL);
        DWORD access = 0;
        EXPECT_EQ("proxy.example:8080", QueryProxy(handle, &access));
        EXPECT_EQ((DWORD)INTERNET_OPEN_TYPE_PROXY, access);
        InternetCloseHandle(handle);
    }
    EXPECT_TRUE(Logged("HTTP_InternetOpen: start\n", 10));
    EXPECT_TRUE(Logged("HTTP_InternetOpen: end\n", 10));
}

TEST_F(SettingsTest, InternetHandleFailures)
{
    HINTERNET handle = reinterpret_cast<HINTERNET>(1);
    EXPECT_EQ(0, KevoRevoke::HTTP_InternetOpen(&handle, NULL));
    EXPECT_EQ(NULL, handle);
    EXPECT_TRUE(LoggedPrefix("setInfo:予期せぬエラーが発生しました。(KevoSettings.cpp:")) << Dump();
    EXPECT_EQ(0, KevoVerchk::HTTP_InternetOpen(&handle, NULL));
    EXPECT_TRUE(Logged("引数エラー\n", 20));

    char host[] = "proxy.example";
    SettingInfo info = {};
    info.proxy_type = 2;
    info.proxy_host = host;
    info.proxy_port = 8080;
    KevoSettingsTesting::FailAllocation(1);
    EXPECT_EQ(-406, KevoRevoke::HTTP_InternetOpen(&handle, &info));
    EXPECT_EQ(NULL, handle);
    EXPECT_TRUE(LoggedPrefix("proxy_host:メモリが不足しています。(KevoSettings.cpp:")) << Dump();
    KevoSettingsTesting::FailAllocation(1);
    EXPECT_EQ(-406, KevoVerchk::HTTP_InternetOpen(&handle, &info));
    EXPECT_TRUE(LoggedPrefix("Func: ProxySet failed. rc=-406 file=KevoSettings.cpp line=")) << Dump();
}

}  // namespace

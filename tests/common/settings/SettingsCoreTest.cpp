// The settings decisions that need no platform, table by table.
#include <gtest/gtest.h>

#include <string>

#include "SettingsCore.h"

using namespace kevoset;

TEST(UrlScheme, OnlyLowerCaseHttpAndHttpsAreAccepted)
{
    struct Row {
        const char* url;
        UrlScheme expected;
    } rows[] = {
        {"https://counter.example/", kSchemeHttps},
        {"http://counter.example:8080/x", kSchemeHttp},
        {"HTTPS://counter.example/", kSchemeOther},
        {"Http://counter.example/", kSchemeOther},
        {"ftp://counter.example/", kSchemeOther},
        {"https:/counter.example/", kSchemeOther},
        {"", kSchemeOther},
        {" https://counter.example/", kSchemeOther},
    };
    for (const Row& row : rows)
        EXPECT_EQ(row.expected, ClassifyUrlScheme(row.url)) << row.url;
    EXPECT_EQ(kSchemeOther, ClassifyUrlScheme(NULL));
}

TEST(PathJoin, BackslashIsAddedOnlyWhenTheLastCharacterIsNotOne)
{
    // Narrow literals are Shift-JIS: ソ is 83 5C and 表 is 95 5C.
    struct Row {
        const char* dir;
        const char* expected;
    } rows[] = {
        {"C:\\KEVO", "C:\\KEVO\\a.ini"},
        {"C:\\KEVO\\", "C:\\KEVO\\a.ini"},
        {"C:\\ソ", "C:\\ソ\\a.ini"},
        {"C:\\表", "C:\\表\\a.ini"},
        {"C:\\表\\", "C:\\表\\a.ini"},
        {"C:\\ソフト", "C:\\ソフト\\a.ini"},
        {"C:/KEVO/", "C:/KEVO/\\a.ini"},
    };
    for (const Row& row : rows) {
        char out[64];
        ASSERT_TRUE(JoinPath(row.dir, "a.ini", IsCp932LeadByte, out, sizeof out)) << row.dir;
        EXPECT_STREQ(row.expected, out) << row.dir;
        EXPECT_LE(strlen(out) + 1, JoinedPathSize(row.dir, "a.ini"));
    }
}

TEST(PathJoin, TooSmallBufferGivesEmptyText)
{
    char out[8] = "junk";
    EXPECT_FALSE(JoinPath("C:\\KEVO", "a.ini", IsCp932LeadByte, out, sizeof out));
    EXPECT_STREQ("", out);
    char exact[14];  // "C:\KEVO\a.ini" + terminator
    EXPECT_TRUE(JoinPath("C:\\KEVO", "a.ini", IsCp932LeadByte, exact, sizeof exact));
}

TEST(PathJoin, LeadByteWithoutTrailByteIsASingleCharacter)
{
    // A stray lead byte at the end must not swallow the terminator.
    EXPECT_FALSE(EndsWithBackslash("C:\\\x83", IsCp932LeadByte));
    EXPECT_TRUE(EndsWithBackslash("\x83\x40\\", IsCp932LeadByte));
    EXPECT_FALSE(EndsWithBackslash("", IsCp932LeadByte));
}

TEST(InstallDir, EmptyAndRelativeDirectoriesAreUnusable)
{
    EXPECT_TRUE(IsUsableInstallDir("C:\\Program Files\\KEVO"));
    EXPECT_TRUE(IsUsableInstallDir("z:/kevo"));
    EXPECT_TRUE(IsUsableInstallDir("\\\\server\\share\\KEVO"));
    EXPECT_FALSE(IsUsableInstallDir(""));
    EXPECT_FALSE(IsUsableInstallDir(NULL));
    EXPECT_FALSE(IsUsableInstallDir("KEVO"));
    EXPECT_FALSE(IsUsableInstallDir("C:KEVO"));
    EXPECT_FALSE(IsUsableInstallDir("\\KEVO"));
    EXPECT_FALSE(IsUsableInstallDir("..\\KEVO"));
    EXPECT_FALSE(IsUsableInstallDir("\\\\"));
}

TEST(ProxyChoice, OpenTypeFollowsTypeAndHost)
{
    char host[] = "proxy.example";
    SettingInfo info = {};
    EXPECT_EQ(kOpenPreconfig, SelectOpenType(info));
    info.proxy_type = 2;
    EXPECT_EQ(kOpenDirect, SelectOpenType(info));  // 2 without a host
    info.proxy_host = host;
    EXPECT_EQ(kOpenProxy, SelectOpenType(info));
    info.proxy_type = 1;
    EXPECT_EQ(kOpenDirect, SelectOpenType(info));

    EXPECT_FALSE(IsValidProxyPort(0));
    EXPECT_TRUE(IsValidProxyPort(1));
    EXPECT_TRUE(IsValidProxyPort(65535));
    EXPECT_FALSE(IsValidProxyPort(65536));
    EXPECT_FALSE(IsValidProxyPort(-1));
}

TEST(ProxyChoice, ProxyTextIsHostColonPort)
{
    char out[64];
    ASSERT_TRUE(FormatProxyText("proxy.example", 8080, out, ProxyTextCapacity("proxy.example")));
    EXPECT_STREQ("proxy.example:8080", out);
    ASSERT_TRUE(FormatProxyText("p", 65535, out, ProxyTextCapacity("p")));
    EXPECT_STREQ("p:65535", out);
    EXPECT_FALSE(FormatProxyText("proxy.example", 8080, out, 5));
    EXPECT_STREQ("prox", out);
}

TEST(ProxyChoice, CredentialsNeedUserAndPassword)
{
    char user[] = "alice";
    char pass[] = "secret";
    SettingInfo info = {};
    EXPECT_FALSE(HasProxyCredentials(info));
    info.proxy_ID = user;
    EXPECT_FALSE(HasProxyCredentials(info));
    info.proxy_password = pass;
    EXPECT_TRUE(HasProxyCredentials(info));
}

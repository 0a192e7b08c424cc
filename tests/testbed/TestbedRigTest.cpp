// The platform's HTTP client against the testbed: the version file with the
// reply a test chose, HTTPS trusted through the test CA, the impostor
// refused, the proxy's 407 and the platform's proxy sign-in window.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <sstream>

#include "KevoTestSupport.h"

using namespace kevotest;

namespace {

const std::wstring kProbe = WinePath(KEVO_TESTBED_PROBE);
const std::string kVersionPath = "/reception/verinfo/kevosoft.ver";
const wchar_t kSignInTitle[] = L"ネットワーク用パスワードを入力";
// base64("alice:s3cret"), worked out by hand once.
const std::string kAliceBasic = "Basic YWxpY2U6czNjcmV0";

std::string Url(const char* scheme, int port)
{
    return std::string(scheme) + "://localhost:" + std::to_string(port) + kVersionPath;
}
std::string HttpUrl() { return Url("http", KEVO_TESTBED_HTTP_PORT); }
std::string HttpsUrl() { return Url("https", KEVO_TESTBED_HTTPS_PORT); }
std::string ImpostorUrl() { return Url("https", KEVO_TESTBED_IMPOSTOR_PORT); }
std::string ProxyArg() { return "proxy=localhost:" + std::to_string(KEVO_TESTBED_PROXY_PORT); }

std::string Unhex(const std::string& hex)
{
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out += static_cast<char>(std::strtoul(hex.substr(i, 2).c_str(), NULL, 16));
    return out;
}

typedef std::map<std::string, std::string> Outcome;

class TestbedRigTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(200, TestbedRequest("POST", "/_testbed/reset").status) << "testbed not running";
        dir_ = MakeScratchDir(L"probe");
    }
    void TearDown() override { RemoveTree(dir_); }

    void Option(const std::string& name, const std::string& jsonValue)
    {
        ASSERT_EQ(200, TestbedRequest("POST", "/_testbed/option",
                                      "{\"name\": \"" + name + "\", \"value\": " + jsonValue + "}")
                           .status);
    }
    void RequireAlice()
    {
        Option("proxy_user", "\"alice\"");
        Option("proxy_pass", "\"s3cret\"");
    }
    int Count(const std::string& path)
    {
        return std::atoi(TestbedRequest("GET", "/_testbed/count?path=" + path).body.c_str());
    }
    std::string Last(const std::string& path) { return TestbedRequest("GET", "/_testbed/last?path=" + path).body; }

    std::wstring Args(const std::string& args) { return L"out=" + OutFile() + L" " + Widen(args); }
    std::wstring OutFile() { return dir_ + L"probe.txt"; }
    Outcome ReadOutcome()
    {
        Outcome outcome;
        std::istringstream lines(ReadBytes(OutFile()));
        std::string line;
        while (std::getline(lines, line)) {
            size_t eq = line.find('=');
            if (eq != std::string::npos)
                outcome[line.substr(0, eq)] = line.substr(eq + 1);
        }
        return outcome;
    }
    Outcome Probe(const std::string& args)
    {
        EXPECT_EQ(0, RunProgram(kProbe, Args(args), ProcessOptions(), 90000));
        return ReadOutcome();
    }
    // Runs the probe with the sign-in window enabled and answers the window
    // from this thread: user and password typed in, then OK (button 1) or
    // Cancel (button 2).
    Outcome ProbeWithSignIn(const std::string& args, const std::wstring& user, const std::wstring& password,
                            int button)
    {
        ChildProcess probe;
        EXPECT_TRUE(probe.Start(kProbe, Args(args + " dialog=1"), ProcessOptions()));
        HWND window = WaitForWindow(kSignInTitle, L"#32770", probe.Pid(), 30000);
        EXPECT_TRUE(window != NULL) << "no sign-in window";
        if (window != NULL) {
            SetControlText(window, 1027, user);
            SetControlText(window, 1028, password);
            ClickButton(window, button);
            EXPECT_TRUE(WaitForWindowGone(window, 10000));
        }
        DWORD code = 99;
        EXPECT_TRUE(probe.Wait(60000, &code));
        EXPECT_EQ(0u, code);
        return ReadOutcome();
    }

    std::wstring dir_;
};

TEST_F(TestbedRigTest, VersionFileCarriesTheReplyATestChose)
{
    Outcome plain = Probe("url=" + HttpUrl());
    EXPECT_EQ("200", plain["status1"]);
    EXPECT_EQ("1.0.0.0\r\n", Unhex(plain["body1"]));

    Option("verinfo_body", "\"503 Service Unavailable 9.9.9.9\"");
    Option("verinfo_status", "503");
    Outcome error = Probe("url=" + HttpUrl());
    EXPECT_EQ("503", error["status1"]);
    EXPECT_EQ("503 Service Unavailable 9.9.9.9", Unhex(error["body1"]));
    EXPECT_EQ(2, Count(kVersionPath));
    EXPECT_NE(std::string::npos, Last(kVersionPath).find("\"listener\": \"http\""));
    EXPECT_NE(std::string::npos, Last(kVersionPath).find("\"method\": \"GET\""));

    // A fixed route wins over the handler's options.
    ASSERT_EQ(200, TestbedRequest("POST", "/_testbed/route",
                                  "{\"path\": \"" + kVersionPath +
                                      "\", \"status\": 404, \"body\": \"<html>gone</html>\"}")
                       .status);
    Outcome routed = Probe("url=" + HttpUrl());
    EXPECT_EQ("404", routed["status1"]);
    EXPECT_EQ("<html>gone</html>", Unhex(routed["body1"]));
}

TEST_F(TestbedRigTest, CutOffAndEndlessRepliesReachTheClientAsSuch)
{
    // Headers announce 1000 bytes more than come; the read ends, it does not hang.
    Option("verinfo_body", "\"9.9.9.9\"");
    Option("verinfo_mode", "\"truncate\"");
    Outcome cut = Probe("url=" + HttpUrl() + " timeout=20000");
    EXPECT_EQ("1", cut["done"]);
    EXPECT_EQ("200", cut["status1"]);
    EXPECT_EQ("9.9.9.9", Unhex(cut["body1"]));

    Option("verinfo_mode", "\"drop\"");
    // A connection closed with no reply at all: Wine's client lets the send
    // succeed and then has no status and no body (Windows fails the send).
    Outcome dropped = Probe("url=" + HttpUrl() + " timeout=20000");
    EXPECT_EQ("1", dropped["done"]);
    EXPECT_TRUE(dropped["send1"] == "0" || dropped["status1"] == "0")
        << "send " << dropped["send1"] << " status " << dropped["status1"];
    EXPECT_EQ("", Unhex(dropped["body1"]));

    Option("verinfo_mode", "\"endless\"");
    Option("verinfo_seconds", "20");
    Outcome endless = Probe("url=" + HttpUrl() + " limit=300000");
    EXPECT_EQ("300000", endless["read1"]);
}

TEST_F(TestbedRigTest, HttpsIsTrustedThroughTheTestCaAndTheImpostorIsRefused)
{
    Option("verinfo_body", "\"2.4.0.1\"");
    Outcome trusted = Probe("url=" + HttpsUrl());
    EXPECT_EQ("1", trusted["send1"]) << "error " << trusted["error1"];
    EXPECT_EQ("200", trusted["status1"]);
    EXPECT_EQ("2.4.0.1", Unhex(trusted["body1"]));
    EXPECT_NE(std::string::npos, Last(kVersionPath).find("\"listener\": \"https\""));

    ASSERT_EQ(200, TestbedRequest("POST", "/_testbed/reset").status);
    Outcome impostor = Probe("url=" + ImpostorUrl());
    EXPECT_EQ("0", impostor["send1"]);
    EXPECT_EQ("12045", impostor["error1"]);  // ERROR_INTERNET_INVALID_CA
    EXPECT_EQ(0, Count(kVersionPath)) << "the impostor saw a request";
}

TEST_F(TestbedRigTest, ProxyAsksForCredentialsAndForwardsWithThem)
{
    RequireAlice();
    Option("verinfo_body", "\"9.9.9.9\"");
    Outcome refused = Probe("url=" + HttpUrl() + " " + ProxyArg());
    EXPECT_EQ("407", refused["status1"]);
    EXPECT_EQ(1, Count("proxy:407"));
    EXPECT_EQ(0, Count(kVersionPath)) << "a refused request was forwarded";

    Outcome admitted = Probe("url=" + HttpUrl() + " " + ProxyArg() + " user=alice pass=s3cret");
    EXPECT_EQ("200", admitted["status1"]);
    EXPECT_EQ("9.9.9.9", Unhex(admitted["body1"]));
    EXPECT_NE(std::string::npos, Last("proxy:" + HttpUrl()).find(kAliceBasic));
    // Credentials set on the connection go out only after a challenge: the
    // client's first try is refused and it answers the 407 by itself, so the
    // program sees 200 and the proxy has refused twice in all.
    EXPECT_EQ(2, Count("proxy:407"));
    EXPECT_EQ(3, Count("proxy:*"));
    // The credentials are for the proxy alone.
    EXPECT_EQ(1, Count(kVersionPath));
    EXPECT_EQ(std::string::npos, Last(kVersionPath).find("Proxy-Authorization"));

    Outcome wrong = Probe("url=" + HttpUrl() + " " + ProxyArg() + " user=alice pass=guess");
    EXPECT_EQ("407", wrong["status1"]);
    EXPECT_EQ(1, Count(kVersionPath));
}

TEST_F(TestbedRigTest, HttpsThroughTheProxyTunnelAsksForCredentialsToo)
{
    RequireAlice();
    Option("verinfo_body", "\"3.0.0.0\"");
    const std::string connectTarget = "proxy:localhost:" + std::to_string(KEVO_TESTBED_HTTPS_PORT);
    Outcome refused = Probe("url=" + HttpsUrl() + " " + ProxyArg());
    EXPECT_EQ("407", refused["status1"]);
    EXPECT_EQ(0, Count(kVersionPath));
    EXPECT_NE(std::string::npos, Last(connectTarget).find("\"method\": \"CONNECT\""));

    Outcome admitted = Probe("url=" + HttpsUrl() + " " + ProxyArg() + " user=alice pass=s3cret");
    EXPECT_EQ("200", admitted["status1"]);
    EXPECT_EQ("3.0.0.0", Unhex(admitted["body1"]));
    EXPECT_NE(std::string::npos, Last(connectTarget).find(kAliceBasic));
    EXPECT_NE(std::string::npos, Last(kVersionPath).find("\"listener\": \"https\""));
}

TEST_F(TestbedRigTest, SignInWindowSuppliesCredentialsForTheRetry)
{
    RequireAlice();
    Option("verinfo_body", "\"9.9.9.9\"");
    Outcome http = ProbeWithSignIn("url=" + HttpUrl() + " " + ProxyArg(), L"alice", L"s3cret", IDOK);
    EXPECT_EQ("407", http["status1"]);
    EXPECT_EQ("12032", http["dialog"]);  // ERROR_INTERNET_FORCE_RETRY
    EXPECT_EQ("1", http["request2"]);
    EXPECT_EQ("200", http["status2"]);
    EXPECT_EQ("9.9.9.9", Unhex(http["body2"]));
    EXPECT_NE(std::string::npos, Last("proxy:" + HttpUrl()).find(kAliceBasic));

    Outcome https = ProbeWithSignIn("url=" + HttpsUrl() + " " + ProxyArg(), L"alice", L"s3cret", IDOK);
    EXPECT_EQ("12032", https["dialog"]);
    EXPECT_EQ("200", https["status2"]);
    EXPECT_EQ("9.9.9.9", Unhex(https["body2"]));
}

TEST_F(TestbedRigTest, SignInWindowCancelAndASecondRefusal)
{
    RequireAlice();
    Outcome cancelled = ProbeWithSignIn("url=" + HttpUrl() + " " + ProxyArg(), L"alice", L"s3cret", IDCANCEL);
    EXPECT_EQ("0", cancelled["dialog"]);  // not ERROR_CANCELLED under Wine
    EXPECT_EQ(cancelled.end(), cancelled.find("status2"));

    ASSERT_EQ(200, TestbedRequest("POST", "/_testbed/reset").status);
    RequireAlice();
    Option("proxy_always_407", "true");
    Outcome again = ProbeWithSignIn("url=" + HttpUrl() + " " + ProxyArg(), L"alice", L"s3cret", IDOK);
    EXPECT_EQ("12032", again["dialog"]);
    EXPECT_EQ("407", again["status2"]);
    EXPECT_EQ(0, Count(kVersionPath));
    EXPECT_NE(std::string::npos, Last("proxy:" + HttpUrl()).find(kAliceBasic));
}

}  // namespace

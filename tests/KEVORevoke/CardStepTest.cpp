// The card step under Wine, through the real pieces a citizen's PC has: the
// software card with a certificate made for each case by OpenSSL, the real
// service API library (as "KEVOServiceAPI.dll" in an install directory) over
// the JNI emulation of the service's Java side, and the testbed counter's
// clock. One run of card_probe per case.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "JvmEmuReport.h"
#include "KevoTestSupport.h"

using namespace kevotest;

namespace {

const std::wstring kProbe = WinePath(KEVO_CARD_PROBE);
const std::wstring kServiceLibrary = WinePath(KEVO_SERVICEAPI_DLL);
const std::wstring kNoFreeLibrary = WinePath(KEVO_NOFREE_SERVICEAPI_DLL);
const std::wstring kJvmDll = WinePath(KEVO_JVMEMU_DIR) + L"\\jvm.dll";
const std::wstring kCardCases = WinePath(KEVO_CARD_CASES_DIR) + L"\\";
const std::wstring kProviderKey =
    L"Software\\Microsoft\\Cryptography\\Defaults\\Provider\\KEVO Crypto Service Provider";
const std::string kTimePath = "/reception/servlet/kevo.AccRvRq.servlet.getTime";

// 𠮷 lies outside the BMP and outside Shift-JIS.
const std::string kName = u8"山田\U00020BB7太郎";
const std::string kAddress = u8"東京都千代田区永田町１－２－３";

std::string Field(const std::string& report, const std::string& key)
{
    const std::string marker = key + "=";
    size_t p = report.rfind("\n" + marker);
    p = (p == std::string::npos) ? (report.compare(0, marker.size(), marker) == 0 ? 0 : std::string::npos) : p + 1;
    if (p == std::string::npos)
        return "(absent)";
    p += marker.size();
    return report.substr(p, report.find('\n', p) - p);
}

struct Scenario {
    std::string card = "card_tokyo";  // folder of the software card's cases
    std::vector<std::string> java = {"name=" + kName, "address=" + kAddress, "gender=1", "dateOfBirth=319750415"};
    std::string clock;               // counter clock; empty: the testbed's own
    DWORD failOpen = 0;              // SoftCardFailOpen
    std::string certificate;         // when set: what the card returns as its certificate
    enum { Installed, NoInstallPath, NoLibrary, NoFreeExport } library = Installed;
    // The Java runtime the PC has registered: the emulation, none, or only
    // one built for another machine than the tools'.
    enum { RuntimeRegistered, NoRuntime, OtherMachineRuntime } runtime = RuntimeRegistered;
    // Software\KEVO JvmPath: unset, the VM under another file name, or a
    // jvm.dll that is no VM (the registry reader library renamed).
    enum { NoJvmPath, RenamedVm, NotAVm } jvmPath = NoJvmPath;
};

class CardStepTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetKevoRegistry();
        ResetSoftCardSwitches();
        ASSERT_EQ(200, TestbedRequest("POST", "/_testbed/reset").status);
        dir_ = MakeScratchDir(L"cardstep");
        EnableTrace(20);
    }
    void TearDown() override
    {
        RegisterJavaRuntime(kJvmDll);
        ResetSoftCardSwitches();
        RemoveTree(dir_);
        ResetKevoRegistry();
    }

    // Runs the card step for the scenario; returns the probe's report.
    std::string Run(const Scenario& s)
    {
        // Each case starts from a clean install directory and registry.
        const std::wstring install = dir_ + L"install\\";
        RemoveTree(install);
        CreateDirectoryW(install.c_str(), NULL);
        ResetKevoRegistry();
        EnableTrace(20);
        if (s.library != Scenario::NoInstallPath)
            SetString(HKEY_LOCAL_MACHINE, L"Software\\KEVO", L"InstallPath", ToCp932(install));
        if (s.library == Scenario::Installed)
            CopyFileW(kServiceLibrary.c_str(), (install + L"KEVOServiceAPI.dll").c_str(), FALSE);
        if (s.library == Scenario::NoFreeExport)
            CopyFileW(kNoFreeLibrary.c_str(), (install + L"KEVOServiceAPI.dll").c_str(), FALSE);
        WriteIni(install + L"KEVOValidationInfo.ini",
                 {"[ConfirmSettingInfo]", "url=http://localhost:" + std::to_string(KEVO_TESTBED_HTTP_PORT) + "/"});
        std::wstring card = kCardCases + Widen(s.card) + L"\\";
        if (!s.certificate.empty()) {
            // The case's key with other certificate bytes.
            const std::wstring own = dir_ + L"card\\";
            RemoveTree(own);
            CreateDirectoryW(own.c_str(), NULL);
            CopyFileW((card + L"KEVOSoftCard.key").c_str(), (own + L"KEVOSoftCard.key").c_str(), FALSE);
            WriteBytes(own + L"KEVOSoftCard.cer", s.certificate);
            card = own;
        }
        SetString(HKEY_LOCAL_MACHINE, kProviderKey, L"SoftCardDir", ToCp932(card));
        SetDword(HKEY_LOCAL_MACHINE, kProviderKey, L"SoftCardFailOpen", s.failOpen);
        if (!s.clock.empty()) {
            EXPECT_EQ(200, TestbedRequest("POST", "/_testbed/option",
                                          "{\"name\": \"counter.time\", \"value\": \"" + s.clock + "\"}")
                               .status);
        }

        if (s.runtime == Scenario::OtherMachineRuntime)
            RegisterOtherMachineJavaRuntime(dir_);
        else
            RegisterJavaRuntime(s.runtime == Scenario::NoRuntime ? L"" : kJvmDll);
        if (s.jvmPath != Scenario::NoJvmPath) {
            const std::wstring vm = dir_ + L"vm\\";
            RemoveTree(vm);
            CreateDirectoryW(vm.c_str(), NULL);
            const bool renamed = s.jvmPath == Scenario::RenamedVm;
            const std::wstring file = vm + (renamed ? L"jvm_renamed.dll" : L"jvm.dll");
            const std::wstring regRead = kServiceLibrary.substr(0, kServiceLibrary.rfind(L'\\')) + L"\\KEVORegRead.dll";
            CopyFileW((renamed ? kJvmDll : regRead).c_str(), file.c_str(), FALSE);
            SetString(HKEY_LOCAL_MACHINE, L"Software\\KEVO", L"JvmPath", ToCp932(file));
        }

        std::string scenario;
        for (const std::string& line : s.java)
            scenario += line + "\n";
        WriteBytes(dir_ + L"scenario.txt", scenario);
        DeleteFileW((dir_ + L"traps.txt").c_str());

        ProcessOptions options;
        options.tempDir = dir_;
        options.env[L"KEVO_JVMEMU_SCENARIO"] = dir_ + L"scenario.txt";
        options.env[L"KEVO_JVMEMU_TRAPS"] = dir_ + L"traps.txt";
        const std::wstring result = dir_ + L"result.txt";
        EXPECT_EQ(0, RunProgram(kProbe, L"\"" + result + L"\"", options, 120000));
        // Where the library reached the Java side, it used only what the
        // emulation implements, and released every reference it made.
        const std::string report = ReadBytes(dir_ + L"traps.txt");
        if (!report.empty()) {
            EXPECT_TRUE(jvmemu::Problems(report).empty()) << report;
        }
        return ReadBytes(result);
    }

    std::wstring dir_;
};

TEST_F(CardStepTest, SuccessFillsEveryMember)
{
    const std::string r = Run(Scenario());
    EXPECT_EQ("0", Field(r, "code")) << r;
    EXPECT_EQ(kName, Field(r, "name"));
    EXPECT_EQ(kAddress, Field(r, "address"));
    EXPECT_EQ(u8"男", Field(r, "gender"));
    EXPECT_EQ("319750415", Field(r, "birth"));
    EXPECT_EQ("13", Field(r, "perfcode"));
    EXPECT_EQ(u8"東京都", Field(r, "perfname"));
    EXPECT_NE(std::string::npos, Field(r, "issuer").find("tokyo-to")) << r;
    EXPECT_NE("0", Field(r, "certlength"));
}

TEST_F(CardStepTest, IssuerGenderAndValidity)
{
    struct Case {
        const char* card;
        const char* gender;  // gender line of the Java side
        const char* clock;
        const char* code;
        const char* perfcode;
        const char* perfname;
        const char* genderText;
    };
    const Case cases[] = {
        {"card_twokeys", "gender=2", "", "0", "14", u8"神奈川県", u8"女"},
        {"card_nokey", "gender=0", "", "0", "00", u8"不明", u8"不明"},
        {"card_tokyo", "gender=", "", "0", "13", u8"東京都", u8"不明"},
        // The certificate ends at 2030-12-31 23:59:59 UTC.
        {"card_boundary", "gender=1", "20301231235959", "0", "13", u8"東京都", u8"男"},
        {"card_boundary", "gender=1", "20310101000000", "708", "13", u8"東京都", u8"男"},
        // Starts in 2030 and ended in 2025: not yet valid wins.
        {"card_future", "gender=1", "20260101000000", "709", "13", u8"東京都", u8"男"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.card) + " " + c.clock);
        Scenario s;
        s.card = c.card;
        s.clock = c.clock;
        s.java = {"name=" + kName, "address=" + kAddress, "dateOfBirth=319750415", c.gender};
        const std::string r = Run(s);
        EXPECT_EQ(c.code, Field(r, "code")) << r;
        EXPECT_EQ(c.perfcode, Field(r, "perfcode"));
        EXPECT_EQ(c.perfname, Field(r, "perfname"));
        EXPECT_EQ(c.genderText, Field(r, "gender"));
    }
}

TEST_F(CardStepTest, FailuresOfTheCardTheLibraryAndTheService)
{
    struct Case {
        const char* what;
        Scenario scenario;
        const char* code;
        const char* traced;  // a piece of the error lines, or NULL
    };
    std::vector<Case> cases;
    auto add = [&cases](const char* what, const char* code, void (*change)(Scenario&), const char* traced = NULL) {
        Scenario s;
        change(s);
        cases.push_back({what, s, code, traced});
    };
    add("service out of memory", "-102", [](Scenario& s) { s.java = {"throw=-998"}; });
    add("service refuses the certificate", "705", [](Scenario& s) { s.java = {"throw=-104"}; });
    add("service finds no data", "705", [](Scenario& s) { s.java = {"throw=-902"}; });
    add("library lacks KEVOFreeBasicData", "0", [](Scenario& s) { s.library = Scenario::NoFreeExport; });
    add("PIN prompt cancelled at opening", "700", [](Scenario& s) { s.failOpen = 0x8010006E; });
    add("card locked", "703", [](Scenario& s) { s.failOpen = 0x8010006C; });
    add("card not ready", "704", [](Scenario& s) { s.failOpen = 0x80100010; });
    add("provider fails otherwise", "-105", [](Scenario& s) { s.failOpen = 0x80090016; });
    // A card whose certificate cannot be parsed: the step ends before the
    // service library is asked.
    add("certificate is not DER", "705", [](Scenario& s) { s.certificate = "<html>not a certificate</html>"; });
    add("certificate cut short", "705", [](Scenario& s) { s.certificate = std::string("\x30\x82\x04\x00\x30\x82", 6); });
    add("no install path", "-104", [](Scenario& s) { s.library = Scenario::NoInstallPath; });
    add("library file missing", "-104", [](Scenario& s) { s.library = Scenario::NoLibrary; });
    // The trace names where the runtime was looked for and what was found.
    add("no Java runtime", "-104", [](Scenario& s) { s.runtime = Scenario::NoRuntime; },
        "FindToolsJvm(Software\\KEVO JvmPath, SOFTWARE\\JavaSoft: no runtime registered)");
    add("only a runtime of another machine", "-104", [](Scenario& s) { s.runtime = Scenario::OtherMachineRuntime; },
        sizeof(void*) == 8 ? "Environment\\1.8 RuntimeLib 32-bit;" : "Environment\\1.8 RuntimeLib 64-bit;");
    // A recorded JvmPath counts only as a file named jvm.dll with the VM's
    // entry point: the service library's import binds to that module.
    add("JvmPath names the VM under another name", "-104",
        [](Scenario& s) { s.runtime = Scenario::NoRuntime; s.jvmPath = Scenario::RenamedVm; },
        "Software\\KEVO JvmPath missing or not jvm.dll;");
    add("JvmPath names a jvm.dll that is no VM", "-104",
        [](Scenario& s) { s.runtime = Scenario::NoRuntime; s.jvmPath = Scenario::NotAVm; },
        "(127)(JavaRuntime.cpp:");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string r = Run(c.scenario);
        EXPECT_EQ(c.code, Field(r, "code")) << r;
        const std::string log = ReadLogs(dir_, L"KEVORevoke");
        if (c.traced != NULL) {
            EXPECT_NE(std::string::npos, log.find(c.traced));
        }
        // However the library or its runtime failed to load, the trace has
        // the load's own error line (narrow literals are the log's code page).
        const bool loadFails = c.scenario.library == Scenario::NoLibrary || c.scenario.runtime != Scenario::RuntimeRegistered;
        EXPECT_EQ(loadFails, log.find("LoadLibrary:エラーが発生しました。") != std::string::npos) << log;
    }
}

}  // namespace

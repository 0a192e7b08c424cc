// The SDK's sample as an integrator runs it: built from the staged SDK alone
// (sdk/CMakeLists.txt), for this tree's machine type, it loads the library by
// its full path over the JNI emulation's jvm.dll and prints the records and
// codes that the library's own tests expect; with no jvm.dll to be found the
// library does not load and the sample says so, without a crash.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "JvmEmuReport.h"
#include "KevoTestSupport.h"

using namespace kevotest;

namespace {

std::string WithoutCr(const std::string& text)
{
    std::string out;
    for (char c : text)
        if (c != '\r')
            out.push_back(c);
    return out;
}

struct SampleRun {
    DWORD exitCode = 0;
    std::string out, err;
};

class SdkSample : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ResetKevoRegistry();
        DeleteKeyTree(HKEY_CURRENT_USER, L"Software\\KEVO-Testbed\\jvmemu");
        scratch_ = MakeScratchDir(L"sdksample");
        CreateDirectoryW((scratch_ + L"nojvm").c_str(), NULL);
        WriteBytes(scratch_ + L"cert.der", "certificate");
        SetEnvironmentVariableW(L"TMP", scratch_.c_str());
        SetEnvironmentVariableW(L"TEMP", scratch_.c_str());
        SetEnvironmentVariableW(L"CLASSPATH", NULL);
        SetEnvironmentVariableW(L"KEVO_JVMEMU_SCENARIO", (scratch_ + L"scenario.txt").c_str());
        SetEnvironmentVariableW(L"KEVO_JVMEMU_TRAPS", (scratch_ + L"report.txt").c_str());
    }
    static void TearDownTestSuite() { RemoveTree(scratch_); }

    // The sample with its output in files; every state it reads is in place
    // before it starts (environment above, the scenario file here).
    // Without dllArg the sample finds the library through InstallPath.
    SampleRun Sample(const std::string& scenario, const std::wstring& jvmDir, bool dllArg = true)
    {
        WriteBytes(scratch_ + L"scenario.txt", scenario);
        DeleteFileW((scratch_ + L"report.txt").c_str());
        SECURITY_ATTRIBUTES inherit = {sizeof(inherit), NULL, TRUE};
        const std::wstring outPath = scratch_ + L"out.txt", errPath = scratch_ + L"err.txt";
        HANDLE out = CreateFileW(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, NULL);
        HANDLE err = CreateFileW(errPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, NULL);
        STARTUPINFOW si = {};
        si.cb = sizeof(si);
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        si.hStdOutput = out;
        si.hStdError = err;
        std::wstring command = L"\"" + WinePath(KEVO_SDK_SAMPLE) + L"\" ";
        if (dllArg)
            command += L"--dll \"" + WinePath(KEVO_SERVICEAPI_DLL) + L"\" ";
        command += L"--jvm-dir \"" + jvmDir + L"\" \"" + scratch_ + L"cert.der\"";
        PROCESS_INFORMATION pi = {};
        SampleRun run;
        run.exitCode = 0xdead;
        if (CreateProcessW(NULL, &command[0], NULL, NULL, TRUE, 0, NULL, NULL, &si, &pi)) {
            if (WaitForSingleObject(pi.hProcess, 60000) == WAIT_OBJECT_0)
                GetExitCodeProcess(pi.hProcess, &run.exitCode);
            else
                TerminateProcess(pi.hProcess, 0xdead);
            CloseHandle(pi.hThread);
            CloseHandle(pi.hProcess);
        }
        CloseHandle(out);
        CloseHandle(err);
        run.out = WithoutCr(ReadBytes(outPath));
        run.err = WithoutCr(ReadBytes(errPath));
        return run;
    }

    static std::wstring scratch_;
};
std::wstring SdkSample::scratch_;

}  // namespace

// The scenarios and records of the library's tests over the emulation, each
// as the sample prints it; the emulated VM reports no trap, misuse or leak.
TEST_F(SdkSample, PrintsTheLibrarysRecordsAndCodes)
{
    struct Case {
        const char* scenario;
        const char* printed;
    } cases[] = {
        {"",
         u8"KEVOGetBasicData: 0\nname: 山田太郎\naddress: 東京都千代田区霞が関一丁目一番地\ngender: 1\n"
         u8"dateOfBirth: 19700401\nsubstituteCharacterOfName: 0\nsubstituteCharacterOfAddress: 0\n"
         u8"KEVOFreeBasicData: 0\nKEVOCertValid: 0 certPathStatus 0 responseStatus 0\nKEVOConfirm: 200\n"},
        // Outside the BMP: the name as UTF-16 surrogates, turned into UTF-8
        // by the sample; the narrow field as the service's modified UTF-8.
        {u8"name=𠮷野 花子\naddress=東京都千代田区𠀋町1-2\ngender=2\ndateOfBirth=19991231\n"
         u8"substituteCharacterOfName=𠮷\ncertStatus=5\ncertPathStatus=6\nresponseStatus=7\nconfirmCode=201\n",
         u8"KEVOGetBasicData: 0\nname: 𠮷野 花子\naddress: 東京都千代田区𠀋町1-2\ngender: 2\n"
         u8"dateOfBirth: 19991231\nsubstituteCharacterOfName: \xed\xa1\x82\xed\xbe\xb7\n"
         u8"substituteCharacterOfAddress: 0\n"
         u8"KEVOFreeBasicData: 0\nKEVOCertValid: 5 certPathStatus 6 responseStatus 7\nKEVOConfirm: 201\n"},
        {"throw=-104",
         "KEVOGetBasicData: -103\nKEVOFreeBasicData: 0\nKEVOCertValid: -3 certPathStatus 0 responseStatus 0\n"
         "KEVOConfirm: -104\n"},
        {"throw=-105",
         "KEVOGetBasicData: -104\nKEVOFreeBasicData: 0\nKEVOCertValid: -4 certPathStatus 0 responseStatus 0\n"
         "KEVOConfirm: -104\n"},
        {"substituteCharacterOfAddress=@null",
         "KEVOGetBasicData: -101\nKEVOFreeBasicData: 0\nKEVOCertValid: 0 certPathStatus 0 responseStatus 0\n"
         "KEVOConfirm: 200\n"},
    };
    for (const Case& c : cases) {
        SampleRun run = Sample(c.scenario, WinePath(KEVO_JVMEMU_DIR));
        EXPECT_EQ(0u, run.exitCode) << c.scenario << "\n" << run.err;
        EXPECT_EQ(c.printed, run.out) << c.scenario;
        EXPECT_EQ("", run.err) << c.scenario;
        EXPECT_EQ(std::vector<std::string>(), jvmemu::Problems(ReadBytes(scratch_ + L"report.txt"))) << c.scenario;
    }
}

// No jvm.dll on the search path: the library's import cannot be resolved, so
// loading it fails with "module not found" and the host carries on.
TEST_F(SdkSample, WithoutJvmTheLibraryDoesNotLoad)
{
    SampleRun run = Sample("", scratch_ + L"nojvm");
    EXPECT_EQ(2u, run.exitCode);
    EXPECT_EQ("", run.out);
    EXPECT_EQ("kevo_sample: the library does not load (error 126)\n", run.err);
}

// As an installed host finds the library: the install folder (here with a
// trailing backslash) from InstallPath in the program's own registry view.
TEST_F(SdkSample, FindsTheLibraryThroughInstallPath)
{
    std::wstring folder = WinePath(KEVO_SERVICEAPI_DLL);
    folder.resize(folder.rfind(L'\\') + 1);
    struct Case {
        bool installed;
        DWORD exitCode;
        const char* firstLine;
        const char* err;
    } cases[] = {
        {true, 0, "KEVOGetBasicData: 0\n", ""},
        {false, 2, "", "kevo_sample: no InstallPath in HKLM\\SOFTWARE\\KEVO; name the library with --dll\n"},
    };
    for (const Case& c : cases) {
        ResetKevoRegistry();
        if (c.installed)
            SetString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\KEVO", L"InstallPath", ToCp932(folder));
        SampleRun run = Sample("", WinePath(KEVO_JVMEMU_DIR), false);
        EXPECT_EQ(c.exitCode, run.exitCode) << c.installed;
        EXPECT_EQ(c.firstLine, run.out.substr(0, run.out.find('\n') + 1)) << c.installed;
        EXPECT_EQ(c.err, run.err) << c.installed;
    }
    ResetKevoRegistry();
}

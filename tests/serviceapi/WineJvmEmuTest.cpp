// The Windows library over the JNI emulation's jvm.dll: the service's Java
// side answers as the scenario file of each case says, and the emulated
// VM's report must show no trap, no misuse and no leaked reference after
// every call. The library is loaded once for the process: once a VM runs it
// stays (see serviceapi/README.md).
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "JvmEmuReport.h"
#include "KEVOServiceAPI.h"
#include "KevoTestSupport.h"
#include "WineServiceLibrary.h"

using namespace kevotest;

namespace {

const wchar_t kEmuKey[] = L"Software\\KEVO-Testbed\\jvmemu";
const std::vector<std::string> kClean;

std::wstring Wide(const uint16_t* field)
{
    std::wstring out;
    for (const uint16_t* p = field; p != NULL && *p != 0; ++p)
        out.push_back(static_cast<wchar_t>(*p));
    return out;
}

bool AllNull(const KEVOBasicData& r)
{
    return r.name == NULL && r.address == NULL && r.gender == NULL && r.dateOfBirth == NULL &&
           r.substituteCharacterOfName == NULL && r.substituteCharacterOfAddress == NULL;
}

class JvmEmuWine : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ResetKevoRegistry();
        DeleteKeyTree(HKEY_CURRENT_USER, kEmuKey);
        EnableTrace(20);
        scratch_ = MakeScratchDir(L"jvmemu");
        SetEnvironmentVariableW(L"TMP", scratch_.c_str());
        SetEnvironmentVariableW(L"TEMP", scratch_.c_str());
        SetEnvironmentVariableW(L"CLASSPATH", NULL);
        SetEnvironmentVariableW(L"KEVO_JVMEMU_SCENARIO", (scratch_ + L"scenario.txt").c_str());
        SetEnvironmentVariableW(L"KEVO_JVMEMU_TRAPS", (scratch_ + L"report.txt").c_str());
        loaded_ = library_.Load(WinePath(KEVO_SERVICEAPI_DLL), WinePath(KEVO_JVMEMU_DIR));
    }
    static void TearDownTestSuite()
    {
        RemoveTree(scratch_);
        DeleteKeyTree(HKEY_CURRENT_USER, kEmuKey);
        ResetKevoRegistry();
    }
    void SetUp() override { ASSERT_TRUE(loaded_) << GetLastError(); }

    void Scenario(const std::string& utf8)
    {
        WriteBytes(scratch_ + L"scenario.txt", utf8);
        DeleteFileW((scratch_ + L"report.txt").c_str());
    }
    std::vector<std::string> Problems() { return jvmemu::Problems(ReadBytes(scratch_ + L"report.txt")); }
    std::string Log()
    {
        std::string out;
        for (char c : ReadLogs(scratch_, L"kevousercert"))
            if (c != '\r')
                out.push_back(c);
        return out;
    }
    int32_t GetBasic(KEVOBasicData* record)
    {
        std::string bytes = "certificate";
        KEVOBinaryData cert = {static_cast<uint32_t>(bytes.size()), reinterpret_cast<unsigned char*>(&bytes[0])};
        KEVOBasicData junk = {NULL, NULL, const_cast<char*>("junk"), NULL, NULL, NULL};
        *record = junk;
        return library_.getBasicData(&cert, record);
    }

    static std::wstring scratch_;
    static WineServiceLibrary library_;
    static bool loaded_;
};
std::wstring JvmEmuWine::scratch_;
WineServiceLibrary JvmEmuWine::library_;
bool JvmEmuWine::loaded_ = false;

}  // namespace

TEST_F(JvmEmuWine, BasicDataKeepsSurrogatePairs)
{
    Scenario(u8"name=𠮷野 花子\naddress=東京都千代田区𠀋町1-2\ngender=2\ndateOfBirth=19991231\n"
             u8"substituteCharacterOfName=𠮷\nsubstituteCharacterOfAddress=0\n");
    KEVOBasicData record;
    ASSERT_EQ(0, GetBasic(&record));
    EXPECT_EQ(std::wstring(L"\xd842\xdfb7\x91ce \x82b1\x5b50"), Wide(record.name));
    // Outside the macro: its text of the arguments is narrow, and 𠀋 has
    // no Shift-JIS form.
    const std::wstring address = Widen(u8"東京都千代田区𠀋町1-2");
    EXPECT_EQ(address, Wide(record.address));
    EXPECT_STREQ("2", record.gender);
    EXPECT_STREQ("19991231", record.dateOfBirth);
    EXPECT_STREQ("\xed\xa1\x82\xed\xbe\xb7", record.substituteCharacterOfName);
    EXPECT_STREQ("0", record.substituteCharacterOfAddress);
    EXPECT_EQ(kClean, Problems());
    // The VM keeps off the host's console events and current folder.
    EXPECT_EQ("option -Xrs\noption -XX:ErrorFile=" + ToCp932(scratch_) + "hs_err_pid%p.log\nleaked 0\nlive 0\nunreleased 0\n",
              ReadBytes(scratch_ + L"report.txt"));
    EXPECT_EQ(0, library_.freeBasicData(&record));
    EXPECT_TRUE(AllNull(record));
    std::string log = Log();
    EXPECT_NE(std::string::npos, log.find("Call DeleteLocalRef\n")) << log;
    EXPECT_NE(std::string::npos, log.find("End ExceptionCheck\n")) << log;
}

TEST_F(JvmEmuWine, ServiceFailuresGiveEachExportsCode)
{
    struct Case {
        const char* scenario;
        int32_t basic, valid, confirm;
    } cases[] = {
        {"throw=-104", -103, -3, -104},
        {"throw=-105", -104, -4, -104},
        {"throw=-902", -101, -3, -101},
        {"throw=-998", -102, -2, -102},
        {"oom=GetStringChars", -102, 0, 200},
        {"exception=service down", -104, -4, -104},
        {"result=null", -104, -4, -104},
    };
    std::string bytes = "certificate";
    KEVOBinaryData cert = {static_cast<uint32_t>(bytes.size()), reinterpret_cast<unsigned char*>(&bytes[0])};
    for (const Case& c : cases) {
        Scenario(c.scenario);
        KEVOBasicData record;
        EXPECT_EQ(c.basic, GetBasic(&record)) << c.scenario;
        EXPECT_TRUE(AllNull(record)) << c.scenario;
        int32_t path = 5, response = 6;
        EXPECT_EQ(c.valid, library_.certValid(&cert, &path, &response)) << c.scenario;
        EXPECT_EQ(c.confirm, library_.confirm(&cert)) << c.scenario;
        EXPECT_EQ(kClean, Problems()) << c.scenario;
    }
}

// Without the environment variable the emulation takes the scenario's path
// from the registry.
TEST_F(JvmEmuWine, ScenarioNamedInTheRegistry)
{
    std::wstring other = scratch_ + L"registry-scenario.txt";
    WriteBytes(other, u8"name=登録簿\n");
    SetString(HKEY_CURRENT_USER, kEmuKey, L"Scenario", ToCp932(other));
    SetEnvironmentVariableW(L"KEVO_JVMEMU_SCENARIO", NULL);
    KEVOBasicData record;
    int32_t rc = GetBasic(&record);
    SetEnvironmentVariableW(L"KEVO_JVMEMU_SCENARIO", (scratch_ + L"scenario.txt").c_str());
    ASSERT_EQ(0, rc);
    EXPECT_EQ(Widen(u8"登録簿"), Wide(record.name));
    library_.freeBasicData(&record);
}

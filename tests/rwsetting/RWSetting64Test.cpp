// The reader/writer setting tool in the 64-bit prefix, where the 32-bit tool
// must write its values a second time under Wow6432Node.
#include "RWSettingFixture.h"

using namespace kevotest;
using namespace rwtest;

namespace {
std::string Dword(DWORD v) { return std::string(reinterpret_cast<const char*>(&v), 4); }
}

TEST_F(RWSettingTest, PrefixIsSixtyFourBit)
{
    SYSTEM_INFO info = {};
    GetNativeSystemInfo(&info);
    ASSERT_EQ(PROCESSOR_ARCHITECTURE_AMD64, info.wProcessorArchitecture);
}

TEST_F(RWSettingTest, SaveWritesBothKeys)
{
    EnableTrace(20);
    UseStandIn({"Reader A", "Reader B"});
    HWND dialog = StartTool();
    ASSERT_TRUE(dialog != NULL);
    ClickButton(dialog, 1007);
    ASSERT_TRUE(WaitUntil([&] { return Enabled(dialog, 1015); }));
    SendMessageW(GetDlgItem(dialog, 1015), CB_SETCURSEL, 1, 0);
    SaveExpectingSuccess(dialog);
    for (const wchar_t* key : {kKevoKey, kWowKey}) {
        NarrowValue name = GetNarrow(key, "Name");
        EXPECT_EQ((DWORD)REG_SZ, name.type);
        EXPECT_EQ(std::string("Reader B\0", 9), name.bytes);
        NarrowValue type = GetNarrow(key, "RWType");
        EXPECT_EQ((DWORD)REG_DWORD, type.type);
        EXPECT_EQ(Dword(1), type.bytes);
        EXPECT_FALSE(GetNarrow(key, "Port").present);
    }
    // The current user's software key is shared by both registry views.
    EXPECT_TRUE(GetValue(HKEY_CURRENT_USER, kWowKey, L"RWType", KEY_WOW64_64KEY).present);
    std::string log = Logs();
    EXPECT_NE(std::string::npos, log.find("GetNativeSystemInfo\r\n")) << log;
    EXPECT_NE(std::string::npos, log.find("64bitOS\r\n")) << log;
    size_t start = log.find("set Wow6432Node start\r\n");
    ASSERT_NE(std::string::npos, start) << log;
    EXPECT_NE(std::string::npos, log.find("set Wow6432Node end\r\n", start)) << log;
}

TEST_F(RWSettingTest, FailingSecondPassShows110Then109AndCloses)
{
    EnableTrace(20);
    // A volatile key in the way: the non-volatile KEVO key cannot go below it.
    DeleteKeyTree(HKEY_CURRENT_USER, L"SOFTWARE\\Wow6432Node");
    HKEY blocker;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, L"SOFTWARE\\Wow6432Node", 0, NULL,
                                             REG_OPTION_VOLATILE, KEY_ALL_ACCESS, NULL, &blocker, NULL));
    RegCloseKey(blocker);
    HWND dialog = StartTool();
    ASSERT_TRUE(dialog != NULL);
    ClickButton(dialog, 1009);
    ASSERT_TRUE(WaitUntil([&] { return Enabled(dialog, 1016); }));
    SendMessageW(GetDlgItem(dialog, 1016), CB_SETCURSEL, 1, 0);
    ClickButton(dialog, IDOK);
    EXPECT_EQ(RegistryErrorMessage(ERROR_CHILD_MUST_BE_VOLATILE), AnswerMessageBox(WaitForMessageBox(child_.Pid())));
    EXPECT_EQ(kMessageSaved, AnswerMessageBox(WaitForMessageBox(child_.Pid())));
    EXPECT_TRUE(WaitForExit());
    EXPECT_EQ(std::string("USB102\0", 7), GetNarrow(kKevoKey, "Port").bytes);
    EXPECT_EQ(Dword(2), GetNarrow(kKevoKey, "RWType").bytes);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kWowKey));
    DeleteKeyTree(HKEY_CURRENT_USER, L"SOFTWARE\\Wow6432Node");
    std::string log = Logs();
    size_t start = log.find("set Wow6432Node start\r\n");
    ASSERT_NE(std::string::npos, start) << log;
    EXPECT_NE(std::string::npos, log.find("RegCreateKeyEx fail: result=0x000003fd\r\n", start)) << log;
    EXPECT_EQ(std::string::npos, log.find("set Wow6432Node end")) << log;
}

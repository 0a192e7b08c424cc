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
    // Read through the 64-bit view: once HKCU\Software\Wow6432Node exists,
    // Wine shows a 32-bit program that key in place of HKCU\Software.
    for (const wchar_t* key : {kKevoKey, kWowKey}) {
        NarrowValue name = GetNarrow(key, "Name", KEY_WOW64_64KEY);
        EXPECT_EQ((DWORD)REG_SZ, name.type);
        EXPECT_EQ(std::string("Reader B\0", 9), name.bytes);
        NarrowValue type = GetNarrow(key, "RWType", KEY_WOW64_64KEY);
        EXPECT_EQ((DWORD)REG_DWORD, type.type);
        EXPECT_EQ(Dword(1), type.bytes);
        EXPECT_FALSE(GetNarrow(key, "Port", KEY_WOW64_64KEY).present);
    }
    std::string log = Logs();
    EXPECT_NE(std::string::npos, log.find("GetNativeSystemInfo\r\n")) << log;
    EXPECT_NE(std::string::npos, log.find("64bitOS\r\n")) << log;
    size_t start = log.find("set Wow6432Node start\r\n");
    ASSERT_NE(std::string::npos, start) << log;
    EXPECT_NE(std::string::npos, log.find("set Wow6432Node end\r\n", start)) << log;
}

TEST_F(RWSettingTest, AutomaticSaveWritesRWTypeAloneInBothKeys)
{
    SetDword(HKEY_CURRENT_USER, kKevoKey, L"RWType", 2);
    SetNarrowString(kKevoKey, "Name", "Keep Me");
    SetNarrowString(kKevoKey, "Port", "COM4");
    HWND dialog = StartTool();
    ASSERT_TRUE(dialog != NULL);
    EXPECT_TRUE(Checked(dialog, 1009));
    EXPECT_EQ(L"COM4", WindowText(GetDlgItem(dialog, 1016)));
    ClickButton(dialog, 1018);
    ASSERT_TRUE(WaitUntil([&] { return !Enabled(dialog, 1016); }));
    SaveExpectingSuccess(dialog);
    EXPECT_EQ(Dword(0), GetNarrow(kKevoKey, "RWType", KEY_WOW64_64KEY).bytes);
    EXPECT_EQ(std::string("Keep Me\0", 8), GetNarrow(kKevoKey, "Name", KEY_WOW64_64KEY).bytes);
    EXPECT_EQ(std::string("COM4\0", 5), GetNarrow(kKevoKey, "Port", KEY_WOW64_64KEY).bytes);
    EXPECT_EQ(Dword(0), GetNarrow(kWowKey, "RWType", KEY_WOW64_64KEY).bytes);
    EXPECT_FALSE(GetNarrow(kWowKey, "Name", KEY_WOW64_64KEY).present);
    EXPECT_FALSE(GetNarrow(kWowKey, "Port", KEY_WOW64_64KEY).present);
}

TEST_F(RWSettingTest, PolicyIsReadInTheSixtyFourBitView)
{
    // Group Policy writes the 64-bit view, which the 32-bit tool asks for.
    // Wine 8 keeps Software\Policies as one key for both views, so this run
    // shows the value found from the 32-bit tool, not the view it asked for.
    SetDword(HKEY_LOCAL_MACHINE, kPolicyKey, L"RWType", 2, KEY_WOW64_64KEY);
    HWND dialog = StartTool();
    ASSERT_TRUE(dialog != NULL);
    EXPECT_TRUE(Checked(dialog, 1009));
    EXPECT_FALSE(Enabled(dialog, 1018));
    EXPECT_FALSE(Enabled(dialog, IDOK));
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(dialog, 1020)));
    ClickButton(dialog, IDCANCEL);
    EXPECT_TRUE(WaitForExit());
}

// The tool's decisions without a window, and the port list's initialisation
// data as the built program carries it.
#include <gtest/gtest.h>
#include <windows.h>

#include "DlgInitData.h"
#include "KevoTestSupport.h"
#include "RWSettingLogic.h"

using namespace rwsetting;

TEST(RWSettingLogic, StoredTypeToKind)
{
    EXPECT_EQ(kKindPcsc, KindFromRWType(1));
    EXPECT_EQ(kKindNmda, KindFromRWType(2));
    for (unsigned long v : {0ul, 3ul, 7ul, 0xFFFFFFFFul, 0x101ul})
        EXPECT_EQ(kKindAuto, KindFromRWType(v)) << v;
}

TEST(RWSettingLogic, ControlStatesPerKind)
{
    EXPECT_TRUE(ControlStatesFor(kKindPcsc).readerList);
    EXPECT_FALSE(ControlStatesFor(kKindPcsc).portList);
    EXPECT_FALSE(ControlStatesFor(kKindNmda).readerList);
    EXPECT_TRUE(ControlStatesFor(kKindNmda).portList);
    EXPECT_FALSE(ControlStatesFor(kKindAuto).readerList);
    EXPECT_FALSE(ControlStatesFor(kKindAuto).portList);
}

TEST(RWSettingLogic, MultiStringSplitStaysInsideItsData)
{
    const char data[] = "Reader A\0Reader B\0\0garbage";
    std::vector<std::string> names = SplitMultiString(data, 19);
    ASSERT_EQ(2u, names.size());
    EXPECT_EQ("Reader A", names[0]);
    EXPECT_EQ("Reader B", names[1]);
    // Cut short by its reported length: no read past it.
    names = SplitMultiString("Reader AXXXX", 8);
    ASSERT_EQ(1u, names.size());
    EXPECT_EQ("Reader A", names[0]);
    EXPECT_TRUE(SplitMultiString("\0\0", 2).empty());
    EXPECT_TRUE(SplitMultiString(NULL, 10).empty());
    EXPECT_TRUE(SplitMultiString("abc", 0).empty());
}

TEST(RWSettingLogic, FixedBufferNeedsItsTerminator)
{
    std::string text;
    char full[7] = {'U', 'S', 'B', '1', '0', '1', '1'};
    EXPECT_FALSE(TerminatedText(full, sizeof full, text));
    char fits[7] = {'U', 'S', 'B', '1', '0', '1', '\0'};
    ASSERT_TRUE(TerminatedText(fits, sizeof fits, text));
    EXPECT_EQ("USB101", text);
    char empty[7] = {};
    ASSERT_TRUE(TerminatedText(empty, sizeof empty, text));
    EXPECT_EQ("", text);
}

TEST(RWSettingLogic, SixtyFourBitOnlyForAmd64)
{
    EXPECT_TRUE(IsAmd64Architecture(9));
    EXPECT_FALSE(IsAmd64Architecture(0));   // x86
    EXPECT_FALSE(IsAmd64Architecture(6));   // IA64
    EXPECT_FALSE(IsAmd64Architecture(12));  // ARM64
}

TEST(RWSettingLogic, SavePassWritesOnlyTheChosenKind)
{
    std::vector<RegWrite> w;
    ASSERT_EQ(kPlanWrite, PlanSavePass(kKindPcsc, "Reader A", "COM1", w));
    ASSERT_EQ(2u, w.size());
    EXPECT_EQ("Name", w[0].name);
    EXPECT_EQ(1ul, w[0].type);
    EXPECT_EQ(std::string("Reader A\0", 9), w[0].bytes);
    EXPECT_EQ("RWType", w[1].name);
    EXPECT_EQ(4ul, w[1].type);
    EXPECT_EQ(std::string("\1\0\0\0", 4), w[1].bytes);

    ASSERT_EQ(kPlanWrite, PlanSavePass(kKindNmda, "", "COM3", w));
    ASSERT_EQ(2u, w.size());
    EXPECT_EQ("Port", w[0].name);
    EXPECT_EQ(std::string("COM3\0", 5), w[0].bytes);
    EXPECT_EQ(std::string("\2\0\0\0", 4), w[1].bytes);

    ASSERT_EQ(kPlanWrite, PlanSavePass(kKindAuto, "Reader A", "COM3", w));
    ASSERT_EQ(1u, w.size());
    EXPECT_EQ("RWType", w[0].name);
    EXPECT_EQ(std::string(4, '\0'), w[0].bytes);

    EXPECT_EQ(kPlanNoReader, PlanSavePass(kKindPcsc, "", "COM1", w));
    EXPECT_TRUE(w.empty());
    EXPECT_EQ(kPlanNoKind, PlanSavePass(kKindNone, "Reader A", "COM1", w));
    EXPECT_TRUE(w.empty());
}

TEST(DlgInitData, ParsesRecordsAndRejectsTruncation)
{
    const unsigned char data[] = {0xF8, 0x03, 0x03, 0x04, 3, 0, 0, 0, 'A', 'B', 0,
                                  0xF8, 0x03, 0x01, 0x04, 2, 0, 0, 0, 'C', 'D',  // no zero: whole data
                                  0, 0};
    std::vector<kevoui::DlgInitItem> items;
    ASSERT_TRUE(kevoui::ParseDlgInit(data, sizeof data, items));
    ASSERT_EQ(2u, items.size());
    EXPECT_EQ(1016, items[0].controlId);
    EXPECT_EQ(0x403u, items[0].message);
    EXPECT_EQ("AB", items[0].text);
    EXPECT_EQ(0x401u, items[1].message);
    EXPECT_EQ("CD", items[1].text);
    // A length running past the end, a missing end mark, a cut header.
    EXPECT_FALSE(kevoui::ParseDlgInit(data, 15, items));
    EXPECT_EQ(1u, items.size());
    EXPECT_FALSE(kevoui::ParseDlgInit(data, sizeof data - 2, items));
    EXPECT_FALSE(kevoui::ParseDlgInit(data, 5, items));
    EXPECT_TRUE(items.empty());
    EXPECT_FALSE(kevoui::ParseDlgInit(data, 0, items));
}

TEST(DlgInitData, ProgramCarriesThePortList)
{
    HMODULE exe = LoadLibraryExW(kevotest::WinePath(KEVO_RWSETTING_EXE).c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(exe != NULL);
    HRSRC found = FindResourceW(exe, MAKEINTRESOURCEW(130), MAKEINTRESOURCEW(240));
    ASSERT_TRUE(found != NULL);
    const unsigned char* data = static_cast<const unsigned char*>(LockResource(LoadResource(exe, found)));
    std::vector<kevoui::DlgInitItem> items;
    ASSERT_TRUE(kevoui::ParseDlgInit(data, SizeofResource(exe, found), items));
    const char* expected[] = {"USB101", "USB102", "COM1", "COM2", "COM3", "COM4"};
    ASSERT_EQ(6u, items.size());
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(1016, items[i].controlId);
        EXPECT_EQ(0x403u, items[i].message);
        EXPECT_EQ(expected[i], items[i].text);
    }
    FreeLibrary(exe);
}

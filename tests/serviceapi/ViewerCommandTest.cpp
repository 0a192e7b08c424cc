// The viewer command's names, command line and result code, as bytes.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "ServiceApiCodes.h"
#include "ViewerCommand.h"

TEST(ViewerCommand, TemporaryFileNames)
{
    KevoUtcTime t = {2026, 12, 7, 9, 5, 3, 42};
    char name[KEVO_UCS_NAME_CAPACITY];
    ASSERT_TRUE(KevoFormatTempFileName(name, sizeof name, "C:\\TEMP\\", t, "cer"));
    EXPECT_STREQ("C:\\TEMP\\kevo202612070905030042cer.dat", name);
    EXPECT_EQ(static_cast<size_t>(KEVO_UCS_NAME_TAIL_LENGTH), strlen(name) - strlen("C:\\TEMP\\"));
    KevoUtcTime late = {1999, 1, 31, 23, 59, 59, 999};
    ASSERT_TRUE(KevoFormatTempFileName(name, sizeof name, "D:\\t\\", late, "ret"));
    EXPECT_STREQ("D:\\t\\kevo199901312359590999ret.dat", name);
    // Too small: refused and left empty, never cut.
    char small[20];
    EXPECT_FALSE(KevoFormatTempFileName(small, sizeof small, "C:\\TEMP\\", t, "cer"));
    EXPECT_STREQ("", small);
}

TEST(ViewerCommand, CommandLineBytes)
{
    char command[KEVO_UCS_COMMAND_CAPACITY];
    ASSERT_TRUE(KevoBuildViewerCommand(command, sizeof command, "C:\\T\\a cer.dat", "C:\\T\\b.dat"));
    EXPECT_STREQ("java.exe  kevo.appli.KEVOUserCertServiceMain \"C:\\T\\a cer.dat\" \"C:\\T\\b.dat\"", command);

    // The longest pair of names that fits, and one byte more.
    std::string head = "java.exe  kevo.appli.KEVOUserCertServiceMain ";
    size_t room = KEVO_UCS_COMMAND_CAPACITY - 1 - head.size() - 5;
    std::string a(room / 2, 'a'), b(room - room / 2, 'b');
    ASSERT_TRUE(KevoBuildViewerCommand(command, sizeof command, a.c_str(), b.c_str()));
    EXPECT_EQ(static_cast<size_t>(KEVO_UCS_COMMAND_CAPACITY - 1), strlen(command));
    std::string longer = b + "b";
    EXPECT_FALSE(KevoBuildViewerCommand(command, sizeof command, a.c_str(), longer.c_str()));
    EXPECT_STREQ("", command);
}

TEST(ViewerCommand, TemporaryDirectoryLimit)
{
    // 2 x (dir + 29) + 50 fixed bytes + terminator <= 584.
    EXPECT_TRUE(KevoTempDirFitsCommand(3));
    EXPECT_TRUE(KevoTempDirFitsCommand(237));
    EXPECT_FALSE(KevoTempDirFitsCommand(238));
    EXPECT_FALSE(KevoTempDirFitsCommand(259));
}

TEST(ViewerCommand, ResultCodeIsBigEndianSigned)
{
    struct Case {
        unsigned char bytes[4];
        int32_t code;
    } cases[] = {{{0, 0, 0, 0}, 0},          {{0xff, 0xff, 0xff, 0x97}, -105}, {{0xff, 0xff, 0xff, 0x98}, -104},
                 {{0xff, 0xff, 0xfc, 0x7a}, -902}, {{0xff, 0xff, 0xfc, 0x1a}, -998}, {{0, 0, 0, 1}, 1},
                 {{0x80, 0, 0, 0}, INT32_MIN}, {{0x12, 0x34, 0x56, 0x78}, 0x12345678}};
    for (const Case& c : cases)
        EXPECT_EQ(c.code, KevoDecodeResultCode(c.bytes));
}

// Each table row by row, the rows' neighbours falling to the last row.
TEST(ResultTables, EachExportsMapping)
{
    struct Row {
        int32_t in, basic, valid, confirm, viewer;
    } rows[] = {
        {0, 0, 0, 0, 0},
        {-902, -101, -3, -101, -101},
        {-998, -102, -2, -102, -102},
        {-104, -103, -3, -104, -103},
        {-105, -104, -4, -104, -105},
        {-999, -104, -4, -104, -104},
        {-997, -104, -4, -104, -104},
        {-901, -104, -4, -104, -104},
        {200, -104, 200, 200, -104},
        {1, -104, 1, 1, -104},
        {-103, -104, -103, -103, -104},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(r.basic, KEVO_JVM_MappingReturnCodeGetBasicData(r.in)) << r.in;
        EXPECT_EQ(r.valid, KEVO_JVM_MappingReturnCodeCertValid(r.in)) << r.in;
        EXPECT_EQ(r.confirm, KEVO_JVM_MappingReturnCodeConfirm(r.in)) << r.in;
        EXPECT_EQ(r.viewer, KEVO_UCS_MapCode(r.in)) << r.in;
    }
}

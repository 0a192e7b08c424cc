// The machine policy reader against the prefix's registry: which stored
// values count, and that a value of another type or size counts as not set.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "KevoPolicy.h"
#include "KevoTestSupport.h"

using namespace kevotest;

namespace {

// Through the narrow API, as the programs read it: text values are stored
// converted from the system's code page, exactly these bytes otherwise.
void SetNarrow(const char* name, DWORD type, const std::string& bytes)
{
    HKEY key = NULL;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Policies\\KEVO", 0, NULL, 0,
                                             KEY_SET_VALUE | PolicyView(), NULL, &key, NULL));
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                            static_cast<DWORD>(bytes.size())));
    RegCloseKey(key);
}

class PolicyTest : public ::testing::Test {
protected:
    void SetUp() override { ResetKevoRegistry(); }
    void TearDown() override { ResetKevoRegistry(); }
};

}  // namespace

TEST_F(PolicyTest, StoredValuesAsTheProgramsTakeThem)
{
    struct Row {
        const char* what;
        DWORD type;
        std::string bytes;
        bool dword;           // read as a number, else as text
        bool counts;
        DWORD number;
        std::string text;
    };
    const Row rows[] = {
        {"dword", REG_DWORD, std::string("\x0a\0\0\0", 4), true, true, 10, ""},
        {"dword zero", REG_DWORD, std::string(4, '\0'), true, true, 0, ""},
        {"dword of two bytes", REG_DWORD, std::string("\x01\0", 2), true, false, 0, ""},
        {"qword", REG_QWORD, std::string(8, '\0'), true, false, 0, ""},
        {"binary of four bytes", REG_BINARY, std::string(4, '\0'), true, false, 0, ""},
        {"number as text", REG_SZ, std::string("0\0", 2), true, false, 0, ""},
        {"empty dword", REG_DWORD, "", true, false, 0, ""},
        {"text", REG_SZ, std::string("proxy.example\0", 14), false, true, 0, "proxy.example"},
        {"text without its zero", REG_SZ, "proxy", false, true, 0, "proxy"},
        {"text ends at its first zero", REG_SZ, std::string("ab\0cd\0", 6), false, true, 0, "ab"},
        {"empty text", REG_SZ, std::string(1, '\0'), false, false, 0, ""},
        {"expandable text", REG_EXPAND_SZ, std::string("%HOST%\0", 7), false, false, 0, ""},
        {"multi-string", REG_MULTI_SZ, std::string("a\0\0", 3), false, false, 0, ""},
        {"text as a dword", REG_DWORD, std::string("abc\0", 4), false, false, 0, ""},
        {"text of 1023 bytes", REG_SZ, std::string(1023, 'h') + '\0', false, true, 0, std::string(1023, 'h')},
        {"text too long", REG_SZ, std::string(1024, 'h') + '\0', false, false, 0, ""},
        {"text far too long", REG_SZ, std::string(70000, 'h'), false, false, 0, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        SetNarrow("Value", row.type, row.bytes);
        if (row.dword) {
            DWORD value = 0xDEADBEEF;
            EXPECT_EQ(row.counts, kevopolicy::ReadDword("Value", &value));
            EXPECT_EQ(row.counts ? row.number : 0xDEADBEEF, value);
        } else {
            char text[kevopolicy::kTextCapacity];
            EXPECT_EQ(row.counts, kevopolicy::ReadText("Value", text, sizeof text));
            EXPECT_EQ(row.text, std::string(text));
        }
    }
}

TEST_F(PolicyTest, TextLongerThanTheCallersBufferDoesNotCount)
{
    SetString(HKEY_LOCAL_MACHINE, kPolicyKey, L"Port", "USB101", PolicyView());
    char port[7];
    EXPECT_TRUE(kevopolicy::ReadText("Port", port, sizeof port));
    EXPECT_EQ(std::string("USB101"), port);
    SetString(HKEY_LOCAL_MACHINE, kPolicyKey, L"Port", "USB1010", PolicyView());
    EXPECT_FALSE(kevopolicy::ReadText("Port", port, sizeof port));
    EXPECT_EQ(std::string(), port);
}

TEST_F(PolicyTest, AbsentKeyOrValueDoesNotCount)
{
    DWORD value = 7;
    char text[16];
    EXPECT_FALSE(kevopolicy::ReadDword("Trace", &value));
    EXPECT_FALSE(kevopolicy::ReadText("ProxyHost", text, sizeof text));
    SetDword(HKEY_LOCAL_MACHINE, kPolicyKey, L"UpdateCheck", 0, PolicyView());
    EXPECT_FALSE(kevopolicy::ReadDword("Trace", &value));
    EXPECT_EQ(7u, value);
    SetDword(HKEY_LOCAL_MACHINE, kPolicyKey, L"Trace", 10, PolicyView());
    EXPECT_TRUE(kevopolicy::ReadDword("Trace", &value));
    EXPECT_EQ(10u, value);
}

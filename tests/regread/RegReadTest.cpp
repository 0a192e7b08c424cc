// KEVORegRead.dll called as a 32-bit Java VM calls its native method: the
// export found by name, called stdcall with a JNI environment whose table
// provides NewString (and records any other call that matters).
#include <gtest/gtest.h>
#include <jni.h>
#include <windows.h>

#include <string>
#include <vector>

#include "KevoTestSupport.h"

using namespace kevotest;

namespace {

typedef jstring(JNICALL* DoRegReadFn)(JNIEnv*, jobject);

const wchar_t kKey[] = L"SOFTWARE\\KEVO";
const char kExport[] = "Java_kevo_utility_KEVORegReadNative_doRegRead";

// What the fake VM saw.
struct FakeVm {
    JNIEnv* expectedEnv = nullptr;
    int newStringCalls = 0;
    std::u16string units;
    bool nullChars = false;
    bool failNewString = false;  // return null with an exception pending
    bool exceptionPending = false;
    int exceptionClearCalls = 0;
};
FakeVm g_vm;
char g_stringObject;

jstring JNICALL FakeNewString(JNIEnv* env, const jchar* chars, jsize length)
{
    EXPECT_EQ(g_vm.expectedEnv, env);
    ++g_vm.newStringCalls;
    g_vm.nullChars = chars == nullptr;
    if (length > 0 && chars != nullptr)
        g_vm.units.assign(reinterpret_cast<const char16_t*>(chars), length);
    else
        g_vm.units.clear();
    if (g_vm.failNewString) {
        g_vm.exceptionPending = true;  // OutOfMemoryError
        return nullptr;
    }
    return reinterpret_cast<jstring>(&g_stringObject);
}

void JNICALL FakeExceptionClear(JNIEnv*)
{
    ++g_vm.exceptionClearCalls;
    g_vm.exceptionPending = false;
}

std::vector<BYTE> Bytes(const std::wstring& text, bool withTerminator)
{
    const BYTE* p = reinterpret_cast<const BYTE*>(text.c_str());
    std::vector<BYTE> bytes(p, p + text.size() * 2);
    if (withTerminator) {
        bytes.push_back(0);
        bytes.push_back(0);
    }
    return bytes;
}

class RegReadTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        library_ = LoadLibraryW(WinePath(KEVO_REGREAD_DLL).c_str());
        ASSERT_TRUE(library_ != NULL);
    }
    static void TearDownTestSuite()
    {
        if (library_ != NULL)
            FreeLibrary(library_);
    }
    void SetUp() override
    {
        ResetKevoRegistry();
        g_vm = FakeVm();
        table_ = JNINativeInterface_();  // every other entry null: a call would crash the test
        table_.NewString = FakeNewString;
        table_.ExceptionClear = FakeExceptionClear;
        env_.functions = &table_;
        g_vm.expectedEnv = &env_;
        doRegRead_ = reinterpret_cast<DoRegReadFn>(reinterpret_cast<void (*)()>(GetProcAddress(library_, kExport)));
        ASSERT_TRUE(doRegRead_ != NULL);
    }
    void TearDown() override { ResetKevoRegistry(); }

    void Store(DWORD type, const std::vector<BYTE>& bytes, HKEY root = HKEY_LOCAL_MACHINE)
    {
        SetRaw(root, kKey, L"InstallPath", type, bytes);
    }
    // Calls the method; true when it returned a string.
    bool Call()
    {
        jclass cls = reinterpret_cast<jclass>(&g_stringObject + 1);
        return doRegRead_(&env_, cls) != nullptr;
    }

    static HMODULE library_;
    JNINativeInterface_ table_;
    JNIEnv env_;
    DoRegReadFn doRegRead_ = nullptr;
};
HMODULE RegReadTest::library_ = NULL;

std::u16string U(const std::wstring& text) { return std::u16string(text.begin(), text.end()); }

}  // namespace

TEST_F(RegReadTest, ExportIsTheUndecoratedJniName)
{
    // The VM tries "_Name@8" and then the plain name; the plain one is there.
    EXPECT_TRUE(GetProcAddress(library_, kExport) != NULL);
}

TEST_F(RegReadTest, StringValuesComeBackUnitForUnit)
{
    const std::wstring plain = L"C:\\Program Files\\KEVO\\";
    Store(REG_SZ, Bytes(plain, true));
    ASSERT_TRUE(Call());
    EXPECT_EQ(U(plain), g_vm.units);

    // Non-ASCII, with a surrogate pair and a character outside code page 932.
    const std::wstring kanji = L"D:\\利用者ソフト\\ＫＥＶＯ表\\\xD842\xDF9F\x00E9\\";
    Store(REG_SZ, Bytes(kanji, true));
    ASSERT_TRUE(Call());
    EXPECT_EQ(U(kanji), g_vm.units);

    // Units after an embedded zero are not part of the string.
    Store(REG_SZ, Bytes(std::wstring(L"AB\0CD", 5), true));
    ASSERT_TRUE(Call());
    EXPECT_EQ(u"AB", g_vm.units);
    EXPECT_EQ(3, g_vm.newStringCalls);
}

TEST_F(RegReadTest, ValueWithoutTerminatorGivesAllItsUnits)
{
    Store(REG_SZ, Bytes(L"C:\\KEVO", false));
    ASSERT_TRUE(Call());
    EXPECT_EQ(u"C:\\KEVO", g_vm.units);
}

TEST_F(RegReadTest, EmptyValuesGiveAnEmptyString)
{
    Store(REG_SZ, Bytes(L"", true));  // only the terminator
    ASSERT_TRUE(Call());
    EXPECT_TRUE(g_vm.units.empty());
    Store(REG_SZ, std::vector<BYTE>());  // 0 bytes
    ASSERT_TRUE(Call());
    EXPECT_EQ(2, g_vm.newStringCalls);
    EXPECT_FALSE(g_vm.nullChars);
    EXPECT_TRUE(g_vm.units.empty());
    Store(REG_SZ, std::vector<BYTE>(1, 'A'));  // 1 byte: no whole unit
    ASSERT_TRUE(Call());
    EXPECT_TRUE(g_vm.units.empty());
}

TEST_F(RegReadTest, OddByteCountCountsWholeUnitsOnly)
{
    std::vector<BYTE> bytes = Bytes(L"C:\\K", false);
    bytes.push_back('X');
    Store(REG_SZ, bytes);
    ASSERT_TRUE(Call());
    EXPECT_EQ(u"C:\\K", g_vm.units);
    // A terminator in the whole units still ends the string.
    bytes = Bytes(std::wstring(L"AB\0", 3), false);
    bytes.push_back('Y');
    Store(REG_SZ, bytes);
    ASSERT_TRUE(Call());
    EXPECT_EQ(u"AB", g_vm.units);
}

TEST_F(RegReadTest, OtherTypesAndMissingValuesGiveNull)
{
    EXPECT_FALSE(Call());  // no key
    SetDword(HKEY_LOCAL_MACHINE, kKey, L"Other", 1);
    EXPECT_FALSE(Call());  // key without the value
    Store(REG_EXPAND_SZ, Bytes(L"%ProgramFiles%\\KEVO", true));
    EXPECT_FALSE(Call());
    Store(REG_DWORD, std::vector<BYTE>{1, 0, 0, 0});
    EXPECT_FALSE(Call());
    Store(REG_BINARY, Bytes(L"C:\\KEVO", true));
    EXPECT_FALSE(Call());
    EXPECT_EQ(0, g_vm.newStringCalls);
}

TEST_F(RegReadTest, ValueOnlyUnderTheCurrentUserGivesNull)
{
    Store(REG_SZ, Bytes(L"C:\\KEVO\\", true), HKEY_CURRENT_USER);
    EXPECT_FALSE(Call());
    EXPECT_EQ(0, g_vm.newStringCalls);
}

TEST_F(RegReadTest, FailedNewStringGivesNullAndLeavesTheExceptionPending)
{
    Store(REG_SZ, Bytes(L"C:\\KEVO\\", true));
    g_vm.failNewString = true;
    EXPECT_FALSE(Call());
    EXPECT_EQ(1, g_vm.newStringCalls);
    EXPECT_TRUE(g_vm.exceptionPending);
    EXPECT_EQ(0, g_vm.exceptionClearCalls);
}

TEST_F(RegReadTest, LongValueIsReadWhole)
{
    std::wstring longPath = L"C:\\";
    for (int i = 0; i < 3000; ++i)
        longPath += (wchar_t)(L'A' + i % 26);
    Store(REG_SZ, Bytes(longPath, true));
    ASSERT_TRUE(Call());
    EXPECT_EQ(U(longPath), g_vm.units);
}

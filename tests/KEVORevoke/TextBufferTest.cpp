// CTextBuffer and its conversions under code page 932: the growth step,
// shrinking replacements, cache invalidation, Shift-JIS round trips and the
// base64 encoder checked against the platform's own encoder.
#include <gtest/gtest.h>

#include <windows.h>
#include <wincrypt.h>

#include <stdlib.h>
#include <string>

#include "KevoTestSupport.h"
#include "TextBuffer.h"

using namespace kevotest;

namespace {

std::wstring Units(size_t n, wchar_t c = L'x')
{
    return std::wstring(n, c);
}

// Every unit after the terminator, up to the capacity, is zero.
bool TailIsZero(const CTextBuffer& b)
{
    if (b.m_lpData == NULL)
        return true;
    size_t length = wcslen(b.m_lpData);
    for (int i = static_cast<int>(length); i < b.m_nSize; ++i) {
        if (b.m_lpData[i] != 0)
            return false;
    }
    return true;
}

std::string Encode(const std::string& bytes)
{
    char* text = Base64Encode(static_cast<unsigned long>(bytes.size()),
                              reinterpret_cast<const unsigned char*>(bytes.data()));
    if (text == NULL)
        return "<null>";
    std::string result(text);
    free(text);
    return result;
}

}  // namespace

TEST(TextBufferTest, RunsUnderCodePage932)
{
    // The Shift-JIS cases below mean nothing under another code page.
    ASSERT_EQ(932u, GetACP());
}

TEST(TextBufferTest, GrowthStepGivesSmallestMultipleAboveLength)
{
    struct Case {
        size_t length;
        int capacity;
    } cases[] = {{1, 1024}, {1023, 1024}, {1024, 2048}, {2047, 2048}, {2048, 3072}};
    for (const Case& c : cases) {
        CTextBuffer b;
        b.m_nGrowBy = 1024;
        ASSERT_EQ(1, b.Append(Units(c.length).c_str()));
        EXPECT_EQ(c.capacity, b.m_nSize) << c.length;
        EXPECT_EQ(static_cast<int>(c.length), b.GetLength());
    }
}

TEST(TextBufferTest, AppendsAcrossStepBoundaryKeepTheText)
{
    CTextBuffer b;
    b.m_nGrowBy = 1024;
    ASSERT_EQ(1, b.Append(Units(1000, L'a').c_str()));
    EXPECT_EQ(1024, b.m_nSize);
    ASSERT_EQ(1, b.Append(Units(23, L'b').c_str()));
    EXPECT_EQ(1024, b.m_nSize);
    ASSERT_EQ(1, b.Append(L"c"));
    EXPECT_EQ(2048, b.m_nSize);
    EXPECT_EQ(Units(1000, L'a') + Units(23, L'b') + L"c", std::wstring(b.m_lpData));
    EXPECT_TRUE(TailIsZero(b));
}

TEST(TextBufferTest, ExactFitWithoutStep)
{
    CTextBuffer b;
    ASSERT_EQ(1, b.SetData(L"abc"));
    EXPECT_EQ(4, b.m_nSize);
    ASSERT_EQ(1, b.Append(L"de"));
    EXPECT_EQ(6, b.m_nSize);
    EXPECT_STREQ(L"abcde", b.m_lpData);
    b.m_nGrowBy = -5;  // non-positive also means exact fit
    ASSERT_EQ(1, b.Append(L"f"));
    EXPECT_EQ(7, b.m_nSize);
}

TEST(TextBufferTest, NothingAppendedToUnusedBufferStaysNull)
{
    CTextBuffer b;
    EXPECT_EQ(1, b.Append(static_cast<const wchar_t*>(NULL)));
    EXPECT_EQ(1, b.Append(L""));
    EXPECT_EQ(1, b.Append(""));
    EXPECT_EQ(NULL, b.m_lpData);
    EXPECT_EQ(0, b.m_nSize);
    EXPECT_EQ(NULL, b.GetUTF8());
    EXPECT_EQ(NULL, b.GetAnsi());
    EXPECT_EQ(1, b.SetData(static_cast<const wchar_t*>(NULL)));
    EXPECT_EQ(1, b.SetData(static_cast<const char*>(NULL)));
    EXPECT_EQ(NULL, b.m_lpData);
}

TEST(TextBufferTest, ShorterSetDataKeepsCapacityAndWipesOldText)
{
    CTextBuffer b;
    b.m_nGrowBy = 16;
    ASSERT_EQ(1, b.SetData(L"abcdefghijklmnopqrstuvwxyz"));
    EXPECT_EQ(32, b.m_nSize);
    ASSERT_EQ(1, b.SetData(L"xy"));
    EXPECT_EQ(32, b.m_nSize);
    EXPECT_STREQ(L"xy", b.m_lpData);
    EXPECT_TRUE(TailIsZero(b));
    // An empty replacement empties the text but keeps the storage.
    ASSERT_EQ(1, b.SetData(L""));
    ASSERT_NE(nullptr, b.m_lpData);
    EXPECT_EQ(0, b.GetLength());
    EXPECT_TRUE(TailIsZero(b));
}

TEST(TextBufferTest, EveryChangeDropsTheCaches)
{
    CTextBuffer b;
    ASSERT_EQ(1, b.SetData(L"東京都"));
    std::string before = b.GetUTF8();
    EXPECT_EQ(Utf8(L"東京都"), before);
    ASSERT_EQ(1, b.SetData(L"大阪府"));
    EXPECT_EQ(NULL, b.m_lpUTF8);
    EXPECT_EQ(NULL, b.m_lpAnsi);
    EXPECT_EQ(Utf8(L"大阪府"), std::string(b.GetUTF8()));
    EXPECT_EQ(ToCp932(L"大阪府"), std::string(b.GetAnsi()));

    // The cache is the buffer's and is kept until the next change.
    EXPECT_EQ(b.m_lpUTF8, b.GetUTF8());

    ASSERT_EQ(1, b.Append(L"X"));
    EXPECT_EQ(NULL, b.m_lpUTF8);
    EXPECT_EQ(Utf8(L"大阪府X"), std::string(b.GetUTF8()));
    b.ToLower();
    EXPECT_EQ(NULL, b.m_lpUTF8);
    EXPECT_EQ(Utf8(L"大阪府x"), std::string(b.GetUTF8()));
    b.RemoveChar(L'x');
    EXPECT_EQ(NULL, b.m_lpUTF8);
    EXPECT_EQ(Utf8(L"大阪府"), std::string(b.GetUTF8()));
    b.GetAnsi();
    ASSERT_EQ(1, b.Reserve(100));
    EXPECT_EQ(NULL, b.m_lpUTF8);
    EXPECT_EQ(NULL, b.m_lpAnsi);
    b.GetUTF8();
    b.Clear();
    EXPECT_EQ(NULL, b.m_lpUTF8);
    EXPECT_EQ(std::string(), std::string(b.GetUTF8()));
}

TEST(TextBufferTest, ShiftJisRoundTripsOfTheApplicantTexts)
{
    // Narrow literals of this build are Shift-JIS; 表 and ソ have 0x5C as
    // their second byte, which a byte-wise treatment would take for '\'.
    const char* narrow[] = {"山田太郎", "東京都千代田区", "男", "女", "不明", "表示ソフト", "ｶﾀｶﾅ"};
    const wchar_t* wide[] = {L"山田太郎", L"東京都千代田区", L"男", L"女", L"不明", L"表示ソフト", L"ｶﾀｶﾅ"};
    for (size_t i = 0; i < sizeof narrow / sizeof narrow[0]; ++i) {
        EXPECT_EQ(ToCp932(wide[i]), std::string(narrow[i]));
        CTextBuffer b;
        ASSERT_EQ(1, b.SetData(narrow[i]));
        EXPECT_EQ(std::wstring(wide[i]), std::wstring(b.m_lpData));
        EXPECT_EQ(std::string(narrow[i]), std::string(b.GetAnsi()));
        EXPECT_EQ(Utf8(wide[i]), std::string(b.GetUTF8()));
        // UTF-8 without a byte order mark.
        EXPECT_NE(0u, std::string(b.GetUTF8()).rfind("\xEF\xBB\xBF", 0));
    }
    CTextBuffer b;
    ASSERT_EQ(1, b.SetData("都道府県"));
    ASSERT_EQ(1, b.Append("CD"));
    ASSERT_EQ(1, b.Append("表"));
    EXPECT_STREQ(L"都道府県CD表", b.m_lpData);
}

TEST(TextBufferTest, FreeConversions)
{
    char* ansi = WideToAnsi(L"申請書");
    ASSERT_NE(nullptr, ansi);
    EXPECT_EQ(ToCp932(L"申請書"), std::string(ansi));
    free(ansi);
    char* utf8 = WideToUTF8(L"署名値");
    ASSERT_NE(nullptr, utf8);
    EXPECT_EQ(Utf8(L"署名値"), std::string(utf8));
    free(utf8);
    wchar_t* wide = AnsiToWide("ソ");
    ASSERT_NE(nullptr, wide);
    EXPECT_STREQ(L"ソ", wide);
    free(wide);
    EXPECT_EQ(nullptr, AnsiToWide(""));
    EXPECT_EQ(nullptr, AnsiToWide(NULL));
    EXPECT_EQ(nullptr, WideToUTF8(NULL));
    utf8 = WideToUTF8(L"");
    ASSERT_NE(nullptr, utf8);
    EXPECT_STREQ("", utf8);
    free(utf8);
}

TEST(TextBufferTest, ReserveNeverShrinksAndKeepsText)
{
    CTextBuffer b;
    ASSERT_EQ(1, b.SetData(L"abc"));
    ASSERT_EQ(1, b.Reserve(50));
    EXPECT_EQ(50, b.m_nSize);
    EXPECT_STREQ(L"abc", b.m_lpData);
    EXPECT_TRUE(TailIsZero(b));
    ASSERT_EQ(1, b.Reserve(10));
    EXPECT_EQ(50, b.m_nSize);
    EXPECT_STREQ(L"abc", b.m_lpData);
}

TEST(TextBufferTest, ClearKeepsStorageAndZeroesIt)
{
    CTextBuffer b;
    b.m_nGrowBy = 8;
    ASSERT_EQ(1, b.SetData(L"secret"));
    wchar_t* storage = b.m_lpData;
    b.Clear();
    EXPECT_EQ(storage, b.m_lpData);
    EXPECT_EQ(8, b.m_nSize);
    for (int i = 0; i < b.m_nSize; ++i)
        EXPECT_EQ(0, b.m_lpData[i]);
    ASSERT_EQ(1, b.Append(L"new"));
    EXPECT_STREQ(L"new", b.m_lpData);
}

TEST(TextBufferTest, DestroyZeroesAllFields)
{
    CTextBuffer b;
    b.m_nGrowBy = 1024;
    ASSERT_EQ(1, b.SetData(L"abc"));
    b.GetUTF8();
    b.GetAnsi();
    b.Destroy();
    EXPECT_EQ(NULL, b.m_lpAnsi);
    EXPECT_EQ(NULL, b.m_lpUTF8);
    EXPECT_EQ(NULL, b.m_lpData);
    EXPECT_EQ(0, b.m_nSize);
    EXPECT_EQ(0, b.m_nGrowBy);
}

TEST(TextBufferTest, ToLowerAndRemoveChar)
{
    CTextBuffer b;
    ASSERT_EQ(1, b.SetData(L"C=JP, OU=Tokyo-to, CN=東京都"));
    b.ToLower();
    EXPECT_STREQ(L"c=jp, ou=tokyo-to, cn=東京都", b.m_lpData);

    ASSERT_EQ(1, b.SetData(L"no line feed"));
    b.RemoveChar(L'\n');
    EXPECT_STREQ(L"no line feed", b.m_lpData);

    ASSERT_EQ(1, b.SetData(L"\nab\r\n\ncd\n"));
    b.RemoveChar(L'\n');
    EXPECT_STREQ(L"ab\rcd", b.m_lpData);
    EXPECT_TRUE(TailIsZero(b));
    b.RemoveChar(L'\r');
    EXPECT_STREQ(L"abcd", b.m_lpData);

    CTextBuffer empty;
    empty.ToLower();
    empty.RemoveChar(L'a');
    EXPECT_EQ(NULL, empty.m_lpData);
}

TEST(TextBufferTest, OwnTextMayBeAppendedAndSet)
{
    CTextBuffer b;
    ASSERT_EQ(1, b.SetData(L"abc"));
    ASSERT_EQ(1, b.Append(b.m_lpData));
    EXPECT_STREQ(L"abcabc", b.m_lpData);
    ASSERT_EQ(1, b.SetData(b.m_lpData + 3));
    EXPECT_STREQ(L"abc", b.m_lpData);

    // The buffer's own narrow copies are freed when the text changes: they
    // are read before that.
    ASSERT_EQ(1, b.SetData(L"東京都千代田区表示ソフト"));
    ASSERT_EQ(1, b.SetData(b.GetAnsi()));
    EXPECT_STREQ(L"東京都千代田区表示ソフト", b.m_lpData);
    ASSERT_EQ(1, b.Append(b.GetAnsi()));
    EXPECT_STREQ(L"東京都千代田区表示ソフト東京都千代田区表示ソフト", b.m_lpData);
}

TEST(TextBufferTest, Base64Vectors)
{
    EXPECT_EQ("YWJj", Encode("abc"));
    EXPECT_EQ("//4=", Encode("\xFF\xFE"));
    EXPECT_EQ("AA==", Encode(std::string(1, '\0')));
    // RFC 4648 section 10.
    EXPECT_EQ("Zg==", Encode("f"));
    EXPECT_EQ("Zm8=", Encode("fo"));
    EXPECT_EQ("Zm9v", Encode("foo"));
    EXPECT_EQ("Zm9vYg==", Encode("foob"));
    EXPECT_EQ("Zm9vYmE=", Encode("fooba"));
    EXPECT_EQ("Zm9vYmFy", Encode("foobar"));
    EXPECT_EQ("<null>", Encode(""));
    EXPECT_EQ(nullptr, Base64Encode(3, NULL));
}

TEST(TextBufferTest, Base64MatchesPlatformEncoderOnAllByteValues)
{
    // Lengths around the group boundaries, all byte values, compared with
    // the platform's encoder asked for one line without breaks.
    for (size_t n = 1; n <= 300; ++n) {
        std::string bytes;
        for (size_t i = 0; i < n; ++i)
            bytes.push_back(static_cast<char>((i * 37 + n) & 0xFF));
        DWORD size = 0;
        const DWORD flags = CRYPT_STRING_BASE64 | CRYPT_STRING_NOCRLF;
        ASSERT_TRUE(CryptBinaryToStringA(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(n), flags,
                                         NULL, &size));
        std::string expected(size, '\0');
        ASSERT_TRUE(CryptBinaryToStringA(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(n), flags,
                                         &expected[0], &size));
        expected.resize(size);
        while (!expected.empty() && (expected.back() == '\0' || expected.back() == '\n' || expected.back() == '\r'))
            expected.pop_back();
        std::string actual = Encode(bytes);
        EXPECT_EQ(expected, actual) << n;
        EXPECT_EQ((n + 2) / 3 * 4, actual.size()) << n;
    }
}

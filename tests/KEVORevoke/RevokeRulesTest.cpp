// The wizard's decision tables and renderings: birth dates, error boxes,
// verdicts, send time, prefecture, gender and the validity check. Literals
// here are Shift-JIS bytes, like the program's.
#include <gtest/gtest.h>

#include <string>

#include "CardRules.h"
#include "Prefecture.h"
#include "RevokeTexts.h"

namespace {

// ---- birth date --------------------------------------------------------------
struct BirthCase {
    const char* code;
    BirthDateStatus status;
    const char* rendering;  // when status is kBirthDateOk
};

const BirthCase kBirthCases[] = {
    {"319750415", kBirthDateOk, "昭和50年4月15日"},
    {"419890108", kBirthDateOk, "平成元年1月8日"},
    {"319890107", kBirthDateOk, "昭和64年1月7日"},  // the era follows the digit, not the date
    {"118680101", kBirthDateOk, "明治元年1月1日"},
    {"219260A3", kBirthDateBadCode, nullptr},       // 8 characters
    {"319750400", kBirthDateOk, "昭和50年4月"},
    {"319750000", kBirthDateOk, "昭和50年"},
    {"3197500A2", kBirthDateOk, "昭和50年"},        // month 00 ends before the day
    {"31975A1A3", kBirthDateOk, "昭和50年春下旬"},
    {"31975A4A1", kBirthDateOk, "昭和50年冬上旬"},
    {"3197504A1", kBirthDateOk, "昭和50年4月上旬"},
    {"31975a100", kBirthDateBadMonth, nullptr},     // a1 is no season code and reads as 0
    {"3197513AB", kBirthDateBadDay, nullptr},
    {"31975A5A1", kBirthDateBadMonth, nullptr},     // A5 is no season
    {"3197504A4", kBirthDateBadDay, nullptr},       // A4 is no part of the month
    {"519750415", kBirthDateBadCode, nullptr},      // era 5
    {"019750415", kBirthDateBadCode, nullptr},      // era 0 with a non-zero code
    {"31975041", kBirthDateBadCode, nullptr},
    {"3197504150", kBirthDateBadCode, nullptr},
    {"000000000", kBirthDateOk, ""},
    {"421000101", kBirthDateBadYear, nullptr},      // era year 112: five bytes with 年
    {"319150101", kBirthDateBadYear, nullptr},      // era year -10
    {"319200101", kBirthDateOk, "昭和-5年1月1日"},   // -5年 still fits four bytes
    {"3197599-1", kBirthDateOk, "昭和50年99月-1日"}, // values are read, not ranged
};

TEST(BirthDate, RendersOrRefusesEachCode)
{
    for (const BirthCase& c : kBirthCases) {
        char out[kBirthDateSize] = "untouched";
        EXPECT_EQ(c.status, RenderBirthDate(c.code, out)) << c.code;
        if (c.status == kBirthDateOk)
            EXPECT_STREQ(c.rendering, out) << c.code;
        else
            EXPECT_STREQ("untouched", out) << c.code;
    }
    char out[kBirthDateSize];
    EXPECT_EQ(kBirthDateBadCode, RenderBirthDate(nullptr, out));
}

// ---- error boxes ---------------------------------------------------------------
TEST(ErrorBox, TextPerCode)
{
    const struct {
        int code;
        const char* text;
    } cases[] = {
        {703, "エラーが発生しました。\nICカードがロックされています。(703)"},
        {-102, "エラーが発生しました。\nメモリが不足しています。(-102)"},
        {701, "エラーが発生しました。\nメモリが不足しています。(701)"},
        {704, "エラーが発生しました。\nICカードに接続できません。(704)"},
        {705, "エラーが発生しました。\n電子証明書(DER形式)の解析に失敗しました。(705)"},
        {708, "エラーが発生しました。\n電子証明書の有効期限が切れています。(708)"},
        {709, "エラーが発生しました。\n電子証明書の有効期限開始の日付が未来の日時になっています。(709)"},
        {-105, "エラーが発生しました。\n予期せぬエラーが発生しました。(-105)"},
        {12345, "エラーが発生しました。\n予期せぬエラーが発生しました。(12345)"},
    };
    for (const auto& c : cases) {
        std::string text;
        EXPECT_TRUE(ErrorBoxText(c.code, text)) << c.code;
        EXPECT_EQ(c.text, text) << c.code;
    }
    std::string none = "untouched";
    EXPECT_FALSE(ErrorBoxText(700, none));
    EXPECT_EQ("untouched", none);
    EXPECT_STREQ("オンライン失効申請", kErrorBoxCaption);
}

// ---- verdicts ------------------------------------------------------------------
const char kTail[] =
    "\n\nオンライン窓口サービスで不具合が発生したため、処理を継続することができません\nでした。\n"
    "申し訳ございませんが、しばらく経ってから失効申請をはじめからやり直してくださ\nい。\n\n送信時刻:";

TEST(Verdict, EveryCounterCodeHasItsTextAndArea)
{
    const struct {
        int code;
        const char* head;  // the text is head + kTail when tail is set
        bool tail;
        VerdictArea area;
    } cases[] = {
        {200, "オンライン窓口で電子証明書の失効申請が受理されました。失効した電子証明書は電\n"
              "子申請等に使用できませんのでご注意ください。", false, kVerdictShortArea},
        {600, "「申請書の電子署名検証エラー」が発生しました。(600)", true, kVerdictLongArea},
        {601, "「申請情報取込エラー」が発生しました。(601)", true, kVerdictLongArea},
        {602, "オンライン窓口サーバでエラーが発生しました。(602)", true, kVerdictLongArea},
        {603, "「受信データ形式エラー」が発生しました。(603)", true, kVerdictLongArea},
        {604, "「都道府県知事の電子署名検証エラー」が発生しました。(604)", true, kVerdictLongArea},
        {605, "「有効性確認エラー」が発生しました。(605)", true, kVerdictLongArea},
        {606, "「オンライン窓口エラー(OCSP)」が発生しました。(606)", true, kVerdictLongArea},
        {607, "証明書は失効済みです。(607)\n\n失効申請書に添付された電子証明書は既に失効されているため、"
              "処理を中止します。\n既に失効された電子証明書に対して失効申請を行う必要はありません。\n送信時刻 : ",
         false, kVerdictShortArea},
        {608, "「二重申請エラー」が発生しました。(608)\n\n既に同一の電子証明書に対するオンラインによる失効申請を"
              "受理しております。その\n受理内容で失効処理を行いますので、再度失効申請をする必要はありません。\n"
              "送信時刻 : ", false, kVerdictShortArea},
        {609, "「オンライン窓口エラー(DB)」が発生しました。(609)", true, kVerdictLongArea},
        {610, "オンライン窓口サーバでエラーが発生しました。(610)", true, kVerdictLongArea},
        {611, "オンライン窓口サーバが混雑しています。(611)\n\nオンライン窓口サービスが混雑しております。\n"
              "申し訳ございませんが、しばらく経ってからもう一度アクセスしてください。\n\n送信時刻:",
         false, kVerdictLongArea},
        {612, "オンライン窓口サーバでエラーが発生しました。(612)", true, kVerdictLongArea},
    };
    for (const auto& c : cases) {
        const RevokeVerdict& v = VerdictFor(c.code);
        EXPECT_EQ(c.code, v.code);
        EXPECT_EQ(std::string(c.head) + (c.tail ? kTail : ""), v.text) << c.code;
        EXPECT_EQ(c.area, v.area) << c.code;
    }
    // Transport failures, a cancelled sign-in, internal errors and any other
    // status are shown as 612.
    for (int other : {0, 201, 302, 404, 599, 613, 700, 701, 707, -101, -104}) {
        EXPECT_EQ(612, VerdictFor(other).code) << other;
        EXPECT_EQ(kVerdictLongArea, VerdictFor(other).area) << other;
    }
}

// ---- send time -------------------------------------------------------------------
class SendTime : public ::testing::Test {
protected:
    void SetUp() override { FixJapanLocaleAndZone(); }
};

TEST_F(SendTime, CounterClockShownInJapanTime)
{
    const struct {
        const char* serverDate;
        const char* shown;
    } cases[] = {
        {"20101231150000", "2011/01/01 00:00:00"},
        {"20100401150000", "2010/04/02 00:00:00"},
        {"20100401145959", "2010/04/01 23:59:59"},
        {"20120228150000", "2012/02/29 00:00:00"},
        {"20101301000000", "2011/01/01 09:00:00"},  // month 13 is normalised
    };
    for (const auto& c : cases) {
        char out[kSendTimeSize] = "";
        EXPECT_EQ(kSendTimeOk, ServerDateToSendTime(c.serverDate, out)) << c.serverDate;
        EXPECT_STREQ(c.shown, out) << c.serverDate;
    }
}

TEST_F(SendTime, RefusesTextsOfAnotherLength)
{
    for (const char* bad : {"2010040115000", "201004011500000", ""}) {
        char out[kSendTimeSize] = "untouched";
        EXPECT_EQ(kSendTimeBadText, ServerDateToSendTime(bad, out)) << bad;
        EXPECT_STREQ("untouched", out);
    }
    char out[kSendTimeSize];
    EXPECT_EQ(kSendTimeBadText, ServerDateToSendTime(nullptr, out));
}

// ---- card rules --------------------------------------------------------------------
TEST(Prefecture, FirstKeyOfTheTableWins)
{
    EXPECT_EQ(13, PrefectureCodeForIssuer(L"jp, kevo public certification service, tokyo-to, tokyo-to ca"));
    EXPECT_EQ(1, PrefectureCodeForIssuer(L"hokkaido"));
    EXPECT_EQ(47, PrefectureCodeForIssuer(L"okinawa-ken governor"));
    // Both keys present: the earlier code, not the earlier text.
    EXPECT_EQ(14, PrefectureCodeForIssuer(L"okinawa-ken, kanagawa-ken"));
    // Upper case is not matched: the card step lower-cases first.
    EXPECT_EQ(0, PrefectureCodeForIssuer(L"Tokyo-to"));
    EXPECT_EQ(0, PrefectureCodeForIssuer(L"kyoto"));
    EXPECT_EQ(0, PrefectureCodeForIssuer(nullptr));
    EXPECT_STREQ(L"東京都", PrefectureName(13));
    EXPECT_STREQ(L"北海道", PrefectureName(1));
    EXPECT_STREQ(L"沖縄県", PrefectureName(47));
    EXPECT_STREQ(L"不明", PrefectureName(0));
    EXPECT_STREQ(L"不明", PrefectureName(48));
}

TEST(CardRules, GenderText)
{
    EXPECT_STREQ(L"男", GenderText("1"));
    EXPECT_STREQ(L"女", GenderText("2"));
    for (const char* other : {"0", "9", "", "12", " 1"})
        EXPECT_STREQ(L"不明", GenderText(other)) << other;
    EXPECT_STREQ(L"不明", GenderText(nullptr));
}

TEST(CardRules, ValidityAgainstTheServerDate)
{
    char before[kValidityDateSize];
    char after[kValidityDateSize];
    FormatValidityDate(before, 2010, 4, 1, 0, 0, 0);
    FormatValidityDate(after, 2013, 3, 31, 14, 59, 59);
    EXPECT_STREQ("20100401000000", before);
    EXPECT_STREQ("20130331145959", after);
    EXPECT_EQ(0, ValidityCode(before, after, "20130331145959"));   // the last second still counts
    EXPECT_EQ(708, ValidityCode(before, after, "20130331150000"));
    EXPECT_EQ(0, ValidityCode(before, after, "20100401000000"));
    EXPECT_EQ(709, ValidityCode(before, after, "20100331235959"));
    // Not yet valid wins over expired.
    EXPECT_EQ(709, ValidityCode("20200101000000", "20100101000000", "20150101000000"));
}

}  // namespace

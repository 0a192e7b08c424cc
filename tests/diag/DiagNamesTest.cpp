// Words for the report's numbers, row by row.
#include <gtest/gtest.h>

#include "DiagNames.h"

using namespace diagnames;

TEST(DiagNamesTest, WindowsVersionNames)
{
    const struct {
        unsigned long major, minor, build;
        const wchar_t* name;
    } rows[] = {
        {5, 1, 2600, L"Windows XP"},  {6, 0, 6002, L"Windows Vista"}, {6, 1, 7601, L"Windows 7"},
        {6, 2, 9200, L"Windows 8"},   {6, 3, 9600, L"Windows 8.1"},   {10, 0, 19045, L"Windows 10"},
        {10, 0, 21999, L"Windows 10"}, {10, 0, 22000, L"Windows 11"}, {10, 0, 26100, L"Windows 11"},
        {6, 4, 9800, L""},            {5, 0, 2195, L""},              {11, 0, 30000, L""},
    };
    for (const auto& row : rows)
        EXPECT_EQ(std::wstring(row.name), WindowsName(row.major, row.minor, row.build)) << row.major << "." << row.minor;
}

TEST(DiagNamesTest, ErrorCodesKeepTheirNumberAfterTheName)
{
    EXPECT_EQ(L"SCARD_E_NO_SERVICE 0x8010001D", SmartCardError(0x8010001D));
    EXPECT_EQ(L"SCARD_E_NO_READERS_AVAILABLE 0x8010002E", SmartCardError(0x8010002E));
    EXPECT_EQ(L"SCARD_F_INTERNAL_ERROR 0x80100001", SmartCardError(0x80100001));
    EXPECT_EQ(L"0x80100099", SmartCardError(0x80100099));
    EXPECT_EQ(L"ERROR_INTERNET_SEC_CERT_CN_INVALID 12038", InternetError(12038));
    EXPECT_EQ(L"ERROR_INTERNET_TIMEOUT 12002", InternetError(12002));
    EXPECT_EQ(L"ERROR_HTTP_INVALID_SERVER_RESPONSE 12152", InternetError(12152));
    EXPECT_EQ(L"12999", InternetError(12999));
    EXPECT_EQ(L"0", InternetError(0));
}

TEST(DiagNamesTest, ReaderChoiceInWords)
{
    EXPECT_EQ(L"自動検出", ReaderChoiceWords(0, L"R", L"COM1"));
    EXPECT_EQ(L"PC/SC対応「KEVO Reader 0」", ReaderChoiceWords(1, L"KEVO Reader 0", L""));
    EXPECT_EQ(L"NMDA対応 ポート USB101", ReaderChoiceWords(2, L"", L"USB101"));
    // Values the dialog shows as automatic detection.
    EXPECT_EQ(L"自動検出", ReaderChoiceWords(3, L"R", L"COM1"));
    EXPECT_EQ(L"自動検出", ReaderChoiceWords(0xFFFFFFFF, L"R", L"COM1"));
}

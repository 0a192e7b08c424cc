// The signed revocation request built in this process through the software
// card provider: the documents go to an output folder that the OpenSSL and
// xmllint checks read afterwards (revoke_xml_verify); here the failure codes,
// the trace lines and the in-memory parts are checked.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "KEVOUserCertRevokeXML.h"
#include "KevoTestSupport.h"
#include "TraceLog.h"

using namespace kevotest;

namespace {

const wchar_t kProviderKey[] = L"Software\\Microsoft\\Cryptography\\Defaults\\Provider\\KEVO Crypto Service Provider";
const wchar_t kServerDate[] = L"20091224153012";

std::wstring g_logDir;

// Trace level 20 for this process, logs in a folder of their own. The trace
// module reads level and folder once, at its first line.
class TraceEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        ResetKevoRegistry();
        EnableTrace(20);  // level 20 writes the flow lines too
        g_logDir = MakeScratchDir(L"revokexml");
        SetEnvironmentVariableW(L"TMP", g_logDir.c_str());
        SetEnvironmentVariableW(L"TEMP", g_logDir.c_str());
        TraceInitLock();
        // Documents of an earlier run must not pass for this run's.
        std::wstring out = WinePath(KEVO_XML_OUT_DIR) + L"\\";
        const wchar_t* names[] = {L"golden-case.xml", L"escaped-case.xml", L"unknown-prefecture-case.xml"};
        for (const wchar_t* name : names)
            DeleteFileW((out + name).c_str());
    }
    void TearDown() override { ResetKevoRegistry(); }
};
::testing::Environment* const g_traceEnvironment = ::testing::AddGlobalTestEnvironment(new TraceEnvironment);

std::wstring OutDir()
{
    std::wstring dir = WinePath(KEVO_XML_OUT_DIR);
    CreateDirectoryW(dir.c_str(), NULL);
    return dir + L"\\";
}

void SetSwitch(const wchar_t* name, DWORD value)
{
    SetDword(HKEY_LOCAL_MACHINE, kProviderKey, name, value);
}

void ClearSwitch(const wchar_t* name)
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kProviderKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueW(key, name);
        RegCloseKey(key);
    }
}

// Takes the provider's registration away for one test and puts it back.
class RegistrationRemoved {
public:
    RegistrationRemoved()
        : imagePath_(GetValue(HKEY_LOCAL_MACHINE, kProviderKey, L"Image Path")),
          type_(GetValue(HKEY_LOCAL_MACHINE, kProviderKey, L"Type"))
    {
        DeleteKeyTree(HKEY_LOCAL_MACHINE, kProviderKey);
    }
    ~RegistrationRemoved()
    {
        if (imagePath_.present)
            SetRaw(HKEY_LOCAL_MACHINE, kProviderKey, L"Image Path", imagePath_.type, imagePath_.bytes);
        if (type_.present)
            SetRaw(HKEY_LOCAL_MACHINE, kProviderKey, L"Type", type_.type, type_.bytes);
    }

private:
    RegValue imagePath_;
    RegValue type_;
};

void FillCard(CREVOKE_Card& card, const wchar_t* name, const wchar_t* address, const wchar_t* code,
              const wchar_t* prefecture)
{
    ASSERT_EQ(1, card.m_strName.SetData(name));
    ASSERT_EQ(1, card.m_strAddress.SetData(address));
    ASSERT_EQ(1, card.m_strGender.SetData(L"男"));
    ASSERT_EQ(1, card.m_strBirth.SetData(L"319700101"));
    ASSERT_EQ(1, card.m_strPerfCode.SetData(code));
    ASSERT_EQ(1, card.m_strPerfName.SetData(prefecture));
}

class RevokeXmlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetSoftCardSwitches();
        ASSERT_TRUE(GetValue(HKEY_LOCAL_MACHINE, kProviderKey, L"Image Path").present)
            << "the software card is not installed (softcard_install)";
        certificate_ = ReadBytes(WinePath(KEVO_SOFTCARD_DIR) + L"\\KEVOSoftCard.cer");
        ASSERT_FALSE(certificate_.empty());
        binary_.length = static_cast<unsigned int>(certificate_.size());
        binary_.data = reinterpret_cast<unsigned char*>(&certificate_[0]);
        FillCard(card_, L"山田太郎", L"東京都千代田区", L"13", L"東京都");
        logStart_ = Logs().size();
    }
    void TearDown() override { ResetSoftCardSwitches(); }
    static std::string Logs() { return ReadLogs(g_logDir, L"KEVORevoke"); }
    // Trace output of this test so far.
    std::string NewLogs() const { return Logs().substr(logStart_); }
    std::string Xml() { return xml_.m_strXML.GetUTF8() == NULL ? std::string() : xml_.m_strXML.GetUTF8(); }

    std::string certificate_;
    KEVOBinaryData binary_;
    CREVOKE_Card card_;
    CREVOKE_Xml xml_;
    size_t logStart_ = 0;
};

std::string Sjis(const wchar_t* text)
{
    return ToCp932(text);
}

TEST_F(RevokeXmlTest, BuildsTheGoldenDataSetDocument)
{
    ASSERT_EQ(0, xml_.MakeXML(&card_, &binary_, kServerDate));
    std::string xml = Xml();
    WriteBytes(OutDir() + L"golden-case.xml", xml);

    // Parts as the document's layout joins them.
    std::wstring joined = std::wstring(xml_.m_strPart1.m_lpData) + xml_.m_strPart2.m_lpData +
                          xml_.m_strPart5.m_lpData + xml_.m_strPart4.m_lpData + xml_.m_strPart6.m_lpData +
                          xml_.m_strPart3.m_lpData + L"\n";
    EXPECT_EQ(joined, std::wstring(xml_.m_strXML.m_lpData));
    std::wstring part2 = xml_.m_strPart2.m_lpData;
    EXPECT_EQ(L"<構成管理情報>\n", part2.substr(0, 9));
    EXPECT_EQ(L"    <署名値>\n    ", part2.substr(part2.size() - 14));
    std::wstring part4 = xml_.m_strPart4.m_lpData;
    EXPECT_EQ(0u, part4.find(L"<SignedInfo>\n"));
    EXPECT_EQ(part4.size() - 13, part4.rfind(L"</SignedInfo>"));
    EXPECT_NE(std::string::npos, xml.find("</SignedInfo>\n<SignatureValue>"));
    EXPECT_EQ(std::string::npos, xml.find('\r'));
    EXPECT_EQ(1024, xml_.m_strXML.m_nGrowBy);
    EXPECT_EQ(1024, xml_.m_strPart2.m_nGrowBy);
    EXPECT_EQ(1024, xml_.m_strPart4.m_nGrowBy);
    EXPECT_EQ(1024, xml_.m_strPart6.m_nGrowBy);

    std::string log = NewLogs();
    const char* steps[] = {"MakeXML", "MakePart1Data", "MakePart2Data", "MakePart3Data",
                           "MakePart4Data", "MakePart5Data", "MakePart6Data"};
    for (const char* step : steps) {
        EXPECT_NE(std::string::npos, log.find(std::string("CREVOKE_Xml::") + step + ": start\r\n")) << step;
        EXPECT_NE(std::string::npos, log.find(std::string("CREVOKE_Xml::") + step + ": end\r\n")) << step;
    }
    EXPECT_EQ(std::string::npos, log.find(Sjis(L"エラー"))) << log;
}

TEST_F(RevokeXmlTest, RepeatedRunsGiveTheSameDocument)
{
    ASSERT_EQ(0, xml_.MakeXML(&card_, &binary_, kServerDate));
    std::string first = Xml();
    ASSERT_EQ(0, xml_.MakeXML(&card_, &binary_, kServerDate));
    EXPECT_EQ(first, Xml());

    // A failed run in between leaves nothing behind in the next document.
    SetSwitch(L"SoftCardFailSign", 0x8010006EUL);
    EXPECT_EQ(702, xml_.MakeXML(&card_, &binary_, kServerDate));
    ClearSwitch(L"SoftCardFailSign");
    ASSERT_EQ(0, xml_.MakeXML(&card_, &binary_, kServerDate));
    EXPECT_EQ(first, Xml());

    // A fresh object with a CTextBuffer date gives the same bytes.
    CREVOKE_Xml other;
    CTextBuffer date;
    ASSERT_EQ(1, date.SetData(kServerDate));
    ASSERT_EQ(0, other.MakeXML(&card_, &binary_, &date));
    EXPECT_EQ(first, std::string(other.m_strXML.GetUTF8()));
}

TEST_F(RevokeXmlTest, MarkupInCardDataIsEscaped)
{
    FillCard(card_, L"山田&<太郎>]]>", L"東京都<申請書>&amp;", L"13", L"東京都");
    ASSERT_EQ(0, xml_.MakeXML(&card_, &binary_, kServerDate));
    std::string xml = Xml();
    WriteBytes(OutDir() + L"escaped-case.xml", xml);
    EXPECT_NE(std::string::npos, xml.find(Utf8(L"<申請者の氏名>山田&amp;&lt;太郎&gt;]]&gt;</申請者の氏名>\n")));
    EXPECT_NE(std::string::npos, xml.find(Utf8(L"<申請者の住所>東京都&lt;申請書&gt;&amp;amp;</申請者の住所>\n")));
    // The card record itself is not changed.
    EXPECT_STREQ(L"山田&<太郎>]]>", card_.m_strName.m_lpData);
}

// A value with a character that no XML parser accepts is refused before the
// provider is opened, so nothing is signed and nothing can be sent; tab,
// line feed, carriage return and a surrogate pair are carried.
TEST_F(RevokeXmlTest, ValuesXmlCannotCarryAreRefusedBeforeSigning)
{
    const struct {
        const wchar_t* name;
        const wchar_t* address;
        int expected;
        const char* field;  // named in the error line
    } cases[] = {
        {L"山田\x0001太郎", L"東京都", -101, "m_strName"},
        {L"山田太郎", L"東京都\x001F", -101, "m_strAddress"},
        {L"山田\xD842", L"東京都", -101, "m_strName"},          // high surrogate alone
        {L"山田\xDFB7太郎", L"東京都", -101, "m_strName"},      // low surrogate alone
        {L"山田太郎", L"\xFFFE東京都", -101, "m_strAddress"},
        {L"山田\xFFFF", L"東京都", -101, "m_strName"},
        {L"山田\t太郎\r\n", L"\xD842\xDFB7東京都", 0, NULL},  // U+20BB7 as a pair
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.field == NULL ? "carriable" : c.field);
        FillCard(card_, c.name, c.address, L"13", L"東京都");
        CREVOKE_Xml xml;
        size_t before = Logs().size();
        EXPECT_EQ(c.expected, xml.MakeXML(&card_, &binary_, kServerDate));
        std::string log = Logs().substr(before);
        if (c.field != NULL) {
            EXPECT_NE(std::string::npos,
                      log.find(std::string(c.field) + Sjis(L":予期せぬエラーが発生しました。(KEVOUserCertRevokeXML.cpp:")))
                << log;
            EXPECT_EQ(std::string::npos, log.find("CryptAcquireContextA")) << "the provider is not opened";
            EXPECT_EQ(std::string::npos, log.find("MakePart1Data")) << log;
            EXPECT_EQ(NULL, xml.m_strXML.m_lpData);
        } else {
            ASSERT_NE(nullptr, xml.m_strXML.GetUTF8());
            EXPECT_NE(std::string::npos, std::string(xml.m_strXML.GetUTF8()).find(Utf8(L"<申請者の住所>\xD842\xDFB7東京都</申請者の住所>")));
        }
    }
}

TEST_F(RevokeXmlTest, UnknownPrefectureAndEmptyValueStillBuild)
{
    FillCard(card_, L"山田太郎", L"", L"00", L"不明");
    ASSERT_EQ(0, xml_.MakeXML(&card_, &binary_, kServerDate));
    std::string xml = Xml();
    WriteBytes(OutDir() + L"unknown-prefecture-case.xml", xml);
    EXPECT_NE(std::string::npos, xml.find(Utf8(L"      <都道府県CD>00</都道府県CD>\n")));
    EXPECT_NE(std::string::npos, xml.find(Utf8(L"      <都道府県名称>不明</都道府県名称>\n")));
    EXPECT_NE(std::string::npos, xml.find(Utf8(L"      <申請者の住所></申請者の住所>\n")));
}

TEST_F(RevokeXmlTest, ProviderOpenFailuresGiveTheirCodes)
{
    struct Case {
        DWORD error;
        int expected;
        const char* name;
    } cases[] = {
        {0x8010006EUL, 700, "SCARD_W_CANCELLED_BY_USER:0x8010006e"},
        {0x8010006CUL, 703, "SCARD_W_CHV_BLOCKED:0x8010006c"},
        {0x80100010UL, 704, "SCARD_E_NOT_READY:0x80100010"},
        {0x8009000EUL, -102, "NTE_NO_MEMORY:0x8009000e"},
        {8UL, -102, "ERROR_NOT_ENOUGH_MEMORY:0x8"},
        {0x80100069UL, -105, "UNKNOWN:0x80100069"},  // SCARD_W_REMOVED_CARD
    };
    for (const Case& c : cases) {
        size_t before = Logs().size();
        SetSwitch(L"SoftCardFailOpen", c.error);
        EXPECT_EQ(c.expected, xml_.MakeXML(&card_, &binary_, kServerDate)) << c.name;
        std::string log = Logs().substr(before);
        std::string line = "CryptAcquireContextA:" + Sjis(L"Windowsエラー<") + c.name + Sjis(L">が発生しました。") +
                           "(KEVOUserCertRevokeXML.cpp:";
        EXPECT_NE(std::string::npos, log.find(line)) << c.name << "\n" << log;
        EXPECT_NE(std::string::npos, log.find("CREVOKE_Xml::MakeXML: end\r\n"));
        EXPECT_EQ(std::string::npos, log.find("MakePart1Data")) << "no step runs without a provider";
    }
}

TEST_F(RevokeXmlTest, MissingRegistrationGivesProviderFailure)
{
    RegistrationRemoved removed;
    EXPECT_EQ(-105, xml_.MakeXML(&card_, &binary_, kServerDate));
    EXPECT_NE(std::string::npos, NewLogs().find("CryptAcquireContextA:" + Sjis(L"Windowsエラー<UNKNOWN:0x80090019>")))
        << NewLogs();
}

TEST_F(RevokeXmlTest, CancelledPinWhileSigningGives702)
{
    SetSwitch(L"SoftCardFailSign", 0x8010006EUL);
    EXPECT_EQ(702, xml_.MakeXML(&card_, &binary_, kServerDate));
    std::string log = NewLogs();
    EXPECT_NE(std::string::npos,
              log.find("CryptSignHash:" + Sjis(L"Windowsエラー<SCARD_W_CANCELLED_BY_USER:0x8010006e>が発生しました。")))
        << log;
    EXPECT_NE(std::string::npos, log.find(Sjis(L"MakePart6Data:エラーが発生しました。(KEVOUserCertRevokeXML.cpp:")))
        << log;
    // The digest step ran before signing.
    EXPECT_NE(nullptr, xml_.m_strPart4.m_lpData);
}

TEST_F(RevokeXmlTest, MissingOrMalformedInputGivesMinus101)
{
    const std::string line = Sjis(L"lpCardOBJ binaryData strServerDate:予期せぬエラーが発生しました。(KEVOUserCertRevokeXML.cpp:");
    KEVOBinaryData empty = {0, NULL};
    KEVOBinaryData zeroLength = {0, binary_.data};
    const CTextBuffer* noBuffer = NULL;
    CTextBuffer unsetDate;
    EXPECT_EQ(-101, xml_.MakeXML(NULL, &binary_, kServerDate));
    EXPECT_EQ(-101, xml_.MakeXML(&card_, NULL, kServerDate));
    EXPECT_EQ(-101, xml_.MakeXML(&card_, &binary_, static_cast<const wchar_t*>(NULL)));
    EXPECT_EQ(-101, xml_.MakeXML(&card_, &binary_, noBuffer));
    EXPECT_EQ(-101, xml_.MakeXML(&card_, &binary_, &unsetDate));
    EXPECT_EQ(-101, xml_.MakeXML(&card_, &empty, kServerDate));
    EXPECT_EQ(-101, xml_.MakeXML(&card_, &zeroLength, kServerDate));
    // A date of another shape would be read past its end.
    EXPECT_EQ(-101, xml_.MakeXML(&card_, &binary_, L"2009122415301"));
    EXPECT_EQ(-101, xml_.MakeXML(&card_, &binary_, L"200912241530120"));
    EXPECT_EQ(-101, xml_.MakeXML(&card_, &binary_, L"2009-12-241530"));
    std::string log = NewLogs();
    size_t count = 0;
    for (size_t p = 0; (p = log.find(line, p)) != std::string::npos; p += line.size())
        ++count;
    EXPECT_EQ(10u, count) << log;
    EXPECT_EQ(std::string::npos, log.find("CryptAcquireContextA")) << "the provider is not opened";
    EXPECT_EQ(NULL, xml_.m_strXML.m_lpData);
}

}  // namespace

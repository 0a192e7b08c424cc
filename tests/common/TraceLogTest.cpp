// The trace log as a program writes it: file name, line format and bytes,
// levels, commit mode, the 1023-byte cut, the error naming, the caller's
// error codes kept across trace calls and the local time of the C runtime.
#include <gtest/gtest.h>

#include <string.h>

#include <regex>

#include "KevoTestSupport.h"
#include "TraceFormat.h"

using namespace kevotest;

namespace {

const std::wstring kProbe = WinePath(KEVO_TRACELOG_PROBE);

class TraceLogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetKevoRegistry();
        temp_ = MakeScratchDir(L"trace");
        options_.tempDir = temp_;
    }
    void TearDown() override
    {
        RemoveTree(temp_);
        ResetKevoRegistry();
    }
    long Run(const char* mode)
    {
        return RunProgram(kProbe, Widen(mode), options_, 30000);
    }
    long RunExe(const char* unixPath)
    {
        return RunProgram(WinePath(unixPath), L"", options_, 30000);
    }
    std::string Logs() { return ReadLogs(temp_, L"KEVOProbe"); }

    std::wstring temp_;
    ProcessOptions options_;
};

const char kPrefixPattern[] = "\\d{4}/\\d{2}/\\d{2} \\d{2}:\\d{2}:\\d{2}\\.\\d{3}\\([0-9a-f]{8}\\) ";

TEST_F(TraceLogTest, NoKeyWritesNoFile)
{
    ASSERT_EQ(0, Run("basic"));
    EXPECT_TRUE(ListFiles(temp_, L"*").empty());
}

TEST_F(TraceLogTest, LevelTenWritesFlowLinesOnly)
{
    EnableTrace(10);
    ASSERT_EQ(0, Run("basic"));
    std::vector<std::wstring> files = ListFiles(temp_, L"*");
    ASSERT_EQ(1u, files.size());
    EXPECT_TRUE(std::regex_match(Utf8(files[0]), std::regex("KEVOProbe\\d{14}\\.log")));
    std::string log = Logs();
    std::regex line(std::string(kPrefixPattern) + "CREVOKE_Card::GetCertData: (start|end)\r\n");
    std::string expectedShape = log;
    size_t firstEnd = log.find("\r\n") + 2;
    EXPECT_TRUE(std::regex_match(log.substr(0, firstEnd), line)) << log;
    EXPECT_TRUE(std::regex_match(log.substr(firstEnd), line)) << log;
}

TEST_F(TraceLogTest, LevelTwentyWritesShiftJisErrorLines)
{
    EnableTrace(20);
    ASSERT_EQ(0, Run("basic"));
    std::string log = Logs();
    std::string expected = ToCp932(L"m_CardOBJ.GetCardData:エラーが発生しました。(TraceLogProbe.cpp:");
    EXPECT_NE(std::string::npos, log.find(expected)) << log;
    // Three lines, each ended by the CR LF of text-mode appending.
    size_t count = 0;
    for (size_t p = 0; (p = log.find("\r\n", p)) != std::string::npos; p += 2)
        ++count;
    EXPECT_EQ(3u, count);
    EXPECT_EQ(std::string::npos, log.find("\n\n"));
}

// The lines without their time prefixes.
std::string WithoutPrefixes(const std::string& log)
{
    return std::regex_replace(log, std::regex(kPrefixPattern), "");
}

TEST_F(TraceLogTest, CommitModeWritesTheSameBytes)
{
    // Each fragment (prefix and message of three lines) opens the file once:
    // with the commit flag exactly when TRACECOMMIT is set.
    std::wstring modesDir = MakeScratchDir(L"trace-modes");
    std::string lines[2];
    for (DWORD commit = 0; commit <= 1; ++commit) {
        SCOPED_TRACE(commit);
        RemoveTree(temp_);
        CreateDirectoryW(temp_.c_str(), NULL);
        EnableTrace(20, commit);
        std::wstring modes = modesDir + L"modes" + std::to_wstring(commit) + L".txt";
        ASSERT_EQ(0, RunProgram(kProbe, L"open-modes \"" + modes + L"\"", options_, 30000));
        EXPECT_EQ(commit ? "a+c\na+c\na+c\na+c\na+c\na+c\n" : "a+\na+\na+\na+\na+\na+\n", ReadBytes(modes));
        lines[commit] = WithoutPrefixes(Logs());
    }
    RemoveTree(modesDir);
    EXPECT_EQ(lines[0], lines[1]);
    const std::string head =
        "CREVOKE_Card::GetCertData: start\r\n" + ToCp932(L"m_CardOBJ.GetCardData:エラーが発生しました。(TraceLogProbe.cpp:");
    const std::string tail = ")\r\nCREVOKE_Card::GetCertData: end\r\n";
    EXPECT_EQ(head, lines[1].substr(0, head.size())) << lines[1];
    ASSERT_GE(lines[1].size(), tail.size());
    EXPECT_EQ(tail, lines[1].substr(lines[1].size() - tail.size())) << lines[1];
}

TEST_F(TraceLogTest, LongMessageIsCutAt1023Bytes)
{
    EnableTrace(10);
    ASSERT_EQ(0, Run("long"));
    std::string log = Logs();
    std::smatch m;
    ASSERT_TRUE(std::regex_search(log, m, std::regex(std::string("^") + kPrefixPattern)));
    size_t body = m.length(0);
    EXPECT_EQ(std::string(1023, 'x'), log.substr(body, 1023));
    // No line feed of its own: the next prefix follows at once.
    EXPECT_TRUE(std::regex_search(log.substr(body + 1023), std::regex(std::string("^") + kPrefixPattern + "after\r\n$")));
}

TEST_F(TraceLogTest, WindowsErrorsAreNamed)
{
    EnableTrace(20);
    ASSERT_EQ(0, Run("winerror"));
    std::string log = Logs();
    EXPECT_NE(std::string::npos,
              log.find(ToCp932(L"CryptAcquireContextW:Windowsエラー<SCARD_W_CANCELLED_BY_USER:0x8010006e>が発生しました。(KEVOUserCertRevokeXML.cpp:123)\r\n")));
    EXPECT_NE(std::string::npos,
              log.find(ToCp932(L"CryptSignHashW:Windowsエラー<UNKNOWN:0x80090005>が発生しました。(KEVOUserCertRevokeXML.cpp:456)\r\n")));
    EXPECT_NE(std::string::npos,
              log.find(ToCp932(L"CryptCreateHash:Windowsエラー<ERROR_NOT_ENOUGH_MEMORY:0x8>が発生しました。")));
}

TEST_F(TraceLogTest, OneRunAcrossASecondKeepsOneFile)
{
    EnableTrace(10);
    ASSERT_EQ(0, Run("second-boundary"));
    std::vector<std::wstring> files = ListFiles(temp_, L"*.log");
    ASSERT_EQ(1u, files.size());
    std::string log = Logs();
    // The file is named after the first line's second.
    std::string name = Utf8(files[0]);
    std::string stamp = name.substr(9, 14);
    std::string first = log.substr(0, 4) + log.substr(5, 2) + log.substr(8, 2) + log.substr(11, 2) +
                        log.substr(14, 2) + log.substr(17, 2);
    EXPECT_EQ(stamp, first);
    EXPECT_NE(std::string::npos, log.find("second\r\n"));
}

TEST_F(TraceLogTest, RunsInDifferentSecondsWriteTwoFiles)
{
    EnableTrace(10);
    ASSERT_EQ(0, Run("basic"));
    std::vector<std::wstring> first = ListFiles(temp_, L"*.log");
    ASSERT_EQ(1u, first.size());
    // Wait for the clock to move past the first file's second (bounded).
    for (int i = 0; i < 30; ++i) {
        ASSERT_EQ(0, Run("basic"));
        if (ListFiles(temp_, L"*.log").size() == 2)
            break;
        Sleep(100);
    }
    EXPECT_EQ(2u, ListFiles(temp_, L"*.log").size());
}

TEST_F(TraceLogTest, OversizedTraceValueSwitchesTheLogOff)
{
    SetRaw(HKEY_CURRENT_USER, L"SOFTWARE\\KEVO", L"TRACE", REG_BINARY, {20, 0, 0, 0, 0, 0, 0, 0});
    ASSERT_EQ(0, Run("basic"));
    EXPECT_TRUE(ListFiles(temp_, L"*").empty());
}

TEST_F(TraceLogTest, TraceValueOfAnotherTypeIsTakenAsANumber)
{
    SetRaw(HKEY_CURRENT_USER, L"SOFTWARE\\KEVO", L"TRACE", REG_BINARY, {20, 0, 0, 0});
    ASSERT_EQ(0, Run("basic"));
    EXPECT_NE(std::string::npos, Logs().find("GetCertData: end"));
}

// TRACE of every type and of sizes around its 4 bytes: a value that fits is
// taken as its bytes whatever its type (a text through the narrow interface
// as its character codes), a larger one switches the log off.
TEST_F(TraceLogTest, TraceValuesOfEveryTypeAndSize)
{
    const struct {
        const char* name;
        DWORD type;
        std::vector<BYTE> bytes;
        int lines;  // 0: no file; 2: flow lines only; 3: all three
    } cases[] = {
        {"0 bytes", REG_DWORD, {}, 0},
        {"1 byte 10", REG_BINARY, {10}, 2},
        {"1 byte 20", REG_BINARY, {20}, 3},
        {"3 bytes", REG_BINARY, {20, 0, 0}, 3},
        {"4 bytes negative", REG_BINARY, {0xFF, 0xFF, 0xFF, 0xFF}, 0},
        {"5 bytes", REG_BINARY, {20, 0, 0, 0, 0}, 0},
        {"QWORD", REG_QWORD, {20, 0, 0, 0, 0, 0, 0, 0}, 0},
        {"text \"1\"", REG_SZ, {'1', 0, 0, 0}, 3},             // 0x31 = 49
        {"empty text", REG_SZ, {0, 0}, 0},
        {"long text", REG_SZ, std::vector<BYTE>(40, 'x'), 0},
        {"multi text", REG_MULTI_SZ, {'1', 0, 0, 0, 0, 0}, 3},   // "1\0\0" = 0x31
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RemoveTree(temp_);
        CreateDirectoryW(temp_.c_str(), NULL);
        ResetKevoRegistry();
        SetRaw(HKEY_CURRENT_USER, L"SOFTWARE\\KEVO", L"TRACE", c.type, c.bytes);
        ASSERT_EQ(0, Run("basic"));
        std::string log = Logs();
        size_t lines = 0;
        for (size_t p = 0; (p = log.find("\r\n", p)) != std::string::npos; p += 2)
            ++lines;
        EXPECT_EQ(static_cast<size_t>(c.lines), lines) << log;
        if (c.lines == 0) {
            EXPECT_TRUE(ListFiles(temp_, L"*").empty());
        }
    }
}

// A directory under base whose path, trailing backslash included, is
// exactly length characters long.
std::wstring DirectoryOfLength(const std::wstring& base, size_t length)
{
    std::wstring dir = base;
    while (dir.size() < length) {
        size_t left = length - dir.size();
        // Components of at most 100 characters; never leave a single one.
        size_t part = left <= 101 ? left - 1 : (left - 101 < 2 ? 98 : 100);
        dir += std::wstring(part, L'd') + L"\\";
        CreateDirectoryW(dir.c_str(), NULL);
    }
    return dir;
}

TEST_F(TraceLogTest, TempDirectoryTooLongForTheNameDropsTheLines)
{
    // The log's name adds "KEVOProbe", 14 digits and ".log" (27 characters):
    // under a directory of 233 characters it would be 260 long, which does
    // not fit MAX_PATH with its terminator. The run goes on without a log,
    // and no file appears under a cut name, here or above. (The exact
    // boundary is checked on the name itself in TraceFormatTest.)
    EnableTrace(20);
    std::wstring tooLong = DirectoryOfLength(temp_ + L"b\\", 260 - 27);
    ASSERT_EQ(260u - 27u, tooLong.size());
    options_.tempDir = tooLong;
    ASSERT_EQ(0, Run("basic"));
    EXPECT_TRUE(ListFiles(tooLong, L"*").empty());
    EXPECT_TRUE(ListFiles(tooLong.substr(0, tooLong.rfind(L'\\', tooLong.size() - 2) + 1), L"KEVOProbe*").empty());
}

TEST_F(TraceLogTest, TraceCallsKeepTheCallersErrorCodes)
{
    EnableTrace(20);
    ASSERT_EQ(0, Run("last-error"));
    // ERROR_FILE_NOT_FOUND and EBADF after TraceLog, TraceAppend and TraceWinError.
    EXPECT_NE(std::string::npos, Logs().find("kept:2,9 2,9 2,9\r\n")) << Logs();
}

// The code written right after the first occurrence of prefix (Shift-JIS
// bytes, looked up literally), or "" when prefix is absent.
std::string CodeAfter(const std::string& log, const std::string& prefix)
{
    size_t at = log.find(prefix);
    if (at == std::string::npos)
        return "";
    size_t start = at + prefix.size();
    size_t end = log.find_first_not_of("-0123456789abcdefx", start);
    return log.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// Each program's failure line names the code of the WinINet call that failed
// (ERROR_INVALID_PARAMETER under Wine, as the program's first line reads it
// straight after the call), although trace lines, each reopening the log
// file, come in between.
TEST_F(TraceLogTest, InternetOpenFailureLinesNameTheFailingCallsCode)
{
    EnableTrace(20);
    ASSERT_EQ(0, RunExe(KEVO_VERCHK_OPEN_FAILURE_PROBE));
    std::string verchk = ReadLogs(temp_, L"KEVOSOFTVERCHK");
    std::string opened = CodeAfter(verchk, "InternetOpen error code: ");
    EXPECT_EQ("87", opened) << verchk;
    EXPECT_EQ(opened, CodeAfter(verchk, ToCp932(L"HTTP_InternetOpen() 失敗("))) << verchk;

    ASSERT_EQ(0, RunExe(KEVO_REVOKE_OPEN_FAILURE_PROBE));
    std::string revoke = ReadLogs(temp_, L"KEVORevoke");
    std::string connected = CodeAfter(revoke, ToCp932(L"InternetConnect:Windowsエラー<UNKNOWN:"));
    EXPECT_EQ("0x57", connected) << revoke;
    EXPECT_EQ(connected, CodeAfter(revoke, ToCp932(L"HttpOpenRequest:Windowsエラー<UNKNOWN:"))) << revoke;
}

// Milliseconds since 1970 of a YYYYMMDDhhmmssmmm text (UTC).
long long EpochMs(int y, int mo, int d, int h, int mi, int s, int ms)
{
    SYSTEMTIME st = {};
    st.wYear = static_cast<WORD>(y);
    st.wMonth = static_cast<WORD>(mo);
    st.wDay = static_cast<WORD>(d);
    st.wHour = static_cast<WORD>(h);
    st.wMinute = static_cast<WORD>(mi);
    st.wSecond = static_cast<WORD>(s);
    st.wMilliseconds = static_cast<WORD>(ms);
    FILETIME ft;
    SystemTimeToFileTime(&st, &ft);
    ULARGE_INTEGER t;
    t.LowPart = ft.dwLowDateTime;
    t.HighPart = ft.dwHighDateTime;
    return static_cast<long long>(t.QuadPart / 10000ULL) - 11644473600000LL;
}

long long DigitsMs(const std::string& d)
{
    return EpochMs(std::stoi(d.substr(0, 4)), std::stoi(d.substr(4, 2)), std::stoi(d.substr(6, 2)),
                   std::stoi(d.substr(8, 2)), std::stoi(d.substr(10, 2)), std::stoi(d.substr(12, 2)),
                   std::stoi(d.substr(14, 3)));
}

// A program that fixes TZ (as the revocation tool fixes TZ=JST-9) gets line
// stamps and a file name in that zone, whatever the PC's own zone is.
TEST_F(TraceLogTest, LocalTimeFollowsTheZoneTheProgramFixes)
{
    struct Zone {
        const char* tz;
        int offsetMinutes;
    };
    const Zone zones[] = {{"JST-9", 9 * 60}, {"EST5", -5 * 60}};
    EnableTrace(10);
    for (const Zone& zone : zones) {
        SCOPED_TRACE(zone.tz);
        for (const std::wstring& name : ListFiles(temp_, L"*.log"))
            DeleteFileW((temp_ + name).c_str());
        ASSERT_EQ(0, Run((std::string("zone ") + zone.tz).c_str()));
        std::vector<std::wstring> files = ListFiles(temp_, L"*.log");
        ASSERT_EQ(1u, files.size());
        std::string log = Logs();
        std::smatch m;
        ASSERT_TRUE(std::regex_search(log, m, std::regex("^(\\d{4})/(\\d{2})/(\\d{2}) (\\d{2}):(\\d{2}):(\\d{2})\\.(\\d{3})\\([0-9a-f]{8}\\) mark\r\n")))
            << log;
        long long stamp = EpochMs(std::stoi(m[1]), std::stoi(m[2]), std::stoi(m[3]), std::stoi(m[4]), std::stoi(m[5]),
                                  std::stoi(m[6]), std::stoi(m[7])) -
                          zone.offsetMinutes * 60000LL;
        std::smatch u;
        ASSERT_TRUE(std::regex_search(log, u, std::regex("utc:(\\d{17}) (\\d{17}) "))) << log;
        EXPECT_LE(DigitsMs(u[1]), stamp) << log;
        EXPECT_GE(DigitsMs(u[2]), stamp) << log;
        // The file is named after the first line, in the same zone.
        EXPECT_EQ(m[1].str() + m[2].str() + m[3].str() + m[4].str() + m[5].str() + m[6].str(),
                  Utf8(files[0]).substr(9, 14));
    }
}

TEST(TraceFormatTest, PathThatDoesNotFitIsRefused)
{
    TraceClock t = {2010, 4, 1, 9, 15, 30, 0};
    char path[260];
    ASSERT_TRUE(BuildTraceLogPath(path, sizeof path, "C:\\T\\", "KEVORevoke", t, false, 0));
    EXPECT_STREQ("C:\\T\\KEVORevoke20100401091530.log", path);
    ASSERT_TRUE(BuildTraceLogPath(path, sizeof path, "C:\\T\\", "kevousercert", t, true, 0xf1c));
    EXPECT_STREQ("C:\\T\\kevousercert2010040109153000000f1c.log", path);
    std::string dir(250, 'd');
    EXPECT_FALSE(BuildTraceLogPath(path, sizeof path, dir.c_str(), "KEVORevoke", t, false, 0));
    EXPECT_STREQ("", path);
    // "KEVORevoke", 14 digits and ".log" are 28 characters: 259 in all fit
    // the 260 bytes with the terminator, 260 do not.
    EXPECT_TRUE(BuildTraceLogPath(path, sizeof path, std::string(231, 'd').c_str(), "KEVORevoke", t, false, 0));
    EXPECT_EQ(259u, strlen(path));
    EXPECT_FALSE(BuildTraceLogPath(path, sizeof path, std::string(232, 'd').c_str(), "KEVORevoke", t, false, 0));
}

TEST(TraceFormatTest, PrefixFormat)
{
    TraceClock t = {2010, 4, 1, 9, 15, 30, 123};
    char prefix[64];
    EXPECT_EQ(34, FormatTracePrefix(prefix, sizeof prefix, t, 0xf1c));
    EXPECT_STREQ("2010/04/01 09:15:30.123(00000f1c) ", prefix);
}

}  // namespace

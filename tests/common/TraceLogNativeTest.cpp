// The trace log's POSIX build, as the natively built service library carries
// it: the caller's errno survives trace calls, also when the log cannot be
// opened, and stamps and the file name follow the zone in TZ. The settings
// and the path are fixed once per process, so the environment is set before
// the first trace call and the cases run in this order.
#include <gtest/gtest.h>

#include <dirent.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "TraceFormat.h"
#include "TraceLog.h"

namespace {

std::string g_dir;

class TraceEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        char pattern[] = "/tmp/kevo-trace-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(pattern));
        g_dir = pattern;
        setenv("TMPDIR", g_dir.c_str(), 1);
        setenv("KEVO_TRACE", "20", 1);
        unsetenv("KEVO_TRACECOMMIT");
    }
    void TearDown() override
    {
        std::string command = "rm -rf '" + g_dir + "'";
        if (system(command.c_str()) != 0)
            fprintf(stderr, "could not remove %s\n", g_dir.c_str());
    }
};
::testing::Environment* const g_environment = ::testing::AddGlobalTestEnvironment(new TraceEnvironment);

std::vector<std::string> LogFiles()
{
    std::vector<std::string> names;
    if (DIR* dir = opendir(g_dir.c_str())) {
        while (struct dirent* entry = readdir(dir)) {
            std::string name = entry->d_name;
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".log") == 0)
                names.push_back(name);
        }
        closedir(dir);
    }
    return names;
}

std::string ReadLog(const std::string& name)
{
    std::ifstream in(g_dir + "/" + name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

long long NowMs()
{
    struct timeval tv;
    gettimeofday(&tv, NULL);
    return static_cast<long long>(tv.tv_sec) * 1000 + tv.tv_usec / 1000;
}

TEST(TraceLogPosixTest, StampsAndFileNameFollowTheZoneInTz)
{
    struct Zone {
        const char* tz;
        int offsetMinutes;
    };
    // The first zone also names the file: its first line is written there.
    const Zone zones[] = {{"JST-9", 9 * 60}, {"EST5", -5 * 60}, {"UTC0", 0}, {"NPT-5:45", 5 * 60 + 45}};
    std::string firstStamp;
    for (const Zone& zone : zones) {
        SCOPED_TRACE(zone.tz);
        setenv("TZ", zone.tz, 1);
        tzset();
        long long before = NowMs();
        TraceLog(TRACE_LEVEL_FLOW, "mark %s\n", zone.tz);
        long long after = NowMs();

        std::vector<std::string> files = LogFiles();
        ASSERT_EQ(1u, files.size());
        std::smatch m;
        std::string log = ReadLog(files[0]);
        ASSERT_TRUE(std::regex_search(log, m,
                                      std::regex(std::string("(\\d{4})/(\\d{2})/(\\d{2}) (\\d{2}):(\\d{2}):(\\d{2})\\.(\\d{3})"
                                                             "\\([0-9a-f]{8}\\) mark ") + zone.tz + "\n")))
            << log;
        struct tm fields = {};
        fields.tm_year = std::stoi(m[1]) - 1900;
        fields.tm_mon = std::stoi(m[2]) - 1;
        fields.tm_mday = std::stoi(m[3]);
        fields.tm_hour = std::stoi(m[4]);
        fields.tm_min = std::stoi(m[5]);
        fields.tm_sec = std::stoi(m[6]);
        long long stamp = static_cast<long long>(timegm(&fields)) * 1000 + std::stoi(m[7]) - zone.offsetMinutes * 60000LL;
        EXPECT_LE(before, stamp);
        EXPECT_GE(after, stamp);
        if (firstStamp.empty()) {
            firstStamp = m[1].str() + m[2].str() + m[3].str() + m[4].str() + m[5].str() + m[6].str();
            EXPECT_EQ("KEVOProbe" + firstStamp + ".log", files[0]);
        }
    }
}

TEST(TraceLogPosixTest, TraceCallsKeepTheCallersErrno)
{
    // A real failure of the caller's, then trace calls with the log writable
    // and with its directory gone (the open then fails with ENOENT).
    for (int pass = 0; pass < 2; ++pass) {
        SCOPED_TRACE(pass == 0 ? "log writable" : "log directory gone");
        if (pass == 1) {
            for (const std::string& name : LogFiles())
                ASSERT_EQ(0, unlink((g_dir + "/" + name).c_str()));
            ASSERT_EQ(0, rmdir(g_dir.c_str()));
        }
        errno = 0;
        ASSERT_EQ(-1, close(-1));
        ASSERT_EQ(EBADF, errno);
        TraceLog(TRACE_LEVEL_ERROR, "line\n");
        EXPECT_EQ(EBADF, errno);
        TraceAppend(TRACE_LEVEL_ERROR, "fragment\n");
        EXPECT_EQ(EBADF, errno);
    }
    ASSERT_EQ(0, mkdir(g_dir.c_str(), 0700));
}

// The Windows build takes the clock as a file time and converts its seconds
// with the C runtime's localtime; the split is checked here.
TEST(TraceFormatTest, FileTimeSplitsIntoUnixSecondsAndMilliseconds)
{
    struct Case {
        unsigned long long ticks;
        bool ok;
        long long seconds;
        int millisecond;
    };
    const Case cases[] = {
        {116444736000000000ULL, true, 0, 0},                       // 1970-01-01 00:00:00.000
        {116444736000000000ULL + 12709999ULL, true, 1, 270},       // 1.2709999 s: milliseconds truncated
        {129145545301230000ULL, true, 1270080930LL, 123},          // 2010-04-01 00:15:30.123 UTC
        {116444735999999999ULL, false, 0, 0},                      // before 1970
    };
    for (const Case& c : cases) {
        long long seconds = -1;
        int millisecond = -1;
        EXPECT_EQ(c.ok, SplitFileTime(c.ticks, &seconds, &millisecond)) << c.ticks;
        if (c.ok) {
            EXPECT_EQ(c.seconds, seconds) << c.ticks;
            EXPECT_EQ(c.millisecond, millisecond) << c.ticks;
        }
    }
    // 1270080930 in Japan time is 2010/04/01 09:15:30.
    setenv("TZ", "JST-9", 1);
    tzset();
    time_t when = 1270080930;
    struct tm local;
    ASSERT_NE(nullptr, localtime_r(&when, &local));
    TraceClock c = TraceClockFromTm(local, 123);
    char prefix[64];
    FormatTracePrefix(prefix, sizeof prefix, c, 0xf1c);
    EXPECT_STREQ("2010/04/01 09:15:30.123(00000f1c) ", prefix);
}

}  // namespace

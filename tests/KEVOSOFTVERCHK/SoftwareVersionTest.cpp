// Parsing of the version file's first bytes and the version comparison.
#include <gtest/gtest.h>

#include <limits.h>
#include <stdlib.h>
#include <string.h>

#include "SoftwareVersion.h"

namespace {

SoftwareVersion V(unsigned a, unsigned b, unsigned c, unsigned d)
{
    SoftwareVersion v = {a, b, c, d};
    return v;
}

void ExpectVersion(const SoftwareVersion& expected, const SoftwareVersion& actual, const char* text)
{
    EXPECT_EQ(expected.major, actual.major) << text;
    EXPECT_EQ(expected.minor, actual.minor) << text;
    EXPECT_EQ(expected.revision, actual.revision) << text;
    EXPECT_EQ(expected.build, actual.build) << text;
}

TEST(VersionText, FourFieldsInTheirForms)
{
    struct Row {
        const char* text;
        SoftwareVersion expected;
    } rows[] = {
        {"2.4.0.1", V(2, 4, 0, 1)},
        {"2.4.0.1\r\n", V(2, 4, 0, 1)},
        {"2.4.0.1 and more text", V(2, 4, 0, 1)},
        {"2..4.0.1", V(2, 4, 0, 1)},
        {"..2.4...0.1", V(2, 4, 0, 1)},
        {"2.4.0.1.9", V(2, 4, 0, 1)},
        {" 3.\t5.+6.07", V(3, 5, 6, 7)},
        {"-1.0.0.0", V(4294967295u, 0, 0, 0)},
        {"x.y.z.w", V(0, 0, 0, 0)},
        {"12abc.4.0.1", V(12, 4, 0, 1)},
        {"99999999999.0.0.0", V(2147483647u, 0, 0, 0)},
        {"-99999999999.0.0.0", V(2147483648u, 0, 0, 0)},
    };
    for (const Row& row : rows) {
        SoftwareVersion v = V(7, 7, 7, 7);
        EXPECT_EQ(kVersionParsed, ParseVersionText(row.text, &v)) << row.text;
        ExpectVersion(row.expected, v, row.text);
    }
}

TEST(VersionText, MissingFieldIsNamedAndEarlierFieldsStayWritten)
{
    struct Row {
        const char* text;
        VersionParseResult result;
        SoftwareVersion expected;
    } rows[] = {
        {"", kVersionMissingMajor, V(9, 9, 9, 9)},
        {"...", kVersionMissingMajor, V(9, 9, 9, 9)},
        {"<html><body>404 Not Found</body>", kVersionMissingMinor, V(0, 9, 9, 9)},
        {"2.4", kVersionMissingRevision, V(2, 4, 9, 9)},
        {"2.4.1", kVersionMissingBuild, V(2, 4, 1, 9)},
        {"2.4.1.", kVersionMissingBuild, V(2, 4, 1, 9)},
    };
    for (const Row& row : rows) {
        SoftwareVersion v = V(9, 9, 9, 9);
        EXPECT_EQ(row.result, ParseVersionText(row.text, &v)) << row.text;
        ExpectVersion(row.expected, v, row.text);
    }
}

TEST(VersionCompare, FirstDifferingFieldDecides)
{
    const SoftwareVersion installed = V(2, 4, 0, 0);
    struct Row {
        SoftwareVersion server;
        bool newer;
    } rows[] = {
        {V(2, 4, 0, 1), true},
        {V(2, 4, 0, 0), false},
        {V(2, 3, 9, 9), false},
        {V(2, 4, 1, 0), true},
        {V(3, 0, 0, 0), true},
        {V(1, 99, 99, 99), false},
        {V(4294967295u, 0, 0, 0), true},
        {V(2, 4294967295u, 0, 0), true},
    };
    for (const Row& row : rows)
        EXPECT_EQ(row.newer, IsNewerVersion(row.server, installed))
            << row.server.major << "." << row.server.minor << "." << row.server.revision << "." << row.server.build;
    EXPECT_FALSE(IsNewerVersion(V(0, 0, 0, 0), V(4294967295u, 0, 0, 0)));
}

}  // namespace

namespace {

// Any 33 bytes a server may send read as the C runtime's strtok and strtol
// read them (numbers beyond 32 bits saturated), with the first missing field
// named and the fields after it untouched. The fuzz target version_file does
// the same natively over arbitrary bytes.
TEST(VersionText, ArbitraryReplyBytesAreHandled)
{
    unsigned seed = 12345;
    const char alphabet[] = "0123456789.-+ \t\r\nx\x81\x5C";
    const unsigned kUntouched = 0xA5A5A5A5u;
    for (int round = 0; round < 20000; ++round) {
        char text[kVersionFileReadSize + 1];
        size_t length = round % (kVersionFileReadSize + 1);
        for (size_t i = 0; i < length; ++i) {
            seed = seed * 1103515245u + 12345u;
            text[i] = alphabet[(seed >> 16) % (sizeof alphabet - 1)];
        }
        text[length] = 0;
        SoftwareVersion v = V(kUntouched, kUntouched, kUntouched, kUntouched);
        VersionParseResult result = ParseVersionText(text, &v);
        const unsigned fields[4] = {v.major, v.minor, v.revision, v.build};

        char copy[sizeof text];
        memcpy(copy, text, sizeof text);
        int found = 0;
        for (char* token = strtok(copy, "."); token != NULL && found < 4; token = strtok(NULL, "."), ++found) {
            long long value = strtoll(token, NULL, 10);
            value = value > INT_MAX ? INT_MAX : value < INT_MIN ? INT_MIN : value;
            ASSERT_EQ(static_cast<unsigned>(static_cast<int>(value)), fields[found]) << text;
        }
        ASSERT_EQ(found == 4 ? kVersionParsed : static_cast<VersionParseResult>(found + 1), result) << text;
        for (int later = found; later < 4; ++later)
            ASSERT_EQ(kUntouched, fields[later]) << text;
    }
}

}  // namespace

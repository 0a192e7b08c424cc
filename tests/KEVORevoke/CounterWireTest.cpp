// The bytes of the revocation body and the reading of the server clock,
// checked against values worked out by hand from the serialisation format.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <string>
#include <vector>

#include "RevokeStreamData.h"
#include "ServerDateFilter.h"

namespace {

std::vector<unsigned char> Body(const std::string& document)
{
    size_t size = 0;
    unsigned char* bytes =
        MakeRevokeStreamData(reinterpret_cast<const unsigned char*>(document.data()), document.size(), &size);
    std::vector<unsigned char> out;
    if (bytes != NULL)
        out.assign(bytes, bytes + size);
    free(bytes);
    return out;
}

TEST(RevokeStreamData, ThousandByteDocument)
{
    std::string document(1000, 'x');
    document[0] = '<';
    document[999] = '\n';
    std::vector<unsigned char> body = Body(document);
    ASSERT_EQ(1028u, body.size());
    const unsigned char header[23] = {0xAC, 0xED, 0x00, 0x05, 0x75, 0x72, 0x00, 0x02, 0x5B, 0x42, 0xAC, 0xF3,
                                      0x17, 0xF8, 0x06, 0x08, 0x54, 0xE0, 0x02, 0x00, 0x00, 0x78, 0x70};
    EXPECT_EQ(std::vector<unsigned char>(header, header + 23), std::vector<unsigned char>(body.begin(), body.begin() + 23));
    EXPECT_EQ(0x00, body[23]);
    EXPECT_EQ(0x00, body[24]);
    EXPECT_EQ(0x03, body[25]);
    EXPECT_EQ(0xE8, body[26]);
    EXPECT_EQ(document, std::string(body.begin() + 27, body.begin() + 1027));
    EXPECT_EQ(0x79, body[1027]);
}

TEST(RevokeStreamData, LengthIsBigEndianInAllFourBytes)
{
    // 0x01020304 bytes would be too many for a unit test; the length field of
    // a 66051-byte (0x010203) document shows the byte order as well.
    std::vector<unsigned char> body = Body(std::string(0x010203, 'a'));
    ASSERT_EQ(0x010203u + 28, body.size());
    EXPECT_EQ(0x00, body[23]);
    EXPECT_EQ(0x01, body[24]);
    EXPECT_EQ(0x02, body[25]);
    EXPECT_EQ(0x03, body[26]);
    EXPECT_EQ(0x79, body.back());
}

TEST(RevokeStreamData, EmptyDocumentAndLimits)
{
    std::vector<unsigned char> body = Body("");
    ASSERT_EQ(28u, body.size());
    EXPECT_EQ(0x79, body[27]);
    EXPECT_EQ(0u, RevokeStreamDataSize(REVOKE_STREAM_MAX_DOCUMENT + 1));
    EXPECT_EQ((size_t)0x7FFFFFFF, RevokeStreamDataSize(REVOKE_STREAM_MAX_DOCUMENT));
    size_t size = 99;
    EXPECT_EQ(NULL, MakeRevokeStreamData(reinterpret_cast<const unsigned char*>("x"), REVOKE_STREAM_MAX_DOCUMENT + 1, &size));
    EXPECT_EQ(0u, size);
    EXPECT_EQ(NULL, MakeRevokeStreamData(NULL, 5, &size));
    unsigned char out[8];
    EXPECT_EQ(0u, WriteRevokeStreamData(NULL, 3, out));
}

struct DateCase {
    const char* reply;
    int ok;
    const char* digits;
};

TEST(FilterServerDate, KeepsDigitsAndWantsExactlyFourteen)
{
    const DateCase cases[] = {
        {"20091224063012", 1, "20091224063012"},
        {"2009/12/24 06:30:12", 1, "20091224063012"},
        {"<html>2009-12-24T06:30:12Z</html>\r\n", 1, "20091224063012"},
        {"2009122406301", 0, ""},     // 13 digits
        {"200912240630123", 0, ""},   // 15 digits
        {"2009/12/24 06:30:12 +0", 0, ""},
        {"", 0, ""},
        {"no digits at all", 0, ""},
        {"\xef\xbc\x92" "0091224063012", 0, ""},  // a full-width two is not a digit
    };
    for (const DateCase& c : cases) {
        char out[SERVER_DATE_DIGITS + 1] = "garbage";
        EXPECT_EQ(c.ok, FilterServerDate(c.reply, out)) << c.reply;
        EXPECT_STREQ(c.digits, out) << c.reply;
    }
    char out[SERVER_DATE_DIGITS + 1];
    EXPECT_EQ(0, FilterServerDate(NULL, out));
    EXPECT_STREQ("", out);
}

TEST(RevokeReplyNextRead, StopsAtTheKeptLimit)
{
    EXPECT_EQ(1023u, RevokeReplyNextRead(0));
    EXPECT_EQ(1023u, RevokeReplyNextRead(65536 - 1024));
    EXPECT_EQ(1u, RevokeReplyNextRead(65535));
    EXPECT_EQ(0u, RevokeReplyNextRead(65536));
    EXPECT_EQ(0u, RevokeReplyNextRead(70000));
    // Full chunks add up to exactly the limit.
    size_t kept = 0, reads = 0;
    for (size_t ask; (ask = RevokeReplyNextRead(kept)) != 0; ++reads)
        kept += ask;
    EXPECT_EQ(65536u, kept);
    EXPECT_EQ(65u, reads);
}

}  // namespace

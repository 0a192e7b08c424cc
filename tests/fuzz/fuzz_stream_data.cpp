// The revocation request body for any document bytes, read back the way the
// counter reads a serialised byte array (header, big-endian length, the
// document, the reset marker), with the header bytes written out here from
// the format.
#include "RevokeStreamData.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const uint8_t kHeader[23] = {0xAC, 0xED, 0x00, 0x05, 0x75, 0x72, 0x00, 0x02, 0x5B, 0x42, 0xAC, 0xF3,
                                        0x17, 0xF8, 0x06, 0x08, 0x54, 0xE0, 0x02, 0x00, 0x00, 0x78, 0x70};
    size_t total = 12345;
    unsigned char* body = MakeRevokeStreamData(data, size, &total);
    FUZZ_CHECK(body != NULL);
    FUZZ_CHECK(total == size + 28 && RevokeStreamDataSize(size) == total);
    FUZZ_CHECK(memcmp(body, kHeader, sizeof kHeader) == 0);
    size_t length = (static_cast<size_t>(body[23]) << 24) | (body[24] << 16) | (body[25] << 8) | body[26];
    FUZZ_CHECK(length == size);
    FUZZ_CHECK(size == 0 || memcmp(body + 27, data, size) == 0);
    FUZZ_CHECK(body[total - 1] == 0x79);

    // Writing into a buffer of exactly the size touches nothing beyond it.
    std::vector<unsigned char> exact(total + 1, 0xEE);
    FUZZ_CHECK(WriteRevokeStreamData(data, size, exact.data()) == total);
    FUZZ_CHECK(exact[total] == 0xEE && memcmp(exact.data(), body, total) == 0);
    free(body);

    // Sizes beyond what the counter's length field and the send call take.
    FUZZ_CHECK(RevokeStreamDataSize(REVOKE_STREAM_MAX_DOCUMENT + 1 + size) == 0);
    FUZZ_CHECK(MakeRevokeStreamData(data, REVOKE_STREAM_MAX_DOCUMENT + 1, &total) == NULL && total == 0);
    return 0;
}

// The counter client's reading of the server clock out of any reply text,
// and the bound on what it keeps of a revocation reply.
#include "ServerDateFilter.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // As the client reads: at most 255 bytes into a zeroed buffer.
    char text[SERVER_DATE_REPLY_LIMIT + 1];
    memset(text, 0, sizeof text);
    memcpy(text, data, size < SERVER_DATE_REPLY_LIMIT ? size : SERVER_DATE_REPLY_LIMIT);

    std::string digits;
    for (const char* p = text; *p != '\0'; ++p)
        if (*p >= '0' && *p <= '9')
            digits.push_back(*p);
    char out[SERVER_DATE_DIGITS + 1];
    memset(out, 'x', sizeof out);
    int ok = FilterServerDate(text, out);
    if (digits.size() == SERVER_DATE_DIGITS) {
        FUZZ_CHECK(ok == 1);
        FUZZ_CHECK(digits == out);
    } else {
        FUZZ_CHECK(ok == 0);
        FUZZ_CHECK(out[0] == '\0');
    }

    FuzzReader in(data, size);
    size_t kept = (static_cast<size_t>(in.U32()) << 8 | in.Byte()) % (2 * REVOKE_REPLY_LIMIT);
    size_t ask = RevokeReplyNextRead(kept);
    FUZZ_CHECK(ask <= REVOKE_REPLY_CHUNK);
    FUZZ_CHECK((ask == 0) == (kept >= REVOKE_REPLY_LIMIT));
    FUZZ_CHECK(kept >= REVOKE_REPLY_LIMIT || kept + ask <= REVOKE_REPLY_LIMIT);
    return 0;
}

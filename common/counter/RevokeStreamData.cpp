#include "RevokeStreamData.h"

#include <stdlib.h>
#include <string.h>

namespace {

// Stream magic and version, then a new array of the class "[B" (with the
// serial version identifier of byte arrays, serialisable, no fields, no
// superclass); the array length follows.
const unsigned char kHeader[23] = {
    0xAC, 0xED, 0x00, 0x05,                          // magic, version
    0x75,                                            // new array
    0x72, 0x00, 0x02, 0x5B, 0x42,                    // new class descriptor "[B"
    0xAC, 0xF3, 0x17, 0xF8, 0x06, 0x08, 0x54, 0xE0,  // serialVersionUID
    0x02, 0x00, 0x00,                                // serialisable, no fields
    0x78, 0x70                                       // end block data, no superclass
};

const unsigned char kReset = 0x79;

}  // namespace

size_t RevokeStreamDataSize(size_t n)
{
    if (n > REVOKE_STREAM_MAX_DOCUMENT)
        return 0;
    return n + REVOKE_STREAM_OVERHEAD;
}

size_t WriteRevokeStreamData(const unsigned char* document, size_t n, unsigned char* out)
{
    size_t total = RevokeStreamDataSize(n);
    if (total == 0 || out == NULL || (document == NULL && n != 0))
        return 0;
    memcpy(out, kHeader, sizeof kHeader);
    unsigned long length = (unsigned long)n;
    out[23] = (unsigned char)((length >> 24) & 0xFF);
    out[24] = (unsigned char)((length >> 16) & 0xFF);
    out[25] = (unsigned char)((length >> 8) & 0xFF);
    out[26] = (unsigned char)(length & 0xFF);
    if (n != 0)
        memcpy(out + REVOKE_STREAM_HEADER_SIZE, document, n);
    out[REVOKE_STREAM_HEADER_SIZE + n] = kReset;
    return total;
}

unsigned char* MakeRevokeStreamData(const unsigned char* document, size_t n, size_t* size)
{
    if (size != NULL)
        *size = 0;
    size_t total = RevokeStreamDataSize(n);
    if (total == 0 || (document == NULL && n != 0))
        return NULL;
    unsigned char* out = (unsigned char*)malloc(total);
    if (out == NULL)
        return NULL;
    WriteRevokeStreamData(document, n, out);
    if (size != NULL)
        *size = total;
    return out;
}

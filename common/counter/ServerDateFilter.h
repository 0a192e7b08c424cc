// Reading the online counter's clock out of its reply text, and the limits
// of what the counter client keeps of a reply. Pure functions.
#ifndef KEVO_SERVER_DATE_FILTER_H
#define KEVO_SERVER_DATE_FILTER_H

#include <stddef.h>

enum {
    SERVER_DATE_DIGITS = 14,        // YYYYMMDDhhmmss
    SERVER_DATE_REPLY_LIMIT = 255,  // bytes of the date reply that are looked at
    REVOKE_REPLY_LIMIT = 65536,     // bytes of a revocation reply that are kept
    REVOKE_REPLY_CHUNK = 1023       // bytes asked for per read
};

// Keeps the characters '0' to '9' of the zero-terminated text, in order.
// Returns 1 and the 14 digits with a terminating zero in out when exactly 14
// remain; otherwise 0 with out empty. text may be NULL (gives 0).
int FilterServerDate(const char* text, char out[SERVER_DATE_DIGITS + 1]);

// Bytes to ask for in the next read of a revocation reply when kept bytes
// are already held: at most one chunk, never beyond the kept limit; 0 when
// the limit is reached and reading must stop.
size_t RevokeReplyNextRead(size_t kept);

#endif

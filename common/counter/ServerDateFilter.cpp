#include "ServerDateFilter.h"

int FilterServerDate(const char* text, char out[SERVER_DATE_DIGITS + 1])
{
    out[0] = '\0';
    if (text == NULL)
        return 0;
    size_t count = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9')
            continue;
        if (count == SERVER_DATE_DIGITS) {  // a fifteenth digit: not a date
            out[0] = '\0';
            return 0;
        }
        out[count++] = *p;
    }
    if (count != SERVER_DATE_DIGITS) {
        out[0] = '\0';
        return 0;
    }
    out[count] = '\0';
    return 1;
}

size_t RevokeReplyNextRead(size_t kept)
{
    if (kept >= REVOKE_REPLY_LIMIT)
        return 0;
    size_t left = REVOKE_REPLY_LIMIT - kept;
    return left < REVOKE_REPLY_CHUNK ? left : REVOKE_REPLY_CHUNK;
}

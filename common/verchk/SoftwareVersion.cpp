#include "SoftwareVersion.h"

#include <stddef.h>

namespace {

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Next '.'-separated token after *cursor: skips leading dots, returns its
// start, or false when only dots (or nothing) remain.
bool NextToken(const char** cursor, const char** start)
{
    const char* p = *cursor;
    while (*p == '.')
        ++p;
    if (*p == 0)
        return false;
    *start = p;
    while (*p != 0 && *p != '.')
        ++p;
    *cursor = p;
    return true;
}

}  // namespace

int VersionTokenValue(const char* token)
{
    const char* p = token;
    while (IsSpace(*p))
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    // Accumulate in 64 bits and saturate, so that long digit runs stay defined.
    long long value = 0;
    const long long limit = negative ? 2147483648LL : 2147483647LL;
    while (*p >= '0' && *p <= '9') {
        if (value < limit) {
            value = value * 10 + (*p - '0');
            if (value > limit)
                value = limit;
        }
        ++p;
    }
    return static_cast<int>(negative ? -value : value);
}

VersionParseResult ParseVersionText(const char* text, SoftwareVersion* ver)
{
    unsigned int* fields[4] = {&ver->major, &ver->minor, &ver->revision, &ver->build};
    const char* cursor = text;
    for (int i = 0; i < 4; ++i) {
        const char* start = NULL;
        if (!NextToken(&cursor, &start))
            return static_cast<VersionParseResult>(i + 1);
        // The conversion stops at the first non-digit, so the dot that ends
        // the token ends the number too.
        *fields[i] = static_cast<unsigned int>(VersionTokenValue(start));
    }
    return kVersionParsed;
}

bool IsNewerVersion(const SoftwareVersion& server, const SoftwareVersion& installed)
{
    const unsigned int s[4] = {server.major, server.minor, server.revision, server.build};
    const unsigned int l[4] = {installed.major, installed.minor, installed.revision, installed.build};
    for (int i = 0; i < 4; ++i) {
        if (s[i] != l[i])
            return s[i] > l[i];
    }
    return false;
}

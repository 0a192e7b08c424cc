// Native stand-in of the code-page seam, with iconv: the ANSI code page is
// 932, as on Windows. Like the platform's conversions
// without flags, a character the target cannot hold becomes the code page's
// default character ("?" in 932, U+FFFD in UTF-8) instead of failing, and
// an invalid byte sequence becomes U+30FB. As on Windows, each wchar_t holds
// one UTF-16 unit (a character above U+FFFF is a surrogate pair).
#include "TextCodePage.h"

#include <errno.h>
#include <iconv.h>
#include <string.h>

#include <string>

namespace {

const char* IconvName(TextCodePage codePage)
{
    return codePage == kTextCodePageUtf8 ? "UTF-8" : "CP932";
}

// Converts inLength bytes and appends the result to out; unconvertible input
// units (unitSize bytes each) are replaced by substitute. False when iconv
// cannot be opened.
bool Convert(const char* to, const char* from, const char* in, size_t inLength, size_t unitSize,
             const std::string& substitute, std::string* out)
{
    // Opening a converter loads its tables: each direction is opened once
    // (the buffer is used on one thread).
    static const char* names[4][2];
    static iconv_t opened[4];
    static int count = 0;
    iconv_t cd = (iconv_t)-1;
    for (int i = 0; i < count; ++i)
        if (strcmp(names[i][0], to) == 0 && strcmp(names[i][1], from) == 0)
            cd = opened[i];
    if (cd == (iconv_t)-1) {
        cd = iconv_open(to, from);
        if (cd == (iconv_t)-1 || count == 4)
            return false;
        names[count][0] = to;
        names[count][1] = from;
        opened[count++] = cd;
    }
    iconv(cd, NULL, NULL, NULL, NULL);
    char* inPtr = const_cast<char*>(in);
    size_t inLeft = inLength;
    char chunk[256];
    while (inLeft > 0) {
        char* outPtr = chunk;
        size_t outLeft = sizeof chunk;
        size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        out->append(chunk, sizeof chunk - outLeft);
        if (rc != (size_t)-1)
            break;
        if (errno == E2BIG)
            continue;
        // EILSEQ or EINVAL: one unit that cannot be converted.
        out->append(substitute);
        size_t skip = unitSize < inLeft ? unitSize : inLeft;
        inPtr += skip;
        inLeft -= skip;
        iconv(cd, NULL, NULL, NULL, NULL);
    }
    return true;
}

}  // namespace

int TextWideToNarrow(TextCodePage codePage, const wchar_t* text, char* out, int outSize)
{
    if (text == NULL || outSize < 0)
        return 0;
    std::string units;
    for (const wchar_t* p = text; *p != L'\0'; ++p) {
        unsigned int unit = static_cast<unsigned int>(*p) & 0xFFFFu;
        units.push_back(static_cast<char>(unit & 0xFF));
        units.push_back(static_cast<char>(unit >> 8));
    }
    std::string narrow;
    const std::string substitute = codePage == kTextCodePageUtf8 ? std::string("\xEF\xBF\xBD") : std::string("?");
    if (!Convert(IconvName(codePage), "UTF-16LE", units.data(), units.size(), 2, substitute, &narrow))
        return 0;
    narrow.push_back('\0');
    if (narrow.size() > 0x7FFFFFFFu)
        return 0;
    int needed = static_cast<int>(narrow.size());
    if (outSize == 0)
        return needed;
    if (needed > outSize)
        return 0;
    memcpy(out, narrow.data(), narrow.size());
    return needed;
}

int TextNarrowToWide(TextCodePage codePage, const char* text, int length, wchar_t* out, int outUnits)
{
    if (text == NULL || length <= 0 || outUnits < 0)
        return 0;
    std::string units;
    if (!Convert("UTF-16LE", IconvName(codePage), text, static_cast<size_t>(length), 1, std::string("\xFB\x30"),
                 &units))
        return 0;
    int count = static_cast<int>(units.size() / 2);
    if (outUnits == 0)
        return count;
    if (count > outUnits)
        return 0;
    for (int i = 0; i < count; ++i)
        out[i] = static_cast<wchar_t>(static_cast<unsigned char>(units[2 * i]) |
                                      (static_cast<unsigned char>(units[2 * i + 1]) << 8));
    return count;
}

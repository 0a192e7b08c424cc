// The version checker's reading of the published version file: the first
// 33 bytes of any reply, split at dots and converted, against strtok and
// strtoll as the independent reading; and the comparison against a
// lexicographic comparison of the four fields.
#include <limits.h>

#include <tuple>

#include "SoftwareVersion.h"
#include "fuzz_support.h"

namespace {

unsigned int Reference(const char* token)
{
    long long v = strtoll(token, NULL, 10);
    if (v > INT_MAX)
        v = INT_MAX;
    if (v < INT_MIN)
        v = INT_MIN;
    return static_cast<unsigned int>(static_cast<int>(v));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // As the checker reads the reply: at most 33 bytes into a zeroed buffer.
    char text[kVersionFileReadSize + 1];
    memset(text, 0, sizeof text);
    memcpy(text, data, size < kVersionFileReadSize ? size : kVersionFileReadSize);

    const unsigned int kUntouched = 0xA5A5A5A5u;
    SoftwareVersion ver = {kUntouched, kUntouched, kUntouched, kUntouched};
    VersionParseResult result = ParseVersionText(text, &ver);
    const unsigned int fields[4] = {ver.major, ver.minor, ver.revision, ver.build};

    char copy[sizeof text];
    memcpy(copy, text, sizeof text);
    char* token = strtok(copy, ".");
    int i = 0;
    for (; i < 4 && token != NULL; ++i) {
        FUZZ_CHECK(fields[i] == Reference(token));
        token = i < 3 ? strtok(NULL, ".") : token;
    }
    if (i < 4) {
        FUZZ_CHECK(result == static_cast<VersionParseResult>(i + 1));
        for (int later = i; later < 4; ++later)
            FUZZ_CHECK(fields[later] == kUntouched);
    } else {
        FUZZ_CHECK(result == kVersionParsed);
    }

    // Any text as one token, whatever its length.
    std::string whole(reinterpret_cast<const char*>(data), size);
    whole = whole.c_str();
    FUZZ_CHECK(static_cast<unsigned int>(VersionTokenValue(whole.c_str())) == Reference(whole.c_str()));

    // The comparison of two versions taken from the input.
    FuzzReader in(data, size);
    SoftwareVersion a = {in.U32(), in.U32(), in.U32(), in.U32()};
    SoftwareVersion b = {in.U32(), in.U32(), in.U32(), in.U32()};
    if (in.Byte() & 1)
        b = a, b.build = in.U32();
    bool newer = std::tie(a.major, a.minor, a.revision, a.build) > std::tie(b.major, b.minor, b.revision, b.build);
    FUZZ_CHECK(IsNewerVersion(a, b) == newer);
    FUZZ_CHECK(!(IsNewerVersion(a, b) && IsNewerVersion(b, a)));
    FUZZ_CHECK(!IsNewerVersion(a, a));
    return 0;
}

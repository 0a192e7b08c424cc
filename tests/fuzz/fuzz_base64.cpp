// The base64 encoder over any bytes, decoded back here with a decoder of
// its own and checked for the RFC 4648 form: length, alphabet, padding.
#include "TextBuffer.h"
#include "fuzz_support.h"

namespace {

int Value(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    char* text = Base64Encode(static_cast<unsigned long>(size), data);
    if (size == 0) {
        FUZZ_CHECK(text == NULL);
        FUZZ_CHECK(Base64Encode(0, NULL) == NULL && Base64Encode(3, NULL) == NULL);
        return 0;
    }
    FUZZ_CHECK(text != NULL);
    size_t length = strlen(text);
    FUZZ_CHECK(length == (size + 2) / 3 * 4);
    size_t padding = (3 - size % 3) % 3;
    for (size_t i = 0; i < length; ++i) {
        if (i >= length - padding)
            FUZZ_CHECK(text[i] == '=');
        else
            FUZZ_CHECK(Value(text[i]) >= 0);
    }
    std::vector<uint8_t> decoded;
    unsigned value = 0;
    int bits = 0;
    for (size_t i = 0; i < length - padding; ++i) {
        value = (value << 6) | static_cast<unsigned>(Value(text[i]));
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            decoded.push_back(static_cast<uint8_t>((value >> bits) & 0xFF));
        }
    }
    // The unused bits of the last character are zero.
    FUZZ_CHECK((value & ((1u << bits) - 1)) == 0);
    FUZZ_CHECK(decoded.size() == size && memcmp(decoded.data(), data, size) == 0);
    free(text);
    return 0;
}

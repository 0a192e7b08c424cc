// Shared by the fuzz targets: a reader over the input bytes and a check that
// makes libFuzzer record the input when a property does not hold.
#ifndef KEVO_FUZZ_SUPPORT_H
#define KEVO_FUZZ_SUPPORT_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#define FUZZ_CHECK(condition)                                                            \
    do {                                                                                 \
        if (!(condition)) {                                                              \
            fprintf(stderr, "check failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
            abort();                                                                     \
        }                                                                                \
    } while (0)

class FuzzReader {
public:
    FuzzReader(const uint8_t* data, size_t size) : data_(data), size_(size), at_(0) {}
    bool Empty() const { return at_ >= size_; }
    size_t Left() const { return size_ - at_; }
    uint8_t Byte() { return Empty() ? 0 : data_[at_++]; }
    uint32_t U32()
    {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v = (v << 8) | Byte();
        return v;
    }
    // Up to max bytes as a zero-terminated narrow text (a NUL ends it early).
    std::string Text(size_t max)
    {
        std::string out;
        while (!Empty() && out.size() < max) {
            uint8_t b = Byte();
            if (b == 0)
                break;
            out.push_back(static_cast<char>(b));
        }
        return out;
    }
    // UTF-16 units, two bytes each, up to max units or a zero unit: the
    // values the product's wchar_t holds on Windows.
    std::wstring Units(size_t max)
    {
        std::wstring out;
        while (Left() >= 2 && out.size() < max) {
            uint16_t unit = static_cast<uint16_t>((data_[at_] << 8) | data_[at_ + 1]);
            at_ += 2;
            if (unit == 0)
                break;
            out.push_back(static_cast<wchar_t>(unit));
        }
        return out;
    }
    std::vector<uint8_t> Rest()
    {
        std::vector<uint8_t> out(data_ + at_, data_ + size_);
        at_ = size_;
        return out;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_;
};

// UTF-8 of UTF-16 units as the platform converts without flags: a pair
// gives its character, a lone surrogate U+FFFD.
inline std::string Utf8Of(const std::wstring& units)
{
    std::string out;
    for (size_t i = 0; i < units.size(); ++i) {
        uint32_t c = static_cast<uint32_t>(units[i]);
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<uint32_t>(units[i + 1]) - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

#endif

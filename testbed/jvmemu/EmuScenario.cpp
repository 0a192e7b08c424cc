#include "EmuScenario.h"

#include <stdlib.h>

void EmuScenario::Parse(const std::string& text)
{
    values_.clear();
    reached_.clear();
    size_t start = text.compare(0, 3, "\xef\xbb\xbf") == 0 ? 3 : 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line[line.size() - 1] == '\r')
            line.erase(line.size() - 1);
        size_t eq = line.find('=');
        if (line.empty() || line[0] == '#' || eq == std::string::npos || eq == 0)
            continue;
        values_[line.substr(0, eq)] = line.substr(eq + 1);
    }
}

std::string EmuScenario::Get(const std::string& key, const std::string& fallback) const
{
    std::map<std::string, std::string>::const_iterator it = values_.find(key);
    return it == values_.end() ? fallback : it->second;
}

int EmuScenario::Int(const std::string& key, int fallback) const
{
    std::string v = Get(key, std::string());
    if (v.empty())
        return fallback;
    // Decimal, or hex with 0x (an unsigned 32-bit pattern such as 0xFFFFFF98).
    bool hex = v.size() > 2 && v[0] == '0' && (v[1] == 'x' || v[1] == 'X');
    return hex ? static_cast<int>(strtoul(v.c_str() + 2, NULL, 16)) : static_cast<int>(strtol(v.c_str(), NULL, 10));
}

bool EmuScenario::OomAt(const std::string& step)
{
    std::string oom = Get("oom", std::string());
    size_t hash = oom.find('#');
    int nth = hash == std::string::npos ? 1 : atoi(oom.c_str() + hash + 1);
    if (oom.substr(0, hash) != step)
        return false;
    return ++reached_[step] == nth;
}

std::u16string EmuUtf16(const std::string& utf8)
{
    std::u16string out;
    for (size_t i = 0; i < utf8.size();) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        unsigned long cp = extra == 0 ? c : extra == 1 ? (c & 0x1f) : extra == 2 ? (c & 0x0f) : (c & 0x07);
        bool ok = extra >= 0;
        for (int k = 1; ok && k <= extra; ++k) {
            if (i + k >= utf8.size() || (static_cast<unsigned char>(utf8[i + k]) & 0xc0) != 0x80)
                ok = false;
            else
                cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3f);
        }
        if (!ok || cp > 0x10ffff) {
            out.push_back(0xfffd);
            ++i;
            continue;
        }
        i += 1 + extra;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xd800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xdc00 + (cp & 0x3ff)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

std::string EmuModifiedUtf8(const std::u16string& text)
{
    std::string out;
    for (char16_t u : text) {
        if (u != 0 && u < 0x80) {
            out.push_back(static_cast<char>(u));
        } else if (u < 0x800) {
            out.push_back(static_cast<char>(0xc0 | (u >> 6)));
            out.push_back(static_cast<char>(0x80 | (u & 0x3f)));
        } else {
            out.push_back(static_cast<char>(0xe0 | (u >> 12)));
            out.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3f)));
            out.push_back(static_cast<char>(0x80 | (u & 0x3f)));
        }
    }
    return out;
}

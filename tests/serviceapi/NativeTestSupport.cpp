#include "NativeTestSupport.h"

#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

namespace {
// Each test process writes its trace into a directory of its own under the
// TMPDIR it was given, so that runs never read each other's lines.
struct FreshTraceDirectory {
    FreshTraceDirectory()
    {
        const char* base = getenv("TMPDIR");
        std::string pattern = std::string(base != NULL && *base != '\0' ? base : "/tmp") + "/run-XXXXXX";
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        if (mkdtemp(&buf[0]) != NULL)
            setenv("TMPDIR", &buf[0], 1);
    }
};
FreshTraceDirectory g_freshTraceDirectory;
}  // namespace

namespace satest {

std::u16string Units(const uint16_t* field)
{
    std::u16string out;
    for (const uint16_t* p = field; *p != 0; ++p)
        out.push_back(static_cast<char16_t>(*p));
    return out;
}

namespace {
// Decodes UTF-8 into code points.
std::vector<uint32_t> CodePoints(const std::string& utf8)
{
    std::vector<uint32_t> out;
    for (size_t i = 0; i < utf8.size();) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        uint32_t cp;
        int extra;
        if (c < 0x80) { cp = c; extra = 0; }
        else if ((c >> 5) == 6) { cp = c & 0x1f; extra = 1; }
        else if ((c >> 4) == 14) { cp = c & 0x0f; extra = 2; }
        else { cp = c & 0x07; extra = 3; }
        for (int k = 1; k <= extra; ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3f);
        out.push_back(cp);
        i += 1 + extra;
    }
    return out;
}

void Put3(std::string& out, uint32_t unit)
{
    out.push_back(static_cast<char>(0xe0 | (unit >> 12)));
    out.push_back(static_cast<char>(0x80 | ((unit >> 6) & 0x3f)));
    out.push_back(static_cast<char>(0x80 | (unit & 0x3f)));
}
}  // namespace

std::u16string Utf16(const std::string& utf8)
{
    std::u16string out;
    for (uint32_t cp : CodePoints(utf8)) {
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

std::string ModifiedUtf8(const std::string& utf8)
{
    std::string out;
    for (uint32_t cp : CodePoints(utf8)) {
        if (cp == 0) {
            out += "\xc0\x80";
        } else if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xc0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3f)));
        } else if (cp < 0x10000) {
            Put3(out, cp);
        } else {
            uint32_t v = cp - 0x10000;
            Put3(out, 0xd800 + (v >> 10));
            Put3(out, 0xdc00 + (v & 0x3ff));
        }
    }
    return out;
}

std::string Hex(const std::string& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out.push_back(digits[c >> 4]);
        out.push_back(digits[c & 15]);
    }
    return out;
}

std::string TraceText()
{
    const char* dir = getenv("TMPDIR");
    std::string base = dir != NULL ? dir : "/tmp";
    std::string all;
    DIR* d = opendir(base.c_str());
    if (d == NULL)
        return all;
    while (struct dirent* e = readdir(d)) {
        if (strncmp(e->d_name, "kevousercert", 12) != 0)
            continue;
        std::ifstream in(base + "/" + e->d_name, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        all += s.str();
    }
    closedir(d);
    return all;
}

size_t Count(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t p = 0; (p = text.find(what, p)) != std::string::npos; p += what.size())
        ++n;
    return n;
}

KEVOBasicData JunkRecord()
{
    static uint16_t wide[] = {'j', 0};
    static char narrow[] = "junk";
    KEVOBasicData r = {wide, wide, narrow, narrow, narrow, narrow};
    return r;
}

bool AllNull(const KEVOBasicData& r)
{
    return r.name == NULL && r.address == NULL && r.gender == NULL && r.dateOfBirth == NULL &&
           r.substituteCharacterOfName == NULL && r.substituteCharacterOfAddress == NULL;
}

bool WaitForFile(const std::string& path, int timeoutMs)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    struct stat st;
    while (stat(path.c_str(), &st) != 0) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

std::string MakeTempDir(const char* label)
{
    std::string pattern = std::string("/tmp/kevo-sa-") + label + "-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    char* made = mkdtemp(&buf[0]);
    return made != NULL ? std::string(made) : std::string();
}

void TouchFile(const std::string& path)
{
    FILE* f = fopen(path.c_str(), "w");
    if (f != NULL)
        fclose(f);
}

}  // namespace satest

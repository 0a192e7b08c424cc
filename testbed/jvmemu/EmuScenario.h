// What the emulated service answers in one call: the scenario file's
// key=value lines (see README.md), and the text conversions a Java VM makes.
#ifndef KEVO_JVMEMU_SCENARIO_H
#define KEVO_JVMEMU_SCENARIO_H

#include <map>
#include <string>

class EmuScenario {
public:
    // UTF-8 lines "key=value"; a leading byte-order mark, "\r", empty lines
    // and lines starting with '#' are ignored. A later line wins.
    void Parse(const std::string& text);
    bool Has(const std::string& key) const { return values_.count(key) != 0; }
    std::string Get(const std::string& key, const std::string& fallback) const;
    int Int(const std::string& key, int fallback) const;
    // "oom=<step>[#n]": true at the nth time (default the first) that step
    // is reached since the scenario was read.
    bool OomAt(const std::string& step);

private:
    std::map<std::string, std::string> values_;
    std::map<std::string, int> reached_;
};

// UTF-8 -> UTF-16 (characters beyond the BMP as surrogate pairs); a
// malformed sequence becomes U+FFFD.
std::u16string EmuUtf16(const std::string& utf8);
// UTF-16 -> JNI's modified UTF-8: U+0000 as C0 80, each surrogate unit on
// its own as three bytes.
std::string EmuModifiedUtf8(const std::u16string& text);

#endif

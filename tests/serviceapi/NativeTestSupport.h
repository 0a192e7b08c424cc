// Helpers of the native tests of the service API library: certificates
// that steer the Java stand-ins, the library's trace log, expected texts.
#ifndef KEVO_SERVICEAPI_NATIVE_TEST_SUPPORT_H
#define KEVO_SERVICEAPI_NATIVE_TEST_SUPPORT_H

#include <stdint.h>

#include <string>
#include <vector>

#include "KEVOServiceAPI.h"

namespace satest {

// A certificate whose bytes are the scenario lines for the stand-ins.
class Cert {
public:
    explicit Cert(const std::string& bytes) : bytes_(bytes.begin(), bytes.end())
    {
        data_.length = static_cast<uint32_t>(bytes_.size());
        data_.data = bytes_.empty() ? NULL : &bytes_[0];
    }
    KEVOBinaryData* get() { return &data_; }

private:
    std::vector<unsigned char> bytes_;
    KEVOBinaryData data_;
};

// The UTF-16 units of a zero-terminated wide field.
std::u16string Units(const uint16_t* field);
// UTF-8 text -> UTF-16 units, computed independently of Java.
std::u16string Utf16(const std::string& utf8);
// UTF-8 -> JNI's modified UTF-8 (supplementary characters as two 3-byte
// surrogate sequences).
std::string ModifiedUtf8(const std::string& utf8);
std::string Hex(const std::string& bytes);

// Everything the library's trace files in TMPDIR hold.
std::string TraceText();
size_t Count(const std::string& text, const std::string& what);

// A record whose fields point at junk, to see them cleared.
KEVOBasicData JunkRecord();
bool AllNull(const KEVOBasicData& record);

// Waits (bounded) until path exists.
bool WaitForFile(const std::string& path, int timeoutMs);
std::string MakeTempDir(const char* label);
void TouchFile(const std::string& path);

}  // namespace satest

#endif

// The settings decisions over texts of the registry and the settings file:
// the URL scheme, the Shift-JIS-aware path join, the install-directory
// test and the proxy text.
#include "SettingsCore.h"
#include "fuzz_support.h"

using namespace kevoset;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzReader in(data, size);
    std::string dir = in.Text(1100);
    std::string file = in.Text(300);
    std::string host = in.Text(1100);
    int port = static_cast<int>(in.U32());
    size_t capacity = in.U32() % 2500;

    UrlScheme scheme = ClassifyUrlScheme(dir.c_str());
    FUZZ_CHECK(scheme == (dir.rfind("https://", 0) == 0   ? kSchemeHttps
                          : dir.rfind("http://", 0) == 0 ? kSchemeHttp
                                                         : kSchemeOther));

    bool endsWithBackslash = EndsWithBackslash(dir.c_str(), IsCp932LeadByte);
    if (dir.empty() || dir.back() != '\\')
        FUZZ_CHECK(!endsWithBackslash);
    // A trailing backslash after a single-byte character is one.
    if (dir.size() >= 2 && dir.back() == '\\' && static_cast<unsigned char>(dir[dir.size() - 2]) < 0x80)
        FUZZ_CHECK(endsWithBackslash);

    bool separator = !dir.empty() && !endsWithBackslash;
    std::string joined = dir + (separator ? "\\" : "") + file;
    FUZZ_CHECK(JoinedPathSize(dir.c_str(), file.c_str()) >= joined.size() + 1);
    std::vector<char> out(capacity + 1, '#');
    bool fits = JoinPath(dir.c_str(), file.c_str(), IsCp932LeadByte, out.data(), capacity);
    FUZZ_CHECK(out[capacity] == '#');  // nothing beyond the capacity
    if (capacity == 0) {
        FUZZ_CHECK(!fits);
    } else if (joined.size() + 1 <= capacity) {
        FUZZ_CHECK(fits && joined == out.data());
    } else {
        FUZZ_CHECK(!fits && out[0] == '\0');
    }
    std::vector<char> exact(JoinedPathSize(dir.c_str(), file.c_str()));
    FUZZ_CHECK(JoinPath(dir.c_str(), file.c_str(), IsCp932LeadByte, exact.data(), exact.size()));

    if (IsUsableInstallDir(dir.c_str()))
        FUZZ_CHECK(dir.size() >= 3 && (dir[1] == ':' || (dir[0] == '\\' && dir[1] == '\\')));

    size_t proxyCapacity = ProxyTextCapacity(host.c_str());
    std::vector<char> proxy(proxyCapacity + 1, '#');
    bool formatted = FormatProxyText(host.c_str(), port, proxy.data(), proxyCapacity);
    FUZZ_CHECK(proxy[proxyCapacity] == '#');
    std::string expected = host + ":" + std::to_string(port);
    if (IsValidProxyPort(port))
        FUZZ_CHECK(formatted);
    if (formatted)
        FUZZ_CHECK(expected == proxy.data());
    return 0;
}

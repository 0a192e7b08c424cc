// Decisions of the install path and connection settings that need no
// platform: the URL scheme test, the double-byte-aware path join, the
// proxy choice and the proxy text. The Win32 layer (KevoSettings.cpp)
// calls these around the registry, profile and WinINet calls.
#ifndef KEVO_SETTINGSCORE_H
#define KEVO_SETTINGSCORE_H

#include <stddef.h>

#include "SettingInfo.h"

namespace kevoset {

enum UrlScheme { kSchemeOther, kSchemeHttp, kSchemeHttps };
// Case-sensitive: "HTTPS://" is not a scheme the programs accept.
UrlScheme ClassifyUrlScheme(const char* url);

typedef bool (*LeadBytePredicate)(unsigned char byte);
// Lead bytes of code page 932 (0x81-0x9F, 0xE0-0xFC).
bool IsCp932LeadByte(unsigned char byte);

// True when the last character of text is a single-byte backslash; the
// second byte of a double-byte character (the 0x5C of ソ or 表) is not one.
bool EndsWithBackslash(const char* text, LeadBytePredicate isLead);

// Bytes the joined path needs with its terminator: dir, at most one added
// backslash, file.
size_t JoinedPathSize(const char* dir, const char* file);
// Writes dir + "\\" (unless dir already ends with one) + file into out.
// Returns false when out (capacity bytes) is too small; out is then "".
bool JoinPath(const char* dir, const char* file, LeadBytePredicate isLead, char* out, size_t capacity);

// An install directory the programs may build file paths on: a drive-letter
// path ("C:\..." or "C:/...") or a UNC path ("\\server\..."). Empty and
// relative texts would let the settings file be looked up in the Windows
// folder and the service library be loaded through the DLL search path.
bool IsUsableInstallDir(const char* dir);

bool IsValidProxyPort(int port);

enum OpenType { kOpenPreconfig, kOpenProxy, kOpenDirect };
// proxy_type 0: the system's proxy configuration; 2 with a host: that proxy;
// anything else: a direct connection.
OpenType SelectOpenType(const SettingInfo& info);

// Capacity the proxy text buffer gets: the host's length plus 12.
size_t ProxyTextCapacity(const char* host);
// "%s:%d" of host and port, cut to capacity. False when it did not fit.
bool FormatProxyText(const char* host, int port, char* out, size_t capacity);

// Proxy credentials go on a connection only when both user and password are set.
bool HasProxyCredentials(const SettingInfo& info);

}  // namespace kevoset

#endif

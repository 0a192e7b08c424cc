#include "SettingsCore.h"

#include <stdio.h>
#include <string.h>

namespace kevoset {

UrlScheme ClassifyUrlScheme(const char* url)
{
    if (url == NULL)
        return kSchemeOther;
    if (strncmp(url, "https://", 8) == 0)
        return kSchemeHttps;
    if (strncmp(url, "http://", 7) == 0)
        return kSchemeHttp;
    return kSchemeOther;
}

bool IsCp932LeadByte(unsigned char byte)
{
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

bool EndsWithBackslash(const char* text, LeadBytePredicate isLead)
{
    // Walk forward character by character: only a forward scan knows whether
    // a 0x5C byte is a character of its own or the tail of a double-byte one.
    bool lastIsBackslash = false;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    while (*p != 0) {
        if (isLead(*p) && p[1] != 0) {
            lastIsBackslash = false;
            p += 2;
        } else {
            lastIsBackslash = (*p == '\\');
            ++p;
        }
    }
    return lastIsBackslash;
}

size_t JoinedPathSize(const char* dir, const char* file)
{
    return strlen(dir) + strlen(file) + 2;
}

bool JoinPath(const char* dir, const char* file, LeadBytePredicate isLead, char* out, size_t capacity)
{
    if (capacity == 0)
        return false;
    out[0] = 0;
    size_t dirLen = strlen(dir);
    size_t fileLen = strlen(file);
    bool addSeparator = dirLen > 0 && !EndsWithBackslash(dir, isLead);
    size_t need = dirLen + (addSeparator ? 1 : 0) + fileLen + 1;
    if (need > capacity)
        return false;
    memcpy(out, dir, dirLen);
    size_t at = dirLen;
    if (addSeparator)
        out[at++] = '\\';
    memcpy(out + at, file, fileLen);
    out[at + fileLen] = 0;
    return true;
}

bool IsUsableInstallDir(const char* dir)
{
    if (dir == NULL || dir[0] == 0)
        return false;
    unsigned char c = static_cast<unsigned char>(dir[0]);
    bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    if (letter && dir[1] == ':' && (dir[2] == '\\' || dir[2] == '/'))
        return true;
    return dir[0] == '\\' && dir[1] == '\\' && dir[2] != 0;
}

bool IsValidProxyPort(int port)
{
    return port >= 1 && port <= 65535;
}

OpenType SelectOpenType(const SettingInfo& info)
{
    if (info.proxy_type == 0)
        return kOpenPreconfig;
    if (info.proxy_type == 2 && info.proxy_host != NULL)
        return kOpenProxy;
    return kOpenDirect;
}

size_t ProxyTextCapacity(const char* host)
{
    return strlen(host) + 12;
}

bool FormatProxyText(const char* host, int port, char* out, size_t capacity)
{
    if (capacity == 0)
        return false;
    int n = snprintf(out, capacity, "%s:%d", host, port);
    return n >= 0 && static_cast<size_t>(n) < capacity;
}

bool HasProxyCredentials(const SettingInfo& info)
{
    return info.proxy_ID != NULL && info.proxy_password != NULL;
}

}  // namespace kevoset

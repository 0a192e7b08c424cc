// The WinINet seams of the shared client code, for test programs only: linked
// into a test program, these definitions replace the library's do-nothing
// ones. The variable KEVO_TEST_WININET holds items separated by ";":
//   fail=<error>@<text>          the send of every request whose URL holds
//                                text fails with that Windows error, as
//                                WinINet's own would (its time-out, its
//                                revocation check of the server certificate)
//   revocation-offline=<text>    the server at a URL holding text names
//                                revocation servers nobody answers: as on
//                                Windows, a send that checks the revocation
//                                state fails with ERROR_INTERNET_SEC_CERT_
//                                REV_FAILED (Wine 8 never checks it)
//   forget-session-credentials   before the retry after the proxy sign-in
//                                gets its copy of the credentials, the
//                                connection and Internet handles forget any
//                                they hold, so that only the retry's own
//                                copy can answer the proxy (on Windows the
//                                sign-in window keeps them on the request)
#include "KevoWinInet.h"

#include <stdlib.h>
#include <string.h>

#include <string>

namespace {

std::string Setting()
{
    char value[1024];
    DWORD n = GetEnvironmentVariableA("KEVO_TEST_WININET", value, sizeof value);
    return n > 0 && n < sizeof value ? std::string(value, n) : std::string();
}

// The items of the setting, each with a ";" after it.
bool HasItem(const std::string& item)
{
    return (";" + Setting() + ";").find(";" + item + ";") != std::string::npos;
}

void Forget(HINTERNET handle)
{
    char empty[1] = {'\0'};
    InternetSetOptionA(handle, INTERNET_OPTION_PROXY_USERNAME, empty, 0);
    InternetSetOptionA(handle, INTERNET_OPTION_PROXY_PASSWORD, empty, 0);
}

HINTERNET Parent(HINTERNET handle)
{
    HINTERNET parent = NULL;
    DWORD size = sizeof parent;
    return InternetQueryOptionA(handle, INTERNET_OPTION_PARENT_HANDLE, &parent, &size) ? parent : NULL;
}

}  // namespace

namespace kevoinet {

bool SeamSendFails(HINTERNET request, DWORD* error)
{
    const std::string setting = ";" + Setting();
    char url[2048] = "";
    DWORD size = sizeof url;
    if (!InternetQueryOptionA(request, INTERNET_OPTION_URL, url, &size))
        url[0] = '\0';
    const size_t offline = setting.find(";revocation-offline=");
    if (offline != std::string::npos) {
        const std::string text = setting.substr(offline + 20, setting.find(';', offline + 1) - offline - 20);
        DWORD flags = 0;
        DWORD flagsSize = sizeof flags;
        InternetQueryOptionA(request, INTERNET_OPTION_SECURITY_FLAGS, &flags, &flagsSize);
        if (strstr(url, text.c_str()) != NULL && (flags & SECURITY_FLAG_IGNORE_REVOCATION) == 0) {
            *error = ERROR_INTERNET_SEC_CERT_REV_FAILED;
            return true;
        }
    }
    for (size_t at = setting.find(";fail="); at != std::string::npos; at = setting.find(";fail=", at + 1)) {
        const std::string item = setting.substr(at + 6, setting.find(';', at + 1) - at - 6);
        const size_t mark = item.find('@');
        if (mark != std::string::npos && strstr(url, item.substr(mark + 1).c_str()) != NULL) {
            *error = (DWORD)strtoul(item.c_str(), NULL, 10);
            return true;
        }
    }
    return false;
}

void SeamBeforeCarry(HINTERNET retry)
{
    if (!HasItem("forget-session-credentials"))
        return;
    // Wine 8 answers the proxy options of a request from the session, and
    // sets them there (measured: a new request reads the typed credentials,
    // emptying them on it empties the session's); it gives no parent handle.
    Forget(retry);
    for (HINTERNET parent = Parent(retry); parent != NULL; parent = Parent(parent))
        Forget(parent);
}

}  // namespace kevoinet

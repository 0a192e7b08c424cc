#include "KevoWinInet.h"

#include <string.h>

#include "TraceLog.h"

namespace kevoinet {
namespace {

struct NamedError {
    DWORD code;
    const char* name;
};

const NamedError kNamedErrors[] = {
    {ERROR_INTERNET_TIMEOUT, "ERROR_INTERNET_TIMEOUT"},
    {ERROR_INTERNET_SEC_CERT_NO_REV, "ERROR_INTERNET_SEC_CERT_NO_REV"},
    {ERROR_INTERNET_SEC_CERT_REV_FAILED, "ERROR_INTERNET_SEC_CERT_REV_FAILED"},
};

// One proxy credential of a handle; wiped when it goes.
class Secret {
public:
    Secret() : length_(0) { text_[0] = '\0'; }
    ~Secret() { SecureZeroMemory(text_, sizeof text_); }
    Secret(const Secret&) = delete;
    Secret& operator=(const Secret&) = delete;

    bool Read(HINTERNET handle, DWORD option)
    {
        DWORD size = sizeof text_;
        if (!InternetQueryOptionA(handle, option, text_, &size) || size >= sizeof text_)
            return false;
        text_[size] = '\0';
        length_ = (DWORD)strlen(text_);
        return true;
    }
    bool Write(HINTERNET handle, DWORD option) const
    {
        return InternetSetOptionA(handle, option, const_cast<char*>(text_), length_) != FALSE;
    }
    bool Empty() const { return length_ == 0; }

private:
    // The sign-in window takes at most a few hundred characters.
    char text_[1024];
    DWORD length_;
};

}  // namespace

BOOL SendRequest(HINTERNET request, const char* headers, DWORD headersLength, void* body, DWORD bodyLength)
{
    DWORD injected = 0;
    BOOL sent;
    if (SeamSendFails(request, &injected)) {
        SetLastError(injected);
        sent = FALSE;
    } else {
        sent = HttpSendRequestA(request, headers, headersLength, body, bodyLength);
    }
    if (!sent) {
        const DWORD error = GetLastError();
        TraceWinInetError(error, "HttpSendRequest", TRACE_HERE);
        SetLastError(error);
    }
    return sent;
}

bool CarryProxyCredentials(HINTERNET answered, HINTERNET retry)
{
    Secret user, password;
    if (!user.Read(answered, INTERNET_OPTION_PROXY_USERNAME) || user.Empty())
        return false;
    // A user name alone is still carried: a proxy may take an empty password.
    if (!password.Read(answered, INTERNET_OPTION_PROXY_PASSWORD))
        return false;
    SeamBeforeCarry(retry);
    return user.Write(retry, INTERNET_OPTION_PROXY_USERNAME) &&
           (password.Empty() || password.Write(retry, INTERNET_OPTION_PROXY_PASSWORD));
}

const char* WinInetErrorName(DWORD code)
{
    for (size_t i = 0; i < sizeof kNamedErrors / sizeof kNamedErrors[0]; ++i) {
        if (kNamedErrors[i].code == code)
            return kNamedErrors[i].name;
    }
    return NULL;
}

void TraceWinInetError(DWORD code, const char* what, const char* file, int line)
{
    const char* name = WinInetErrorName(code);
    if (name != NULL)
        TraceLog(TRACE_LEVEL_ERROR, "%s:WinINetエラー<%s:%lu>が発生しました。(%s:%d)\n", what, name, (unsigned long)code,
                 file, line);
}

}  // namespace kevoinet

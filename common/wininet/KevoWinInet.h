// What the counter client and the version file's client share in their use
// of WinINet beyond the settings: the sending of a request, the carry-over
// of the proxy sign-in's credentials to the retried request, and the names
// of the WinINet errors their trace lines spell out.
#ifndef KEVO_KEVOWININET_H
#define KEVO_KEVOWININET_H

#include <windows.h>
#include <wininet.h>

namespace kevoinet {

// HttpSendRequestA. On failure the Windows error stays the last error, and
// an error that WinInetErrorName knows is also traced by name and number
// ("HttpSendRequest:WinINetエラー<…>"), so that a help desk reading the log
// need not look the number up.
BOOL SendRequest(HINTERNET request, const char* headers, DWORD headersLength, void* body, DWORD bodyLength);

// The platform's proxy sign-in window stores what the user typed on the
// request handle it was shown for; the retry goes out on a new handle.
// Copies the proxy user name and password from the answered request to the
// new one (both still open) and wipes the copies. False when the answered
// request holds no user name (nothing to carry) or a copy fails.
bool CarryProxyCredentials(HINTERNET answered, HINTERNET retry);

// The WinINet errors the clients and the diagnostics treat on their own:
// time-out, and a revocation check of the server's certificate that could
// not be made or gave no answer. NULL for any other code.
const char* WinInetErrorName(DWORD code);

// Traces "<what>:WinINetエラー<NAME:number>が発生しました。(file:line)" at
// the error level for a code WinInetErrorName knows (call it with
// TRACE_HERE); nothing for others.
void TraceWinInetError(DWORD code, const char* what, const char* file, int line);

// Test seams. The library's own definitions do nothing; test programs link
// testbed/wininet/WinInetSeamTesting.cpp, whose definitions replace them, so
// that no shipped program carries them.
// True (with the error to report) when the send of request is to fail.
bool SeamSendFails(HINTERNET request, DWORD* error);
// Called between the reading and the setting of the carried credentials.
void SeamBeforeCarry(HINTERNET retry);

}  // namespace kevoinet

#endif

// Names of the Windows error codes that the revocation tool meets on its
// card and signature paths.
#include <stdlib.h>
#include <string.h>

#include "TraceLog.h"
#include "TracePlatform.h"

namespace {
struct NamedCode {
    unsigned long code;
    const char* name;
};

const NamedCode kNamedCodes[] = {
    {0x80090001UL, "NTE_BAD_UID"},
    {0x80090002UL, "NTE_BAD_HASH"},
    {0x80090003UL, "NTE_BAD_KEY"},
    {0x80090007UL, "NTE_BAD_VER"},
    {0x8009000CUL, "NTE_BAD_HASH_STATE"},
    {0x8009000EUL, "NTE_NO_MEMORY"},
    {0x80100010UL, "SCARD_E_NOT_READY"},
    {0x8010006CUL, "SCARD_W_CHV_BLOCKED"},
    {0x8010006EUL, "SCARD_W_CANCELLED_BY_USER"},
    {8UL, "ERROR_NOT_ENOUGH_MEMORY"},
};

const size_t kNameBufferSize = 26;  // the longest name (25 characters) and its terminator
}  // namespace

extern "C" char* WinErrorName(unsigned long code)
{
    char* name = static_cast<char*>(malloc(kNameBufferSize));
    if (name == NULL)
        return NULL;
    const char* text = "UNKNOWN";
    for (size_t i = 0; i < sizeof kNamedCodes / sizeof kNamedCodes[0]; ++i) {
        if (kNamedCodes[i].code == code) {
            text = kNamedCodes[i].name;
            break;
        }
    }
    strncpy(name, text, kNameBufferSize - 1);
    name[kNameBufferSize - 1] = '\0';
    return name;
}

extern "C" void TraceWinError(unsigned long code, const char* what, const char* file, int line)
{
    TraceErrorKeeper keeper;
    char* name = WinErrorName(code);
    if (name == NULL)
        return;
    TraceLog(TRACE_LEVEL_ERROR, "%s:Windowsエラー<%s:0x%lx>が発生しました。(%s:%d)\n", what, name, code, file, line);
    free(name);
}

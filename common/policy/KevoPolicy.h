// Machine policy: the values an administrator sets for every user of the PC
// under HKLM "Software\Policies\KEVO", where Group Policy writes them. A
// value that is absent, of another type or of another size counts as not
// set, and then the program's own settings apply unchanged. The key holds
// no credentials: every user may read it.
#ifndef KEVO_KEVOPOLICY_H
#define KEVO_KEVOPOLICY_H

#include <windows.h>

#include <stddef.h>

#define KEVO_POLICY_KEY "Software\\Policies\\KEVO"

// Names of the policy values; the administrative templates name the same.
#define KEVO_POLICY_UPDATE_CHECK "UpdateCheck"
#define KEVO_POLICY_PROXY_HOST "ProxyHost"
#define KEVO_POLICY_PROXY_PORT "ProxyPort"
#define KEVO_POLICY_TRACE "Trace"
#define KEVO_POLICY_RW_TYPE "RWType"
#define KEVO_POLICY_RW_NAME "Name"
#define KEVO_POLICY_RW_PORT "Port"

namespace kevopolicy {

// Longest text value read, terminator included.
const size_t kTextCapacity = 1024;

// A stored value as a number: only a REG_DWORD of exactly four bytes.
bool DwordFromData(DWORD type, const BYTE* data, DWORD size, DWORD* value);
// A stored value as text: only a REG_SZ, ending at its first zero or at its
// size when the zero is missing, not empty, and with its terminator no
// longer than capacity. out is "" when the value does not count.
bool TextFromData(DWORD type, const BYTE* data, DWORD size, char* out, size_t capacity);

// The policy value name, in the 64-bit view on 64-bit Windows. False when
// the value does not count; *value / out are then untouched / "".
bool ReadDword(const char* name, DWORD* value);
bool ReadText(const char* name, char* out, size_t capacity);

}  // namespace kevopolicy

#endif

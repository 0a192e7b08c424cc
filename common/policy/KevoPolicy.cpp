#include "KevoPolicy.h"

#include <string.h>

namespace kevopolicy {

namespace {

typedef BOOL(WINAPI* IsWow64ProcessFn)(HANDLE, PBOOL);

// Group Policy writes the machine's values in the 64-bit view; a 32-bit
// program on 64-bit Windows would otherwise read the Wow6432Node copy,
// which nothing fills.
REGSAM PolicyView()
{
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    // Looked up at run time: older systems lack it.
    IsWow64ProcessFn isWow64 =
        kernel != NULL ? reinterpret_cast<IsWow64ProcessFn>(
                             reinterpret_cast<void (*)()>(GetProcAddress(kernel, "IsWow64Process")))
                       : NULL;
    BOOL wow64 = FALSE;
    if (isWow64 != NULL && isWow64(GetCurrentProcess(), &wow64) && wow64)
        return KEY_WOW64_64KEY;
    return 0;
}

// The raw value into data (capacity bytes); false when it is absent or larger.
bool Query(const char* name, DWORD* type, BYTE* data, DWORD* size)
{
    HKEY key = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, KEVO_POLICY_KEY, 0, KEY_QUERY_VALUE | PolicyView(), &key) != ERROR_SUCCESS)
        return false;
    LONG rc = RegQueryValueExA(key, name, NULL, type, data, size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

}  // namespace

bool DwordFromData(DWORD type, const BYTE* data, DWORD size, DWORD* value)
{
    if (type != REG_DWORD || size != sizeof(DWORD) || data == NULL)
        return false;
    *value = static_cast<DWORD>(data[0]) | (static_cast<DWORD>(data[1]) << 8) | (static_cast<DWORD>(data[2]) << 16) |
             (static_cast<DWORD>(data[3]) << 24);
    return true;
}

bool TextFromData(DWORD type, const BYTE* data, DWORD size, char* out, size_t capacity)
{
    if (capacity == 0)
        return false;
    out[0] = 0;
    if (type != REG_SZ || data == NULL)
        return false;
    size_t length = 0;
    while (length < size && data[length] != 0)
        ++length;
    if (length == 0 || length + 1 > capacity)
        return false;
    memcpy(out, data, length);
    out[length] = 0;
    return true;
}

bool ReadDword(const char* name, DWORD* value)
{
    BYTE data[sizeof(DWORD)];
    DWORD type = 0;
    DWORD size = sizeof data;
    return Query(name, &type, data, &size) && DwordFromData(type, data, size, value);
}

bool ReadText(const char* name, char* out, size_t capacity)
{
    if (capacity == 0)
        return false;
    out[0] = 0;
    BYTE data[kTextCapacity];
    DWORD type = 0;
    DWORD size = sizeof data;
    return Query(name, &type, data, &size) && TextFromData(type, data, size, out, capacity);
}

}  // namespace kevopolicy

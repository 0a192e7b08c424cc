/* Stand-in for the platform's smart card service library, for tests only:
   lists the reader names a test stores in the registry, with the service's
   calling conventions (stdcall exports; with SCARD_AUTOALLOCATE the library
   allocates the multi-string and SCardFreeMemory frees it).

   Configuration, HKCU "Software\KEVOTestbed\winscard":
     Readers          REG_MULTI_SZ  reader names (system code page); absent or
                                    empty: no reader attached
     EstablishResult  REG_DWORD     result of SCardEstablishContext (default 0)
     NoCard           REG_DWORD     1: SCardGetStatusChangeA reports every
                                    reader empty (default: a card in each)
   Calls are counted back into the same key (Established, Listed, Freed,
   Released, BadFree: a free of memory this library did not hand out). */
#include <windows.h>

#define SC_SUCCESS 0L
#define SC_E_INVALID_HANDLE 0x80100003L
#define SC_E_INSUFFICIENT_BUFFER 0x80100008L
#define SC_E_INVALID_PARAMETER 0x80100004L
#define SC_E_NO_READERS_AVAILABLE 0x8010002EL
#define SC_AUTOALLOCATE ((DWORD)-1)
#define SC_CONTEXT_VALUE 0x4B45564FUL

typedef ULONG_PTR SC_CONTEXT;

static const char kConfigKey[] = "Software\\KEVOTestbed\\winscard";
static void* g_handedOut = NULL;

static DWORD ReadDword(const char* name, DWORD fallback)
{
    HKEY key;
    DWORD value = fallback, size = sizeof value, type = 0;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kConfigKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return fallback;
    if (RegQueryValueExA(key, name, NULL, &type, (BYTE*)&value, &size) != ERROR_SUCCESS || type != REG_DWORD)
        value = fallback;
    RegCloseKey(key);
    return value;
}

static void Count(const char* name)
{
    HKEY key;
    DWORD value = ReadDword(name, 0) + 1;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kConfigKey, 0, NULL, 0, KEY_SET_VALUE, NULL, &key, NULL) != ERROR_SUCCESS)
        return;
    RegSetValueExA(key, name, 0, REG_DWORD, (const BYTE*)&value, sizeof value);
    RegCloseKey(key);
}

/* The stored multi-string with its final double zero, or NULL when there is
   no reader; *chars gets its length in chars. The caller frees with HeapFree. */
static char* ReadReaders(DWORD* chars)
{
    HKEY key;
    DWORD size = 0, type = 0;
    char* data = NULL;
    *chars = 0;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kConfigKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return NULL;
    if (RegQueryValueExA(key, "Readers", NULL, &type, NULL, &size) == ERROR_SUCCESS && type == REG_MULTI_SZ &&
        size > 0) {
        data = (char*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size + 2);
        if (data != NULL && RegQueryValueExA(key, "Readers", NULL, &type, (BYTE*)data, &size) != ERROR_SUCCESS) {
            HeapFree(GetProcessHeap(), 0, data);
            data = NULL;
        }
    }
    RegCloseKey(key);
    if (data == NULL || data[0] == '\0') {
        if (data != NULL)
            HeapFree(GetProcessHeap(), 0, data);
        return NULL;
    }
    /* Length up to and including the double zero. */
    {
        DWORD n = 0;
        while (data[n] != '\0' || data[n + 1] != '\0')
            ++n;
        *chars = n + 2;
    }
    return data;
}

__declspec(dllexport) LONG WINAPI SCardEstablishContext(DWORD scope, LPCVOID reserved1, LPCVOID reserved2,
                                                        SC_CONTEXT* context)
{
    LONG rc = (LONG)ReadDword("EstablishResult", 0);
    (void)scope;
    (void)reserved1;
    (void)reserved2;
    Count("Established");
    if (context == NULL)
        return SC_E_INVALID_PARAMETER;
    if (rc != SC_SUCCESS)
        return rc;
    *context = SC_CONTEXT_VALUE;
    return SC_SUCCESS;
}

__declspec(dllexport) LONG WINAPI SCardReleaseContext(SC_CONTEXT context)
{
    Count("Released");
    return context == SC_CONTEXT_VALUE ? SC_SUCCESS : SC_E_INVALID_HANDLE;
}

__declspec(dllexport) LONG WINAPI SCardListReadersA(SC_CONTEXT context, LPCSTR groups, LPSTR readers, LPDWORD length)
{
    DWORD chars = 0;
    char* names;
    (void)groups;
    Count("Listed");
    if (context != SC_CONTEXT_VALUE)
        return SC_E_INVALID_HANDLE;
    if (length == NULL)
        return SC_E_INVALID_PARAMETER;
    names = ReadReaders(&chars);
    if (names == NULL)
        return SC_E_NO_READERS_AVAILABLE;
    if (*length == SC_AUTOALLOCATE) {
        if (readers == NULL) {
            HeapFree(GetProcessHeap(), 0, names);
            return SC_E_INVALID_PARAMETER;
        }
        *(char**)readers = names;
        g_handedOut = names;
        *length = chars;
        return SC_SUCCESS;
    }
    if (readers != NULL) {
        if (*length < chars) {
            *length = chars;
            HeapFree(GetProcessHeap(), 0, names);
            return SC_E_INSUFFICIENT_BUFFER;
        }
        memcpy(readers, names, chars);
    }
    *length = chars;
    HeapFree(GetProcessHeap(), 0, names);
    return SC_SUCCESS;
}

__declspec(dllexport) LONG WINAPI SCardFreeMemory(SC_CONTEXT context, LPCVOID memory)
{
    (void)context;
    if (memory == NULL || memory != g_handedOut) {
        Count("BadFree");
        return SC_E_INVALID_PARAMETER;
    }
    Count("Freed");
    g_handedOut = NULL;
    HeapFree(GetProcessHeap(), 0, (void*)memory);
    return SC_SUCCESS;
}

/* The reader states as the service gives them at once (time-out 0): a card
   present in every reader unless NoCard is set. */
typedef struct {
    LPCSTR reader;
    LPVOID userData;
    DWORD currentState;
    DWORD eventState;
    DWORD atrLength;
    BYTE atr[36];
} SC_READERSTATE;
#define SC_STATE_CHANGED 0x0002
#define SC_STATE_EMPTY 0x0010
#define SC_STATE_PRESENT 0x0020

__declspec(dllexport) LONG WINAPI SCardGetStatusChangeA(SC_CONTEXT context, DWORD timeout, SC_READERSTATE* states,
                                                        DWORD count)
{
    DWORD i;
    DWORD state = ReadDword("NoCard", 0) ? SC_STATE_EMPTY : SC_STATE_PRESENT;
    (void)timeout;
    Count("StatusAsked");
    if (context != SC_CONTEXT_VALUE)
        return SC_E_INVALID_HANDLE;
    if (states == NULL && count > 0)
        return SC_E_INVALID_PARAMETER;
    for (i = 0; i < count; ++i)
        states[i].eventState = state | SC_STATE_CHANGED;
    return SC_SUCCESS;
}

/* Exported contract of the service API library KEVOServiceAPIk: the two
   records that cross it and the five exports. The library itself, the
   revocation tool and integrators' programs (through the SDK) compile against
   this one header. C and C++, MSVC and mingw-w64, 32- and 64-bit Windows.

   Memory: KEVOBinaryData and its bytes always belong to the caller; the
   library only reads them during the call. KEVOBasicData is the caller's
   record, but its six strings are allocated by the library and are released
   only through KEVOFreeBasicData (never free() or delete them: the library
   has its own heap). */
#ifndef KEVO_SERVICEAPI_H
#define KEVO_SERVICEAPI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Calling convention of the exports: the C default (cdecl), so that the
   exported names carry no decoration. */
#if defined(_WIN32)
#define KEVOAPI_CALL __cdecl
#else
#define KEVOAPI_CALL
#endif

/* The records are laid out with 8-byte packing (the compilers' default),
   whatever packing the including program sets: 32-bit 8 bytes for
   KEVOBinaryData and 24 for KEVOBasicData, 64-bit 16 and 48. */
#pragma pack(push, 8)

#if defined(KEVO_SERVICEAPI_BUILD)
#if defined(_WIN32)
#define KEVOAPI_EXPORT __declspec(dllexport)
#else
#define KEVOAPI_EXPORT __attribute__((visibility("default")))
#endif
#else
#define KEVOAPI_EXPORT
#endif

/* The user certificate: DER bytes. Caller-owned, record and bytes. */
typedef struct KEVOBinaryData {
    uint32_t length;
    unsigned char* data;
} KEVOBinaryData;

/* The holder's basic data. name and address are UTF-16 ended by a zero
   unit; the other four are modified UTF-8 ended by a zero byte. The library
   allocates the strings (library-owned allocation); only KEVOFreeBasicData
   releases them. The record itself is the caller's. */
typedef struct KEVOBasicData {
    uint16_t* name;
    uint16_t* address;
    char* gender;
    char* dateOfBirth;
    char* substituteCharacterOfName;
    char* substituteCharacterOfAddress;
} KEVOBasicData;

/* The sizes above, checked wherever the header is compiled (a negative
   array size stops the build). */
typedef char KEVOBinaryData_size_check[sizeof(KEVOBinaryData) == 2 * sizeof(void*) ? 1 : -1];
typedef char KEVOBasicData_size_check[sizeof(KEVOBasicData) == 6 * sizeof(void*) ? 1 : -1];

KEVOAPI_EXPORT int32_t KEVOAPI_CALL KEVOGetBasicData(KEVOBinaryData* certificate, KEVOBasicData* basicData);
KEVOAPI_EXPORT int32_t KEVOAPI_CALL KEVOFreeBasicData(KEVOBasicData* basicData);
KEVOAPI_EXPORT int32_t KEVOAPI_CALL KEVOCertValid(KEVOBinaryData* certificate, int32_t* certPathStatus,
                                                  int32_t* responseStatus);
KEVOAPI_EXPORT int32_t KEVOAPI_CALL KEVOConfirm(KEVOBinaryData* certificate);
KEVOAPI_EXPORT int32_t KEVOAPI_CALL KEVOCertViewDialog(KEVOBinaryData* certificate);

/* Pointer types for callers that look the exports up by name. */
typedef int32_t(KEVOAPI_CALL* PFN_KEVOGetBasicData)(KEVOBinaryData*, KEVOBasicData*);
typedef int32_t(KEVOAPI_CALL* PFN_KEVOFreeBasicData)(KEVOBasicData*);
typedef int32_t(KEVOAPI_CALL* PFN_KEVOCertValid)(KEVOBinaryData*, int32_t*, int32_t*);
typedef int32_t(KEVOAPI_CALL* PFN_KEVOConfirm)(KEVOBinaryData*);
typedef int32_t(KEVOAPI_CALL* PFN_KEVOCertViewDialog)(KEVOBinaryData*);

#ifdef __cplusplus
}
#endif

#pragma pack(pop)

#endif

/* Exported contract of the service API library KEVOServiceAPIk: the two
   records that cross it and the five exports. The revocation tool includes
   this header to look the exports up at run time. */
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

#if defined(KEVO_SERVICEAPI_BUILD)
#if defined(_WIN32)
#define KEVOAPI_EXPORT __declspec(dllexport)
#else
#define KEVOAPI_EXPORT __attribute__((visibility("default")))
#endif
#else
#define KEVOAPI_EXPORT
#endif

/* The user certificate: DER bytes, owned by the caller. */
typedef struct KEVOBinaryData {
    uint32_t length;
    unsigned char* data;
} KEVOBinaryData;

/* The holder's basic data. name and address are UTF-16 ended by a zero
   unit; the other four are modified UTF-8 ended by a zero byte. The library
   allocates the strings; only KEVOFreeBasicData releases them. */
typedef struct KEVOBasicData {
    uint16_t* name;
    uint16_t* address;
    char* gender;
    char* dateOfBirth;
    char* substituteCharacterOfName;
    char* substituteCharacterOfAddress;
} KEVOBasicData;

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

#endif

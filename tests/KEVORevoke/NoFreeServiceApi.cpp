// A service API library that exports KEVOGetBasicData but not
// KEVOFreeBasicData: the card step must keep its result when it cannot hand
// the record back. The strings are static and never freed.
#define KEVO_SERVICEAPI_BUILD
#include "KEVOServiceAPI.h"

namespace {
uint16_t g_name[] = {0x5C71, 0x7530, 0x82B1, 0x5B50, 0};     // 山田花子
uint16_t g_address[] = {0x5927, 0x962A, 0x5E9C, 0};          // 大阪府
char g_gender[] = "2";
char g_birth[] = "419890108";
char g_none[] = "";
}  // namespace

extern "C" KEVOAPI_EXPORT int32_t KEVOAPI_CALL KEVOGetBasicData(KEVOBinaryData* certificate, KEVOBasicData* basicData)
{
    if (certificate == nullptr || basicData == nullptr)
        return -101;
    basicData->name = g_name;
    basicData->address = g_address;
    basicData->gender = g_gender;
    basicData->dateOfBirth = g_birth;
    basicData->substituteCharacterOfName = g_none;
    basicData->substituteCharacterOfAddress = g_none;
    return 0;
}

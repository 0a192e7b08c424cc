#include "ServiceApiCodes.h"

int32_t KEVO_JVM_MappingReturnCodeGetBasicData(int32_t code)
{
    switch (code) {
    case 0: return 0;
    case -902: return -101;
    case -998: return -102;
    case -104: return -103;
    default: return -104;
    }
}

// Certificate statuses pass through unchanged, so a status that equals one
// of the failure codes below is reported as that failure.
int32_t KEVO_JVM_MappingReturnCodeCertValid(int32_t code)
{
    switch (code) {
    case -999: case -997: case -901: case -105: return -4;
    case -998: return -2;
    case -902: case -104: return -3;
    default: return code;
    }
}

int32_t KEVO_JVM_MappingReturnCodeConfirm(int32_t code)
{
    switch (code) {
    case -999: case -997: case -901: case -105: return -104;
    case -998: return -102;
    case -902: return -101;
    default: return code;
    }
}

int32_t KEVO_UCS_MapCode(int32_t code)
{
    switch (code) {
    case 0: return 0;
    case -902: return -101;
    case -998: return -102;
    case -104: return -103;
    case -105: return -105;
    default: return -104;
    }
}

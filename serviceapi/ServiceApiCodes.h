// Internal result codes of the Java VM bridge and the viewer command, and
// the tables through which each export turns them into its public code.
#ifndef KEVO_SERVICEAPI_CODES_H
#define KEVO_SERVICEAPI_CODES_H

#include <stdint.h>

enum {
    KEVO_RC_OK = 0,
    KEVO_RC_JNI_FAILED = -901,      // VM call or file step failed, no Java exception
    KEVO_RC_INVALID_PARAM = -902,   // inner parameter invalid, null Java string included
    KEVO_RC_BAD_ENV = -997,         // no VM or no JNI environment
    KEVO_RC_NO_MEMORY = -998,       // out of memory, here or in the VM
    KEVO_RC_UNEXPECTED = -999       // wrong result class, other exception, command failed
};

int32_t KEVO_JVM_MappingReturnCodeGetBasicData(int32_t code);
int32_t KEVO_JVM_MappingReturnCodeCertValid(int32_t code);
int32_t KEVO_JVM_MappingReturnCodeConfirm(int32_t code);
int32_t KEVO_UCS_MapCode(int32_t code);   // the table of KEVOCertViewDialog

#endif

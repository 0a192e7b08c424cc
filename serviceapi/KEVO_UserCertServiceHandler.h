// The certificate viewer command: the service's Java main class runs as a
// separate java.exe process and exchanges two temporary files with the
// library (the certificate in, the viewer's result code out).
#ifndef KEVO_USERCERTSERVICEHANDLER_H
#define KEVO_USERCERTSERVICEHANDLER_H

#include <stdint.h>

#include "KEVOServiceAPI.h"

class KEVO_UserCertServiceHandler {
public:
    KEVO_UserCertServiceHandler();
    ~KEVO_UserCertServiceHandler();

    int32_t KEVO_UCS_showCertViewer(const KEVOBinaryData* certificate);
    // Builds both names and reserves them as new empty files, taking fresh
    // names while one is taken; on failure no file of this call remains.
    int32_t KEVO_UCS_CreateTempFileNames(char* certFileName, char* resultFileName);
    int32_t KEVO_UCS_CreateCertTempFile(const char* fileName, const unsigned char* bytes, uint32_t count);
    int32_t KEVO_UCS_ExecJavaCommand(const char* certFileName, const char* resultFileName);
    int32_t KEVO_UCS_GetReturnValue(const char* resultFileName, int32_t* code);
    // Deletes only the files this call reserved.
    void KEVO_UCS_DeleteFiles(const char* certFileName, const char* resultFileName);
    int32_t KEVO_UCS_MappingReturnCodeCertViewDialog(int32_t code);

private:
    KEVO_UserCertServiceHandler(const KEVO_UserCertServiceHandler&);
    KEVO_UserCertServiceHandler& operator=(const KEVO_UserCertServiceHandler&);
    void FreeNames();

    char* m_pszCertFileName;
    char* m_pszResultFileName;
    bool m_bCertFileCreated;
    bool m_bResultFileCreated;
};

#endif

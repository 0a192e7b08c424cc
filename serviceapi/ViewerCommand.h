// The pure parts of the certificate viewer command: the temporary file
// names, the command line and the result file's code.
#ifndef KEVO_VIEWERCOMMAND_H
#define KEVO_VIEWERCOMMAND_H

#include <stddef.h>
#include <stdint.h>

struct KevoUtcTime {
    int year, month, day, hour, minute, second, millisecond;
};

enum {
    KEVO_UCS_NAME_CAPACITY = 300,      // each temporary file name buffer
    KEVO_UCS_COMMAND_CAPACITY = 584,   // the command line buffer
    // "kevoYYYYMMDDhhmmssmmmmcer.dat": what follows the directory.
    KEVO_UCS_NAME_TAIL_LENGTH = 29
};

// tempDir + "kevo" + time + kind + ".dat". False when it does not fit.
bool KevoFormatTempFileName(char* out, size_t capacity, const char* tempDir, const KevoUtcTime& time,
                            const char* kind);
// java.exe  kevo.appli.KEVOUserCertServiceMain "<cert>" "<result>".
// False (out left empty) when it does not fit.
bool KevoBuildViewerCommand(char* out, size_t capacity, const char* certFile, const char* resultFile);
// True when both names built in tempDir make a command line that fits.
bool KevoTempDirFitsCommand(size_t tempDirLength);
// The first four bytes of the result file, most significant first.
int32_t KevoDecodeResultCode(const unsigned char bytes[4]);

#endif

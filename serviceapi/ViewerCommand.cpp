#include "ViewerCommand.h"

#include <stdio.h>
#include <string.h>

bool KevoFormatTempFileName(char* out, size_t capacity, const char* tempDir, const KevoUtcTime& t,
                            const char* kind)
{
    if (capacity == 0)
        return false;
    int n = snprintf(out, capacity, "%s%s%04d%02d%02d%02d%02d%02d%04d%s.%s", tempDir, "kevo", t.year, t.month,
                     t.day, t.hour, t.minute, t.second, t.millisecond, kind, "dat");
    if (n < 0 || static_cast<size_t>(n) >= capacity) {
        out[0] = '\0';
        return false;
    }
    return true;
}

namespace {
const char kCommandHead[] = "java.exe  kevo.appli.KEVOUserCertServiceMain ";
// Head, the two quoted names, the blank between them and the terminator.
size_t CommandLength(size_t certLength, size_t resultLength)
{
    return (sizeof kCommandHead - 1) + 2 + certLength + 1 + 2 + resultLength + 1;
}
}  // namespace

bool KevoBuildViewerCommand(char* out, size_t capacity, const char* certFile, const char* resultFile)
{
    if (capacity == 0)
        return false;
    out[0] = '\0';
    if (CommandLength(strlen(certFile), strlen(resultFile)) > capacity)
        return false;
    snprintf(out, capacity, "%s\"%s\" \"%s\"", kCommandHead, certFile, resultFile);
    return true;
}

bool KevoTempDirFitsCommand(size_t tempDirLength)
{
    size_t name = tempDirLength + KEVO_UCS_NAME_TAIL_LENGTH;
    return name < KEVO_UCS_NAME_CAPACITY && CommandLength(name, name) <= KEVO_UCS_COMMAND_CAPACITY;
}

int32_t KevoDecodeResultCode(const unsigned char bytes[4])
{
    uint32_t value = (static_cast<uint32_t>(bytes[0]) << 24) | (static_cast<uint32_t>(bytes[1]) << 16) |
                     (static_cast<uint32_t>(bytes[2]) << 8) | static_cast<uint32_t>(bytes[3]);
    return static_cast<int32_t>(value);
}

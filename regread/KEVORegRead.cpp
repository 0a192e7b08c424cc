#include "KEVORegRead.h"

#include <windows.h>

#include <cstdlib>

namespace regread {

size_t UnitsBeforeZero(const unsigned char* data, size_t byteCount)
{
    size_t units = byteCount / 2;
    for (size_t i = 0; i < units; ++i) {
        if (data[2 * i] == 0 && data[2 * i + 1] == 0)
            return i;
    }
    return units;
}

namespace {

// On kReadOk, *data holds a malloc'ed copy of the value (NULL for a value of
// 0 bytes) and *size its byte count; the caller frees it.
ReadResult ReadInstallPath(unsigned char** data, DWORD* size)
{
    *data = NULL;
    *size = 0;
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\KEVO", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return kReadNotFound;
    ReadResult result = kReadOk;
    DWORD type = 0;
    DWORD reported = 0;
    unsigned char* buffer = NULL;
    if (RegQueryValueExW(key, L"InstallPath", NULL, &type, NULL, &reported) != ERROR_SUCCESS || type != REG_SZ) {
        result = kReadNotFound;
    } else if (reported > 0) {
        // Exactly the reported size; an empty value needs no buffer at all.
        buffer = static_cast<unsigned char*>(malloc(reported));
        if (buffer == NULL) {
            result = kReadNoMemory;
        } else {
            DWORD got = reported;
            if (RegQueryValueExW(key, L"InstallPath", NULL, &type, buffer, &got) != ERROR_SUCCESS ||
                type != REG_SZ) {
                free(buffer);
                buffer = NULL;
                result = kReadNotFound;
            } else {
                reported = got;
            }
        }
    }
    RegCloseKey(key);
    if (result == kReadOk) {
        *data = buffer;
        *size = reported;
    }
    return result;
}

}  // namespace
}  // namespace regread

extern "C" JNIEXPORT jstring JNICALL Java_kevo_utility_KEVORegReadNative_doRegRead(JNIEnv* env, jobject self)
{
    (void)self;
    unsigned char* data = NULL;
    DWORD size = 0;
    if (regread::ReadInstallPath(&data, &size) != regread::kReadOk)
        return NULL;
    size_t units = data != NULL ? regread::UnitsBeforeZero(data, size) : 0;
    // The units are copied out of the buffer before it goes; aligned, as
    // malloc's memory is.
    static const jchar kEmpty[1] = {0};
    const jchar* chars = data != NULL ? reinterpret_cast<const jchar*>(data) : kEmpty;
    jstring result = env->NewString(chars, (jsize)units);
    free(data);
    return result;
}

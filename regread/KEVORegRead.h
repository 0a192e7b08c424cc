// Registry reader of the service's Java side: the install directory recorded
// under HKEY_LOCAL_MACHINE "SOFTWARE\KEVO" value "InstallPath".
#ifndef KEVO_KEVOREGREAD_H
#define KEVO_KEVOREGREAD_H

#include <jni.h>

#include <cstddef>

namespace regread {

// Outcome of the registry read.
enum ReadResult { kReadOk = 0, kReadNotFound = 1, kReadNoMemory = 2 };

// UTF-16 units of data[0..byteCount) before the first zero unit; a trailing
// odd byte is no whole unit and is not counted.
size_t UnitsBeforeZero(const unsigned char* data, size_t byteCount);

}  // namespace regread

extern "C" {
// kevo.utility.KEVORegReadNative.doRegRead()Ljava/lang/String; : the value as
// a new string, or null when it cannot be read (an exception raised by
// NewString stays pending).
JNIEXPORT jstring JNICALL Java_kevo_utility_KEVORegReadNative_doRegRead(JNIEnv* env, jobject self);
}

#endif

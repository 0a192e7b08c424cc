/* Machine-dependent JNI types for the 32-bit Windows build: the JDK's own
   jni.h is used with this file in place of the platform file it ships. */
#ifndef KEVO_JNI_MD_WIN32_H
#define KEVO_JNI_MD_WIN32_H

#define JNIEXPORT __declspec(dllexport)
#define JNIIMPORT __declspec(dllimport)
#define JNICALL __stdcall

typedef long jint;          /* 32 bits on Windows */
typedef __int64 jlong;
typedef signed char jbyte;

#endif

// The first and the second KEVOGetBasicData of one process for the Windows
// library (see BenchFirstSecond.h): over the JNI emulation's jvm.dll, or
// over a real VM's when KEVO_BENCH_JVM_DIR names the directory of its
// jvm.dll (CLASSPATH then names the Java stand-ins' classes).
#include <stdio.h>

#include "BenchFirstSecond.h"
#include "KevoTestSupport.h"
#include "WineServiceLibrary.h"

int main()
{
    std::wstring jvmDirectory = kevotest::GetEnv(L"KEVO_BENCH_JVM_DIR");
    bool emulated = jvmDirectory.empty();
    if (emulated)
        jvmDirectory = kevotest::WinePath(KEVO_JVMEMU_DIR);
    // The library reads TRACE once, at its first trace call.
    int level = BenchTraceLevel();
    kevotest::EnableTrace(static_cast<DWORD>(level), 0);
    WineServiceLibrary library;
    if (!library.Load(kevotest::WinePath(KEVO_SERVICEAPI_DLL), jvmDirectory)) {
        fprintf(stderr, "cannot load the service library over %s (%lu)\n", kevotest::Utf8(jvmDirectory).c_str(),
                GetLastError());
        return 1;
    }
    // The library stays loaded: once a VM runs it cannot be unloaded.
    return BenchFirstSecond(emulated ? "windows over jvmemu" : "windows over KEVO_BENCH_JVM_DIR", level, !emulated,
                            library.getBasicData, library.freeBasicData);
}

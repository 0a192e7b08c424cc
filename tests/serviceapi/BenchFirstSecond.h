// The benchmark of the VM-based path, shared by the native and the Windows
// builds: times the first and the second KEVOGetBasicData of the process
// (the first starts the VM, the second only borrows it) and prints both and
// their ratio, with the trace level they were measured at: each benchmark
// sets that level itself (KEVO_BENCH_TRACE, default 0) before the library's
// first call, so no setting left behind by an earlier run counts. Returns
// the process's exit code.
#ifndef KEVO_BENCH_FIRST_SECOND_H
#define KEVO_BENCH_FIRST_SECOND_H

#include <stdio.h>
#include <stdlib.h>

#include <chrono>
#include <string>

#include "KEVOServiceAPI.h"

// The trace level to measure at.
inline int BenchTraceLevel()
{
    const char* level = getenv("KEVO_BENCH_TRACE");
    return level != NULL ? atoi(level) : 0;
}

// realVm: the ratio is measured against a real VM's start-up (over the
// emulation, which starts instantly, it tells nothing and gets no target).
inline int BenchFirstSecond(const char* label, int traceLevel, bool realVm, PFN_KEVOGetBasicData getBasicData,
                            PFN_KEVOFreeBasicData freeBasicData)
{
    double ms[2] = {0, 0};
    for (int i = 0; i < 2; ++i) {
        // Scenario lines for the Java stand-ins; the emulation ignores them.
        std::string bytes = u8"name=計測";
        KEVOBinaryData cert = {static_cast<uint32_t>(bytes.size()),
                               reinterpret_cast<unsigned char*>(&bytes[0])};
        KEVOBasicData record = {NULL, NULL, NULL, NULL, NULL, NULL};
        auto start = std::chrono::steady_clock::now();
        int32_t rc = getBasicData(&cert, &record);
        auto end = std::chrono::steady_clock::now();
        if (rc != 0) {
            fprintf(stderr, "%s: call %d failed: %d\n", label, i + 1, static_cast<int>(rc));
            return 1;
        }
        freeBasicData(&record);
        ms[i] = std::chrono::duration<double, std::milli>(end - start).count();
    }
    printf("%s (TRACE %d): first KEVOGetBasicData:  %.3f ms\n", label, traceLevel, ms[0]);
    printf("%s (TRACE %d): second KEVOGetBasicData: %.3f ms\n", label, traceLevel, ms[1]);
    printf("%s (TRACE %d): ratio second/first:      %.4f%s\n", label, traceLevel, ms[0] > 0 ? ms[1] / ms[0] : 0.0,
           realVm ? " (target <= 0.05)" : "");
    return 0;
}

#endif

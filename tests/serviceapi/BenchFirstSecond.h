// The benchmark of the VM-based path, shared by the native and the Windows
// builds: times the first and the second KEVOGetBasicData of the process
// (the first starts the VM, the second only borrows it) and prints both and
// their ratio. Returns the process's exit code.
#ifndef KEVO_BENCH_FIRST_SECOND_H
#define KEVO_BENCH_FIRST_SECOND_H

#include <stdio.h>

#include <chrono>
#include <string>

#include "KEVOServiceAPI.h"

inline int BenchFirstSecond(const char* label, PFN_KEVOGetBasicData getBasicData,
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
    printf("%s: first KEVOGetBasicData:  %.3f ms\n", label, ms[0]);
    printf("%s: second KEVOGetBasicData: %.3f ms\n", label, ms[1]);
    printf("%s: ratio second/first:      %.4f (target <= 0.05 over a real VM)\n", label,
           ms[0] > 0 ? ms[1] / ms[0] : 0.0);
    return 0;
}

#endif

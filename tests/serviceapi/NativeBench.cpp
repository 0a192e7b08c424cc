// The first and the second KEVOGetBasicData of one process over the VM the
// library is linked to (the machine's Java VM, or the JNI emulation), see
// BenchFirstSecond.h.
#include <stdlib.h>

#include <string>

#include "BenchFirstSecond.h"

#ifndef KEVO_BENCH_LABEL
#define KEVO_BENCH_LABEL "native"
#define KEVO_BENCH_REAL_VM true
#else
#define KEVO_BENCH_REAL_VM false
#endif

int main()
{
    // The native library reads its trace settings from the environment at
    // its first trace call.
    int level = BenchTraceLevel();
    setenv("KEVO_TRACE", std::to_string(level).c_str(), 1);
    setenv("KEVO_TRACECOMMIT", "0", 1);
    return BenchFirstSecond(KEVO_BENCH_LABEL, level, KEVO_BENCH_REAL_VM, &KEVOGetBasicData, &KEVOFreeBasicData);
}

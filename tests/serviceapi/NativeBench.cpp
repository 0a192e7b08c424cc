// The first and the second KEVOGetBasicData of one process over the VM the
// library is linked to (the machine's Java VM, or the JNI emulation), see
// BenchFirstSecond.h.
#include "BenchFirstSecond.h"

#ifndef KEVO_BENCH_LABEL
#define KEVO_BENCH_LABEL "native"
#endif

int main()
{
    return BenchFirstSecond(KEVO_BENCH_LABEL, &KEVOGetBasicData, &KEVOFreeBasicData);
}

// Prints the time of the first and of the second KEVOGetBasicData call in
// one process and their ratio: the first call starts the VM, the second
// only borrows it.
#include <stdio.h>

#include <chrono>

#include "KEVOServiceAPI.h"
#include "NativeTestSupport.h"

int main()
{
    double ms[2] = {0, 0};
    for (int i = 0; i < 2; ++i) {
        satest::Cert cert("name=計測");
        KEVOBasicData record = satest::JunkRecord();
        auto start = std::chrono::steady_clock::now();
        int32_t rc = KEVOGetBasicData(cert.get(), &record);
        auto end = std::chrono::steady_clock::now();
        if (rc != 0) {
            fprintf(stderr, "call %d failed: %d\n", i + 1, rc);
            return 1;
        }
        KEVOFreeBasicData(&record);
        ms[i] = std::chrono::duration<double, std::milli>(end - start).count();
    }
    printf("first KEVOGetBasicData:  %.3f ms\n", ms[0]);
    printf("second KEVOGetBasicData: %.3f ms\n", ms[1]);
    printf("ratio second/first:      %.4f (target <= 0.05)\n", ms[1] / ms[0]);
    return 0;
}

// The machine of a PE image read from a file's first bytes, as the Java
// runtime search reads every jvm.dll it is pointed at: any bytes, any
// e_lfanew (far past the end, near 4 GiB), never a read outside the buffer;
// a machine is reported only where "PE\0\0" stands at e_lfanew.
#include "PeMachine.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // An exact-size copy, so that the sanitizer sees any read past the end.
    std::vector<unsigned char> head(data, data + size);
    const unsigned short machine = kevojava::PeMachine(head.data(), head.size());
    if (machine != 0) {
        FUZZ_CHECK(size >= 0x40 && head[0] == 'M' && head[1] == 'Z');
        const size_t nt = head[0x3C] | head[0x3D] << 8 | head[0x3E] << 16 | (size_t)head[0x3F] << 24;
        FUZZ_CHECK(nt + 6 <= size && memcmp(&head[nt], "PE\0\0", 4) == 0);
        FUZZ_CHECK(machine == (head[nt + 4] | head[nt + 5] << 8));
    }
    return 0;
}

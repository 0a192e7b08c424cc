// The machine of a PE image from its first bytes: portable, so that it is
// also checked natively.
#include <stddef.h>
#include <stdint.h>

#include "PeMachine.h"

namespace kevojava {

namespace {

uint32_t ReadLe(const unsigned char* p, int bytes)
{
    uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = (value << 8) | p[i];
    return value;
}

}  // namespace

unsigned short PeMachine(const unsigned char* head, size_t size)
{
    const size_t kNewHeaderOffset = 0x3C;
    if (head == NULL || size < kNewHeaderOffset + 4 || head[0] != 'M' || head[1] != 'Z')
        return 0;
    uint32_t nt = ReadLe(head + kNewHeaderOffset, 4);
    // "PE\0\0", then the file header's first field, the machine.
    if (nt > size || size - nt < 6)
        return 0;
    const unsigned char* p = head + nt;
    if (p[0] != 'P' || p[1] != 'E' || p[2] != 0 || p[3] != 0)
        return 0;
    return static_cast<unsigned short>(ReadLe(p + 4, 2));
}

}  // namespace kevojava

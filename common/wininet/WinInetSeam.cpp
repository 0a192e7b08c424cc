// The shipped definitions of the test seams: nothing is injected. Kept in a
// file of its own so that a test program's definitions take their place.
#include "KevoWinInet.h"

namespace kevoinet {

bool SeamSendFails(HINTERNET, DWORD*)
{
    return false;
}

void SeamBeforeCarry(HINTERNET) {}

}  // namespace kevoinet

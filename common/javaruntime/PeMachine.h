// The machine field of a PE image, read from the image's first bytes.
#ifndef KEVO_PEMACHINE_H
#define KEVO_PEMACHINE_H

#include <stddef.h>

namespace kevojava {

// How many leading bytes of a file PeMachine needs: linkers put the NT
// headers well inside the first page.
const size_t kPeHeadBytes = 4096;

// IMAGE_FILE_MACHINE_* of the image whose first `size` bytes are `head`
// (the NT headers are found through the DOS header's e_lfanew); 0 when the
// bytes are not the start of a PE image or are cut short.
unsigned short PeMachine(const unsigned char* head, size_t size);

}  // namespace kevojava

#endif

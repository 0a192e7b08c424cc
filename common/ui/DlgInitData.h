// The initialisation data of a dialog's list controls, as resource compilers
// store it in a resource of type 240 with the dialog template's id: records of
// control id (16 bits), message (16 bits), data length (32 bits) and the data
// (a zero-ended single-byte text), ended by a zero control id. The plain
// dialog manager never applies it, so the dialog base class does.
#ifndef KEVO_DLGINITDATA_H
#define KEVO_DLGINITDATA_H

#include <cstddef>
#include <string>
#include <vector>

namespace kevoui {

enum {
    kDlgInitResourceType = 240,
    // Message numbers as the data stores them (16-bit heritage).
    kDlgInitListAddString = 0x0401,
    kDlgInitComboAddString = 0x0403
};

struct DlgInitItem {
    int controlId;
    unsigned message;  // one of the kDlgInit* message numbers, or another stored value
    std::string text;  // data up to its first zero byte
};

// Parses the records of data[0..size). Returns false when the data ends
// inside a record or lacks its end mark; items holds the complete records read
// before that point either way.
bool ParseDlgInit(const unsigned char* data, size_t size, std::vector<DlgInitItem>& items);

}  // namespace kevoui

#endif

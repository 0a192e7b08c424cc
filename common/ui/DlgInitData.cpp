#include "DlgInitData.h"

namespace kevoui {

namespace {
unsigned ReadU16(const unsigned char* p) { return (unsigned)p[0] | ((unsigned)p[1] << 8); }
unsigned long ReadU32(const unsigned char* p)
{
    return (unsigned long)p[0] | ((unsigned long)p[1] << 8) | ((unsigned long)p[2] << 16) |
           ((unsigned long)p[3] << 24);
}
}  // namespace

bool ParseDlgInit(const unsigned char* data, size_t size, std::vector<DlgInitItem>& items)
{
    items.clear();
    size_t pos = 0;
    for (;;) {
        if (size - pos < 2)
            return false;
        unsigned id = ReadU16(data + pos);
        if (id == 0)
            return true;
        if (size - pos < 8)
            return false;
        unsigned message = ReadU16(data + pos + 2);
        unsigned long length = ReadU32(data + pos + 4);
        pos += 8;
        if (length > size - pos)
            return false;
        const char* text = reinterpret_cast<const char*>(data + pos);
        size_t n = 0;
        while (n < length && text[n] != '\0')
            ++n;
        DlgInitItem item;
        item.controlId = (int)id;
        item.message = message;
        item.text.assign(text, n);
        items.push_back(item);
        pos += length;
    }
}

}  // namespace kevoui

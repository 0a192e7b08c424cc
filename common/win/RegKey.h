// Owner of an open registry key: closed on every path.
#ifndef KEVO_REGKEY_H
#define KEVO_REGKEY_H

#include <windows.h>

namespace kevowin {

class RegKey {
public:
    RegKey() : key_(NULL) {}
    ~RegKey()
    {
        if (key_ != NULL)
            RegCloseKey(key_);
    }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;

    // The slot for RegOpenKeyEx and the like; NULL (untouched) on failure.
    HKEY* Out() { return &key_; }
    HKEY Get() const { return key_; }
    // Opens subkey of parent for reading, in the program's own view.
    bool OpenForRead(HKEY parent, const wchar_t* subkey)
    {
        return RegOpenKeyExW(parent, subkey, 0, KEY_READ, &key_) == ERROR_SUCCESS;
    }

private:
    HKEY key_;
};

}  // namespace kevowin

#endif

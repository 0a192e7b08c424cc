// Where the emulation finds its scenario and writes its report: the
// environment variable, or on Windows the same-named value under
// HKCU\Software\KEVO-Testbed\jvmemu when the variable is unset.
#ifndef KEVO_JVMEMU_HOST_H
#define KEVO_JVMEMU_HOST_H

#include <string>

// The whole file named by the setting ("Scenario": KEVO_JVMEMU_SCENARIO),
// empty when unset or unreadable.
std::string EmuReadNamedFile(const char* variable, const wchar_t* registryValue);
// Replaces the file named by the setting ("Traps": KEVO_JVMEMU_TRAPS);
// nothing happens when it is unset.
void EmuWriteNamedFile(const char* variable, const wchar_t* registryValue, const std::string& text);

#endif

// Install path and connection settings, Win32 layer: the registry value
// InstallPath of HKLM "Software\KEVO", the settings file
// "KEVOValidationInfo.ini" in that directory, URL cracking and the opening
// of the WinINet handle.
//
// The revocation tool and the version checker share this logic but each
// writes its own trace wording, and the version checker's settings reader
// tolerates a failed proxy copy. Each program's entry points therefore live
// in a namespace of its own (both have a setURLData and an HTTP_InternetOpen),
// and the trace lines go to whichever trace log the program links.
#ifndef KEVO_KEVOSETTINGS_H
#define KEVO_KEVOSETTINGS_H

#include <windows.h>
#include <wininet.h>

#include "SettingInfo.h"

// Name of the settings file in the install directory and its section.
#define KEVO_SETTINGS_FILE_NAME "KEVOValidationInfo.ini"
#define KEVO_SETTINGS_SECTION "ConfirmSettingInfo"

// Revocation tool: install directory + one backslash (unless it ends with
// one) + fileName. Returns 0 with a new text the caller frees; -104 when
// the key or value cannot be read, the value cannot be buffered, or it is
// empty or not an absolute path; -102 when the result cannot be allocated.
// *path is untouched on failure.
int KEVOGetServiceAPIPath(const char* fileName, char** path);
// Frees the record's five strings, each if set, and clears them.
void KEVO_CVS_Release_CVSfuncMemory(SettingInfo* info);

// Version checker: the settings file's full path; the codes as above.
int KEVOGetPath(char** path);

namespace KevoRevoke {
// The logic of CREVOKE_Http::setSettingInfo: 0, -104 (no usable URL) or
// -102 (a copy could not be allocated).
int setSettingInfo(SettingInfo* info);
// 1 with host (1025-byte buffer, at most 511 bytes used), path (1025 bytes)
// and port; 0 when the URL cannot be cracked.
int setURLData(const char* url, char* host, char* path, int* port);
// 1 with an open handle (time-outs set); 0 or -406 with *handle NULL.
int HTTP_InternetOpen(HINTERNET* handle, const SettingInfo* info);
}  // namespace KevoRevoke

namespace KevoVerchk {
int setSettingInfo(SettingInfo* info);
int setURLData(const char* url, char* host, char* path, int* port);
int HTTP_InternetOpen(HINTERNET* handle, const SettingInfo* info);
void MemoryRelease(SettingInfo* info);
}  // namespace KevoVerchk

namespace KevoSettingsTesting {
// Makes the nth allocation from now (1 = the next) of this module fail;
// 0 switches failures off. Lets tests reach the out-of-memory paths.
void FailAllocation(int nth);
}

#endif

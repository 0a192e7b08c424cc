// The version checker's application: one pass through InitInstance, no
// window of its own.
#ifndef KEVO_KEVOAUTOUPDATE_H
#define KEVO_KEVOAUTOUPDATE_H

#include <windows.h>

#include "SoftwareVersion.h"

class CKEVOAutoUpdateApp {
public:
    // Reads the installed version, the settings and the server's version,
    // and shows the notice when the server's is newer. Always FALSE: the
    // program never enters a message loop.
    BOOL InitInstance();
    // TRUE with major, minor, revision from HKLM "Software\KEVO\Version" and
    // build 0; FALSE (ver untouched) when any of the three is unreadable.
    BOOL GetAppVersion(SoftwareVersion* ver);
};

#endif

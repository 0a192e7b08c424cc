// Texts of the version checker's string table.
#ifndef KEVO_VERCHKTEXT_H
#define KEVO_VERCHKTEXT_H

#include <windows.h>

#include <string>

// The string resource id of this module, or "" when it is missing.
std::wstring LoadVerchkText(UINT id);

#endif

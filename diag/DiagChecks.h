// The read-only checks of the diagnostics report, one function per section,
// run in the order of kDiagSections.
#ifndef KEVO_DIAGCHECKS_H
#define KEVO_DIAGCHECKS_H

#include <windows.h>

#include <string>

#include "DiagReport.h"

// What the sections learn for the ones after them.
struct DiagContext {
    std::wstring installDir;  // with a trailing backslash; empty when unknown or missing
    bool installedVersionKnown = false;
    DWORD installedVersion[4] = {0, 0, 0, 0};
    // Where the counter's address comes from: the settings file's url
    // (written there as urlInFile) or the built-in default.
    bool urlFromFile = false;
    std::wstring urlInFile;
    // Why the version file is not fetched (the counter's host did not
    // answer, or its proxy asks for a sign-in); NULL to fetch it.
    const wchar_t* versionFileSkipped = NULL;
    double networkSeconds = 0;  // time spent in the requests to the counter
};

typedef void (*DiagCheck)(DiagReport& report, DiagContext& context);

void CheckPc(DiagReport& report, DiagContext& context);
void CheckInstallation(DiagReport& report, DiagContext& context);
void CheckSettings(DiagReport& report, DiagContext& context);
void CheckJava(DiagReport& report, DiagContext& context);
void CheckCard(DiagReport& report, DiagContext& context);
void CheckNetwork(DiagReport& report, DiagContext& context);
void CheckTraceLog(DiagReport& report, DiagContext& context);

// Runs every check, telling observer (when not NULL) of each change, and
// renders the report.
std::wstring RunDiagnostics(DiagObserver* observer);

// Helpers shared by the checks.
// HKLM Software\KEVO\Version Major, Minor, Revision and Build (0 when absent);
// false when one of the first three is missing.
bool ReadInstalledVersion(DWORD field[4]);
std::wstring FromAnsi(const char* text);
// A REG_SZ value, or a REG_DWORD in decimal; kTextUnset when neither.
std::wstring RegistryText(HKEY root, const std::wstring& subkey, const wchar_t* name);
double SecondsSince(LONGLONG start);  // start: a QueryPerformanceCounter value
LONGLONG PerformanceNow();

#endif

// Drives the real KEVORWSetting.exe under Wine: a copy of the tool in a
// scratch directory (with the stand-in smart card library beside it when a
// test lists readers), its dialog and message boxes found by title and pid,
// the registry values read back in the system code page. Every wait is
// bounded.
#ifndef KEVO_RWSETTINGFIXTURE_H
#define KEVO_RWSETTINGFIXTURE_H

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "KevoTestSupport.h"
#include "WindowDriver.h"

namespace rwtest {

extern const std::wstring kTitle;  // dialog and message box caption
extern const wchar_t kKevoKey[];
extern const wchar_t kWowKey[];

// Shift-JIS text of a wide literal.
std::string Sjis(const std::wstring& text);

// A value as the tool reads it: narrow API, exact bytes and type.
struct NarrowValue {
    bool present = false;
    DWORD type = 0;
    std::string bytes;
};
NarrowValue GetNarrow(const wchar_t* key, const char* name, REGSAM view = 0);
// Stores exactly these bytes through the narrow API (no terminator added).
void SetNarrowRaw(const wchar_t* key, const char* name, DWORD type, const std::string& bytes);
void SetNarrowString(const wchar_t* key, const char* name, const std::string& sjis);  // with its zero

std::vector<std::wstring> ComboItems(HWND combo);
int ComboSelection(HWND combo);
bool Checked(HWND dialog, int id);
bool Enabled(HWND dialog, int id);

class RWSettingTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Lists these readers (Shift-JIS names) through the stand-in library;
    // without a call the platform's own library answers.
    void UseStandIn(const std::vector<std::string>& readers);
    // Starts the tool; returns its dialog (NULL when none appeared).
    HWND StartTool();
    HWND StartTool(kevotest::ChildProcess& child);
    // The tool's dialog or message box for pid, or NULL after the time-out.
    static HWND WaitForDialog(DWORD pid, DWORD timeoutMs = 20000);
    static HWND WaitForMessageBox(DWORD pid, DWORD timeoutMs = 20000);
    // The message box's text; presses its OK button and waits for it to go.
    static std::wstring AnswerMessageBox(HWND box);
    // Presses Save, expects message 109 and the end of the program.
    void SaveExpectingSuccess(HWND dialog);
    // Presses Save, expects this message and the dialog to stay.
    void SaveExpectingMessage(HWND dialog, const std::wstring& message);
    bool WaitForExit(DWORD timeoutMs = 20000);
    std::string Logs() const;
    DWORD StandInCount(const wchar_t* name) const;

    std::wstring dir_;
    std::wstring exe_;
    kevotest::ProcessOptions options_;
    kevotest::ChildProcess child_;
};

extern const std::wstring kMessageSaved;
extern const std::wstring kMessageNoReader;
extern const std::wstring kMessageRunning;
std::wstring RegistryErrorMessage(DWORD code);

}  // namespace rwtest

#endif

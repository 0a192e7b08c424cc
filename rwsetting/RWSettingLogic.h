// Decisions of the reader/writer setting dialog that need no window or
// registry: what a stored RWType shows, which controls a kind enables, how
// the service's reader multi-string and the fixed read buffers are taken
// apart, and which values one save pass writes.
#ifndef KEVO_RWSETTINGLOGIC_H
#define KEVO_RWSETTINGLOGIC_H

#include <cstddef>
#include <string>
#include <vector>

namespace rwsetting {

// Stored RWType values; also the radio buttons of the dialog.
enum ReaderKind { kKindNone = -1, kKindAuto = 0, kKindPcsc = 1, kKindNmda = 2 };

// 1 and 2 name their kinds; every other stored value shows as automatic.
ReaderKind KindFromRWType(unsigned long value);

// Which of the two lists (and their labels) a kind enables.
struct ControlStates {
    bool readerList;  // 1015 and its label 1012
    bool portList;    // 1016 and its label 1013
};
ControlStates ControlStatesFor(ReaderKind kind);

// The names of a double-zero-ended multi-string of at most size bytes; a name
// cut by the end of the data is kept as far as it goes.
std::vector<std::string> SplitMultiString(const char* data, size_t size);

// Text read into a zero-filled fixed buffer: true with the text when the
// buffer holds its terminator; false when the value filled the buffer without
// one (it did not fit and counts as missing).
bool TerminatedText(const char* buffer, size_t bufferSize, std::string& text);

// PROCESSOR_ARCHITECTURE_AMD64 marks 64-bit Windows, which gets the second
// (Wow6432Node) pass.
bool IsAmd64Architecture(unsigned short architecture);

// One registry value to write: its name, REG_SZ or REG_DWORD, and the exact
// bytes (strings with their terminating zero counted).
struct RegWrite {
    std::string name;
    unsigned long type;
    std::string bytes;
};

enum PassPlan {
    kPlanWrite,     // write the values in order
    kPlanNoReader,  // PC/SC chosen, list shows no name: message 111
    kPlanNoKind     // no radio button selected: message 125
};
// The values one save pass writes for the selected kind, from the texts the
// two lists show.
PassPlan PlanSavePass(ReaderKind selected, const std::string& readerText, const std::string& portText,
                      std::vector<RegWrite>& writes);

// What one save needs from the registry, the dialog and the log; the dialog
// implements it over the real registry and controls, tests over a fake.
class SaveTarget {
public:
    virtual ~SaveTarget() {}
    // Creates or opens HKEY_CURRENT_USER path as the current key, closing any
    // earlier one; returns the registry's result code.
    virtual long CreateKey(const char* path) = 0;
    virtual void CloseKey() = 0;
    // Writes into the current key; returns the registry's result code.
    virtual long SetValue(const RegWrite& value) = 0;
    // Finds the architecture (and logs how).
    virtual bool IsSixtyFourBitWindows() = 0;
    // The controls as they are now.
    virtual ReaderKind SelectedKind() = 0;
    virtual std::string ReaderText() = 0;
    virtual std::string PortText() = 0;
    // A level-20 log line, ended by its line feed.
    virtual void TraceError(const std::string& line) = 0;
    // Message 110 with the code, or 111 / 125 (code unused).
    virtual void ShowMessage(unsigned id, long code) = 0;
};

// The save: first key, then on 64-bit Windows the Wow6432Node key, each by a
// pass over the selected kind. Returns true when the first pass wrote its
// values (message 109 and the end of the dialog follow), also when a later
// step failed. The current key is closed on return.
bool RunSave(SaveTarget& target);

}  // namespace rwsetting

#endif

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

}  // namespace rwsetting

#endif

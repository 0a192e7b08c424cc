#include "RWSettingLogic.h"

#include <cstdio>

namespace rwsetting {

namespace {
const unsigned long kRegSz = 1;     // REG_SZ
const unsigned long kRegDword = 4;  // REG_DWORD

std::string DwordBytes(unsigned long value)
{
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[i] = (char)((value >> (8 * i)) & 0xFF);
    return bytes;
}

RegWrite StringValue(const char* name, const std::string& text)
{
    RegWrite w;
    w.name = name;
    w.type = kRegSz;
    w.bytes = text;
    w.bytes.push_back('\0');
    return w;
}

RegWrite DwordValue(const char* name, unsigned long value)
{
    RegWrite w;
    w.name = name;
    w.type = kRegDword;
    w.bytes = DwordBytes(value);
    return w;
}
}  // namespace

ReaderKind KindFromRWType(unsigned long value)
{
    if (value == 1)
        return kKindPcsc;
    if (value == 2)
        return kKindNmda;
    return kKindAuto;
}

ControlStates ControlStatesFor(ReaderKind kind)
{
    ControlStates s = {false, false};
    if (kind == kKindPcsc)
        s.readerList = true;
    else if (kind == kKindNmda)
        s.portList = true;
    return s;
}

std::vector<std::string> SplitMultiString(const char* data, size_t size)
{
    std::vector<std::string> names;
    if (data == NULL)
        return names;
    size_t pos = 0;
    while (pos < size && data[pos] != '\0') {
        size_t end = pos;
        while (end < size && data[end] != '\0')
            ++end;
        names.push_back(std::string(data + pos, end - pos));
        pos = end + 1;
    }
    return names;
}

bool TerminatedText(const char* buffer, size_t bufferSize, std::string& text)
{
    for (size_t i = 0; i < bufferSize; ++i) {
        if (buffer[i] == '\0') {
            text.assign(buffer, i);
            return true;
        }
    }
    return false;
}

bool IsAmd64Architecture(unsigned short architecture)
{
    return architecture == 9;  // PROCESSOR_ARCHITECTURE_AMD64
}

PassPlan PlanSavePass(ReaderKind selected, const std::string& readerText, const std::string& portText,
                      std::vector<RegWrite>& writes)
{
    writes.clear();
    switch (selected) {
    case kKindPcsc:
        if (readerText.empty())
            return kPlanNoReader;
        writes.push_back(StringValue("Name", readerText));
        writes.push_back(DwordValue("RWType", 1));
        return kPlanWrite;
    case kKindNmda:
        writes.push_back(StringValue("Port", portText));
        writes.push_back(DwordValue("RWType", 2));
        return kPlanWrite;
    case kKindAuto:
        writes.push_back(DwordValue("RWType", 0));
        return kPlanWrite;
    default:
        return kPlanNoKind;
    }
}

namespace {
std::string FailLine(const char* what, long code)
{
    char line[128];
    snprintf(line, sizeof line, "%s fail: result=0x%08x\n", what, (unsigned)code);
    return line;
}

enum PassEnd { kPassWritten, kPassStopped };

PassEnd RunPass(SaveTarget& target)
{
    std::vector<RegWrite> writes;
    PassPlan plan = PlanSavePass(target.SelectedKind(), target.ReaderText(), target.PortText(), writes);
    if (plan == kPlanNoReader) {
        target.ShowMessage(111, 0);
        return kPassStopped;
    }
    if (plan == kPlanNoKind) {
        target.ShowMessage(125, 0);
        return kPassStopped;
    }
    for (size_t i = 0; i < writes.size(); ++i) {
        long rc = target.SetValue(writes[i]);
        if (rc != 0) {
            target.TraceError(FailLine(("RegSetValueEx(" + writes[i].name + ")").c_str(), rc));
            target.ShowMessage(110, rc);
            return kPassStopped;
        }
    }
    return kPassWritten;
}
}  // namespace

bool RunSave(SaveTarget& target)
{
    bool saved = false;
    long rc = target.CreateKey("SOFTWARE\\KEVO");
    if (rc != 0) {
        target.TraceError(FailLine("RegCreateKeyEx", rc));
        target.ShowMessage(110, rc);
        target.CloseKey();
        return false;
    }
    bool secondPass = target.IsSixtyFourBitWindows();
    if (RunPass(target) == kPassWritten) {
        saved = true;
        if (secondPass) {
            target.CloseKey();
            target.TraceError("set Wow6432Node start\n");
            rc = target.CreateKey("SOFTWARE\\Wow6432Node\\KEVO");
            if (rc != 0) {
                target.TraceError(FailLine("RegCreateKeyEx", rc));
                target.ShowMessage(110, rc);
            } else if (RunPass(target) == kPassWritten) {
                target.TraceError("set Wow6432Node end\n");
            }
        }
    }
    target.CloseKey();
    return saved;
}

}  // namespace rwsetting

// The trace log section: the trace settings, and per program of the tool set
// its newest logs in the temporary folder, the rest counted. This program's
// own logs are only counted, so that its runs never push out the logs the
// help desk asks for.
#include <windows.h>

#include <wctype.h>

#include <string>
#include <vector>

#include "DiagChecks.h"
#include "DiagNames.h"
#include "DiagTexts.h"
#include "KevoPolicy.h"

namespace {

struct LogProgram {
    const wchar_t* prefix;  // the file name before its 14 digits of date and time
    const wchar_t* name;
    bool listed;  // false: counted only
};

const LogProgram kLogPrograms[] = {
    {L"KEVORevoke", kLogRevoke, true},        {L"KEVOSOFTVERCHK", kLogVerchk, true},
    {L"KEVOUtil", kLogRwSetting, true},       {L"kevousercert", kLogServiceApi, true},
    {L"KEVODiag", kLogDiag, false},
};
const size_t kNewestShown = 2;
// Beyond these a log or a program's logs are unusual: the help desk hears of
// it, and the PC's owner learns how to stop it.
const ULONGLONG kLargeLogBytes = 100ULL << 20;
const size_t kManyLogs = 100;

struct ProgramLogs {
    std::vector<WIN32_FIND_DATAW> files;  // newest first
    ULONGLONG bytes = 0;
};

ULONGLONG FileBytes(const WIN32_FIND_DATAW& found)
{
    return ((ULONGLONG)found.nFileSizeHigh << 32) | found.nFileSizeLow;
}

// The program whose log this is: its prefix followed by a digit.
int ProgramOf(const wchar_t* fileName)
{
    for (size_t i = 0; i < sizeof kLogPrograms / sizeof kLogPrograms[0]; ++i) {
        const size_t n = wcslen(kLogPrograms[i].prefix);
        if (_wcsnicmp(fileName, kLogPrograms[i].prefix, n) == 0 && iswdigit(fileName[n]))
            return (int)i;
    }
    return -1;
}

void InsertNewestFirst(std::vector<WIN32_FIND_DATAW>& files, const WIN32_FIND_DATAW& found)
{
    size_t at = 0;
    while (at < files.size() && CompareFileTime(&files[at].ftLastWriteTime, &found.ftLastWriteTime) >= 0)
        ++at;
    files.insert(files.begin() + at, found);
}

std::wstring LogLine(const std::wstring& folder, const WIN32_FIND_DATAW& found)
{
    FILETIME local;
    SYSTEMTIME when;
    FileTimeToLocalFileTime(&found.ftLastWriteTime, &local);
    FileTimeToSystemTime(&local, &when);
    return Fmt(kTextTraceFile, (folder + found.cFileName).c_str(), FileBytes(found), when.wYear, when.wMonth,
               when.wDay, when.wHour, when.wMinute);
}

}  // namespace

void CheckTraceLog(DiagReport& report, DiagContext&)
{
    report.Section(kSectionTrace);
    // The level in force: the machine's policy over the user's value.
    DWORD policyLevel = 0;
    std::wstring level = RegistryText(HKEY_CURRENT_USER, L"SOFTWARE\\KEVO", L"TRACE");
    diagnames::Source source = level == kTextUnset ? diagnames::kSourceDefault : diagnames::kSourceUser;
    if (kevopolicy::ReadDword(KEVO_POLICY_TRACE, &policyLevel)) {
        level = Fmt(L"%lu", (unsigned long)policyLevel);
        source = diagnames::kSourcePolicy;
    }
    report.Ok(Fmt(kTextTraceValues, level.c_str(), diagnames::SourceName(source),
                  RegistryText(HKEY_CURRENT_USER, L"SOFTWARE\\KEVO", L"TRACECOMMIT").c_str()));
    wchar_t temp[MAX_PATH + 1];
    DWORD n = GetTempPathW(MAX_PATH + 1, temp);
    if (n == 0 || n > MAX_PATH)
        return;
    const std::wstring folder = temp;
    const size_t kPrograms = sizeof kLogPrograms / sizeof kLogPrograms[0];
    std::vector<ProgramLogs> logs(kPrograms);
    size_t found = 0;
    WIN32_FIND_DATAW file;
    HANDLE search = FindFirstFileW((folder + L"*.log").c_str(), &file);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const int program = ProgramOf(file.cFileName);
            if (program < 0 || (file.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                continue;
            InsertNewestFirst(logs[program].files, file);
            logs[program].bytes += FileBytes(file);
            ++found;
        } while (FindNextFileW(search, &file));
        FindClose(search);
    }
    if (found == 0) {
        report.Ok(Fmt(kTextNoTraceFile, temp));
        return;
    }
    for (size_t i = 0; i < kPrograms; ++i) {
        const ProgramLogs& mine = logs[i];
        if (mine.files.empty())
            continue;
        const size_t shown =
            !kLogPrograms[i].listed ? 0 : mine.files.size() < kNewestShown ? mine.files.size() : kNewestShown;
        for (size_t k = 0; k < shown; ++k)
            report.Ok(kLogPrograms[i].name + std::wstring(L" ") + LogLine(folder, mine.files[k]));
        if (mine.files.size() > shown)
            report.Ok(Fmt(shown == 0 ? kTextTraceCounted : kTextTraceMore, kLogPrograms[i].name,
                          (unsigned long)(mine.files.size() - shown), mine.bytes));
        if (mine.files.size() > kManyLogs)
            report.Warn(Fmt(kWarnTraceMany, kLogPrograms[i].name, (unsigned long)mine.files.size()),
                        kAdviceTraceCleanUp);
        for (const WIN32_FIND_DATAW& log : mine.files)
            if (FileBytes(log) > kLargeLogBytes)
                report.Warn(Fmt(kWarnTraceLarge, (folder + log.cFileName).c_str(), FileBytes(log)),
                            kAdviceTraceCleanUp);
    }
}

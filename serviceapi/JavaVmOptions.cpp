#include "JavaVmOptions.h"

#include <stdlib.h>

#include "TraceLog.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

const char kErrorFileName[] = "hs_err_pid%p.log";

#if defined(_WIN32)
// wide -> ANSI code page; false when a character has no exact form there
// (the text then holds the code page's default character in its place).
bool ToAnsiCodePage(const std::wstring& wide, std::string* narrow)
{
    narrow->clear();
    if (wide.empty())
        return true;
    BOOL lossy = FALSE;
    int bytes = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), (int)wide.size(), NULL, 0, NULL,
                                    &lossy);
    if (bytes <= 0)
        return false;
    narrow->resize(bytes);
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), (int)wide.size(), &(*narrow)[0], bytes, NULL,
                        &lossy);
    return !lossy;
}

// The wide form: the narrow one truncates Japanese values under some
// Windows emulations.
std::string ClassPathFromEnvironment()
{
    DWORD needed = GetEnvironmentVariableW(L"CLASSPATH", NULL, 0);
    if (needed == 0)
        return std::string();
    std::wstring wide(needed, L'\0');
    DWORD got = GetEnvironmentVariableW(L"CLASSPATH", &wide[0], needed);
    if (got == 0 || got >= needed)
        return std::string();
    wide.resize(got);
    std::string narrow;
    ToAnsiCodePage(wide, &narrow);   // as the VM reads it, even where inexact
    return narrow;
}

// The temporary folder with its final separator, in the ANSI code page; a
// folder that the code page cannot spell is named by its short (8.3) form.
// Empty when neither works.
std::string TemporaryFolder()
{
    wchar_t path[MAX_PATH + 1];
    DWORD length = GetTempPathW(MAX_PATH + 1, path);
    if (length == 0 || length > MAX_PATH)
        return std::string();
    std::string narrow;
    if (ToAnsiCodePage(std::wstring(path, length), &narrow))
        return narrow;
    wchar_t shortPath[MAX_PATH + 1];
    length = GetShortPathNameW(path, shortPath, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH || !ToAnsiCodePage(std::wstring(shortPath, length), &narrow))
        return std::string();
    return narrow;
}
#else
std::string ClassPathFromEnvironment()
{
    const char* value = getenv("CLASSPATH");
    return value != NULL ? std::string(value) : std::string();
}

std::string TemporaryFolder()
{
    const char* value = getenv("TMPDIR");
    std::string folder = value != NULL && value[0] != '\0' ? value : "/tmp";
    if (folder[folder.size() - 1] != '/')
        folder += '/';
    return folder;
}
#endif

// The VM expands "%p" in the error file's name to its process id and reads
// "%%" as one '%'; a '%' of the folder itself must not start either.
std::string ErrorFileOption(const std::string& folder)
{
    std::string option = "-XX:ErrorFile=";
    for (size_t i = 0; i < folder.size(); ++i) {
        if (folder[i] == '%')
            option += '%';
        option += folder[i];
    }
    return option + kErrorFileName;
}

}  // namespace

JavaVmOptions::JavaVmOptions()
{
    std::string classPath = ClassPathFromEnvironment();
    if (!classPath.empty())
        strings_.push_back("-Djava.class.path=" + classPath);
    strings_.push_back("-Xrs");
    std::string folder = TemporaryFolder();
    if (!folder.empty())
        strings_.push_back(ErrorFileOption(folder));
    else
        TraceLog(TRACE_LEVEL_ERROR, "No temporary folder for the VM's error file\n");

    table_.resize(strings_.size());
    for (size_t i = 0; i < strings_.size(); ++i) {
        table_[i].optionString = &strings_[i][0];
        table_[i].extraInfo = NULL;
    }
}

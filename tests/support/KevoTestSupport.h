// Helpers for tests that drive the real Windows binaries under Wine: the
// registry, INI files, temporary directories, child processes with their own
// environment, windows on the screen, trace log files and the testbed server.
// Every wait is bounded by a time-out.
#ifndef KEVO_TEST_SUPPORT_H
#define KEVO_TEST_SUPPORT_H

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace kevotest {

// ---- text ------------------------------------------------------------------
std::wstring Widen(const std::string& utf8);           // UTF-8 -> UTF-16
std::string Utf8(const std::wstring& wide);            // UTF-16 -> UTF-8
std::string ToCp932(const std::wstring& wide);         // UTF-16 -> Shift-JIS
std::wstring FromCp932(const std::string& sjis);       // Shift-JIS -> UTF-16
// "/work/x" (a path on the Unix side, as CMake passes it) -> "Z:\\work\\x".
std::wstring WinePath(const std::string& unixPath);
// Environment variable of this (test) process, wide form.
std::wstring GetEnv(const wchar_t* name);

// ---- registry --------------------------------------------------------------
// Deletes a key with all its subkeys; absent keys are fine.
void DeleteKeyTree(HKEY root, const std::wstring& subkey, REGSAM view = 0);
void SetDword(HKEY root, const std::wstring& subkey, const std::wstring& name, DWORD value, REGSAM view = 0);
void SetString(HKEY root, const std::wstring& subkey, const std::wstring& name, const std::string& sjisValue,
               REGSAM view = 0);
// Stores exactly the given bytes with the given type (no terminator added).
void SetRaw(HKEY root, const std::wstring& subkey, const std::wstring& name, DWORD type,
            const std::vector<BYTE>& bytes, REGSAM view = 0);
struct RegValue {
    bool present = false;
    DWORD type = 0;
    std::vector<BYTE> bytes;
};
RegValue GetValue(HKEY root, const std::wstring& subkey, const std::wstring& name, REGSAM view = 0);
bool KeyExists(HKEY root, const std::wstring& subkey, REGSAM view = 0);

// Removes the system's keys (HKCU and HKLM SOFTWARE\KEVO, the machine policy
// key, both views) so that each test starts from a clean registry; use in SetUp.
void ResetKevoRegistry();
// The machine policy key and the view Group Policy writes it in (the 64-bit
// one on 64-bit Windows), for tests that set a policy value.
extern const wchar_t kPolicyKey[];
REGSAM PolicyView();
// Sets policy value name: "sz:<text>" as REG_SZ (Shift-JIS), else a decimal REG_DWORD.
void SetPolicyValue(const std::wstring& name, const std::string& value);
// Registers jvmDll (a Windows path) as the PC's Java runtime, as a Java
// installer does (HKLM SOFTWARE\JavaSoft\Java Runtime Environment,
// CurrentVersion 1.8 with its RuntimeLib); empty removes every runtime.
void RegisterJavaRuntime(const std::wstring& jvmDll);
// Registers as the only runtime a jvm.dll in dir (with a trailing
// backslash) that is the start of a PE image for the machine the tools of
// this build are not.
void RegisterOtherMachineJavaRuntime(const std::wstring& dir);
// Removes the software card's test values (failure switches, PIN prompt,
// PIN, card folder), so that the card is the installed one again and asks
// for nothing; tests that change them call it in SetUp and TearDown.
void ResetSoftCardSwitches();

// ---- files -----------------------------------------------------------------
// A new empty directory under the prefix's temporary directory, with a
// trailing backslash; names are unique per call.
std::wstring MakeScratchDir(const std::wstring& label);
void RemoveTree(const std::wstring& dir);
std::vector<std::wstring> ListFiles(const std::wstring& dir, const std::wstring& pattern);
std::string ReadBytes(const std::wstring& path);
void WriteBytes(const std::wstring& path, const std::string& bytes);
// Writes an INI file from Shift-JIS lines (joined with CR LF).
void WriteIni(const std::wstring& path, const std::vector<std::string>& lines);

// ---- processes -------------------------------------------------------------
struct ProcessOptions {
    std::wstring tempDir;                          // TEMP and TMP of the child
    std::wstring pathPrefix;                       // put before PATH
    std::map<std::wstring, std::wstring> env;      // further variables
    std::wstring workDir;
};
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    bool Start(const std::wstring& exe, const std::wstring& args, const ProcessOptions& options);
    // Starts file as the Start menu or the Run box does (ShellExecuteEx), in
    // this process's environment with the options' variables set; options
    // with a PATH prefix are refused.
    bool StartThroughShell(const std::wstring& file, const ProcessOptions& options);
    // Takes on a process that someone else started.
    bool Attach(DWORD pid);
    std::wstring ImagePath() const;  // the program file of the running child
    // Waits for the end; false on time-out (the child is then killed).
    bool Wait(DWORD timeoutMs, DWORD* exitCode);
    bool Running() const;
    DWORD Pid() const { return pid_; }
    HANDLE Handle() const { return process_; }

private:
    HANDLE process_ = NULL;
    DWORD pid_ = 0;
};
// Runs to the end; returns the exit code, or -1 when it did not end in time.
long RunProgram(const std::wstring& exe, const std::wstring& args, const ProcessOptions& options,
                DWORD timeoutMs = 60000);

// ---- windows ---------------------------------------------------------------
// Waits for a visible top-level window with this title (and class, if not
// empty), owned by pid when pid != 0. NULL on time-out.
HWND WaitForWindow(const std::wstring& title, const std::wstring& className, DWORD pid, DWORD timeoutMs);
// Waits until the window is gone; false on time-out.
bool WaitForWindowGone(HWND window, DWORD timeoutMs);
std::wstring WindowText(HWND window);
// Texts of all static controls of a dialog (a message box's message among them).
std::wstring DialogStaticText(HWND dialog);
void SetControlText(HWND dialog, int id, const std::wstring& text);
void ClickButton(HWND dialog, int id);
// True when some top-level window of pid is visible.
bool ProcessHasVisibleWindow(DWORD pid);

// Answers a modal dialog from a second thread while the thread that opened
// it is held by it (a card's PIN prompt inside a CryptoAPI call): watches
// until Stop, for at most 30 s, for a visible dialog (#32770) with this
// title of process pid (0: any), and when it appears sets the text of
// control editId and presses OK, or presses Cancel when text is NULL. A
// test that expects no dialog uses it as a watchdog: one that appears
// anyway is cancelled and Seen() tells.
class DialogAnswerer {
public:
    DialogAnswerer(const std::wstring& title, DWORD pid, int editId, const wchar_t* text);
    ~DialogAnswerer();
    DialogAnswerer(const DialogAnswerer&) = delete;
    DialogAnswerer& operator=(const DialogAnswerer&) = delete;
    void Stop();
    bool Seen() const { return seen_; }
    LONG EditStyle() const { return editStyle_; }  // GWL_STYLE of the edit control

private:
    static DWORD WINAPI Run(LPVOID self);
    void Answer();
    std::wstring title_;
    DWORD pid_;
    int editId_;
    std::wstring text_;
    bool cancel_;
    HANDLE stop_ = NULL;
    HANDLE thread_ = NULL;
    bool seen_ = false;
    LONG editStyle_ = 0;
};

// ---- trace logs ------------------------------------------------------------
// Concatenated bytes of every log file dir holds whose name starts with prefix.
std::string ReadLogs(const std::wstring& dir, const std::wstring& prefix);
// Enables tracing for the current user (TRACE, optionally TRACECOMMIT).
void EnableTrace(DWORD level = 20, DWORD commit = 0);

// ---- testbed server --------------------------------------------------------
// One HTTP exchange with the testbed's control channel on 127.0.0.1.
struct HttpReply {
    int status = 0;
    std::string body;
};
HttpReply TestbedRequest(const std::string& method, const std::string& path, const std::string& body = "");

}  // namespace kevotest

#endif

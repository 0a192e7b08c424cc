// One run of the real KEVORevoke.exe under Wine, set up as on a citizen's
// PC: the install image registered as InstallPath, the service library over
// the JNI emulation (its applicant chosen per run), the software card with
// its switches, the testbed counter. Reads each screen as the citizen sees
// it and answers its boxes and the card's PIN prompt. Used by the window
// tests, by the demo's driver and by the benchmark.
#ifndef KEVO_WIZARDRUN_H
#define KEVO_WIZARDRUN_H

#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

#include "KevoTestSupport.h"
#include "WindowDriver.h"

namespace wizardtest {

// Control ids of dialog 102.
enum {
    kTitle = 1001, kPrompt = 1012, kScreenNo = 1014, kExplain = 1015, kShortExplain = 1025,
    kLabelName = 1016, kLabelGender = 1017, kLabelAddress = 1018, kLabelBirth = 1024,
    kForward = 1031, kEnd = 1028,
    kEditName = 5047, kEditGender = 5048, kEditAddress = 5049, kEditBirth = 5050,
    kAboutCommand = 0x0010
};
extern const wchar_t kWizardTitle[];     // the dialog's caption (with its trailing blank)
extern const wchar_t kAboutTitle[];
extern const wchar_t kErrorCaption[];    // error boxes and the cancel question
extern const wchar_t kSendCaption[];     // the send confirmation

// What the emulated service hands out for the card's certificate.
struct Applicant {
    std::wstring name;
    std::wstring address;
    std::string gender;  // "1", "2", "0"
    std::string birth;   // nine-character birth-date code
};
Applicant SampleApplicant();  // a name with a character outside Shift-JIS

// Where the software card asks for its PIN.
enum PinPrompt { kNoPinPrompt = 0, kPinAtOpening = 1, kPinAtSigning = 2 };

// The software card with the key and certificate of its installation and
// these test switches (values under its registration).
// The prompt expects pin.
void SetCardSwitches(DWORD failOpen, DWORD failSign, PinPrompt prompt, const std::string& pin = "1234");

// The testbed counter: reset, the status it answers a verified request
// with, a fixed clock reading (empty: the real clock), and what it saw.
void ResetCounter();
void SetCounterStatus(int status);
void SetCounterClock(const std::string& digits);
int CounterRequests();                 // requests that reached AcceptApply
std::string CounterVerdictJson();      // the verifier's record of the last one
std::string CounterDocument();         // that request's document, decoded (UTF-8)
std::string CounterVerdictSummary();   // "accepted (status 200)", or what was refused and why

// Everything a screen shows.
struct ScreenView {
    std::wstring number, prompt, explain, shortExplain, forward, end;
    bool explainVisible = false, shortVisible = false, tableVisible = false, forwardVisible = false;
    std::wstring name, gender, birth, address;
};
ScreenView ReadScreen(HWND dialog);
// The screen as lines of UTF-8 text, for people (demo output).
std::string DescribeScreen(const ScreenView& view);

// A TCP relay on 127.0.0.1 in front of the testbed's HTTPS listener: the
// counter's address for one run, which Stop() takes away (connections
// refused from then on), as a network that fails between two requests.
class CounterRelay {
public:
    CounterRelay() = default;
    ~CounterRelay() { Stop(); }
    CounterRelay(const CounterRelay&) = delete;
    CounterRelay& operator=(const CounterRelay&) = delete;
    bool Start();            // listens on a free port
    int Port() const { return port_; }
    // Stops listening and cuts every relayed connection, so that a client
    // keeping its connection alive loses it too.
    void Stop();

private:
    static DWORD WINAPI AcceptLoop(LPVOID self);
    static DWORD WINAPI Pump(LPVOID pair);
    void Track(UINT_PTR socket, bool open);
    UINT_PTR listener_ = ~(UINT_PTR)0;
    std::mutex lock_;
    std::vector<UINT_PTR> open_;  // relayed sockets still open
    HANDLE thread_ = NULL;
    int port_ = 0;
};

// An install directory of its own (the service library of the image and a
// settings file naming url), in dir.
void MakeInstallDir(const std::wstring& dir, const std::string& url);

struct RunOptions {
    std::wstring exe;        // KEVORevoke.exe of the install image
    std::wstring imageDir;   // registered as InstallPath unless installDir is set
    std::wstring installDir;
    std::wstring jvmDir;     // folder of the emulated jvm.dll, registered as the Java runtime
    std::wstring workDir;    // TEMP/TMP (trace logs) and the scenario file
    Applicant applicant;
    DWORD traceLevel = 0;    // TRACE; 0 leaves tracing off
    // An installed wizard: InstallPath and the Java runtime as the
    // installers left them.
    bool installed = false;
    // Started as the Start menu or the Run box starts it: exe may then be a
    // bare name or a shortcut.
    bool throughShell = false;
    std::wstring startDir;   // the program's current folder; workDir when empty
    // A Start-menu shortcut (.lnk, Windows path) to open as a click does,
    // instead of exe. The shell hands back no process for a shortcut, so the
    // run takes on the wizard window that appears. The program gets the
    // shell's environment, not the run's: the emulation's scenario goes
    // through its registry setting, and the trace log is in this process's
    // temporary folder (workDir is set to it).
    std::wstring shortcut;
};
// Options from the build (the image, the emulation) with a fresh work folder.
RunOptions BuildTreeOptions(const std::wstring& label);

class WizardRun {
public:
    explicit WizardRun(const RunOptions& options) : options_(options) {}
    // Registers the install path, writes the applicant, starts the program
    // and waits for screen 01; false when it did not appear.
    bool Start(DWORD timeoutMs = 30000);
    HWND Dialog() const { return dialog_; }
    DWORD Pid() const { return child_.Pid(); }
    std::wstring ImagePath() const { return child_.ImagePath(); }
    ScreenView Screen() const { return ReadScreen(dialog_); }
    int ScreenNumber() const;  // from the screen number label; 0 when unreadable
    bool WaitForScreen(int number, DWORD timeoutMs = 30000) const;
    void Forward() const { kevotest::ClickButton(dialog_, kForward); }
    void End() const { kevotest::ClickButton(dialog_, kEnd); }
    // A message box of the program (not the wizard, not a prompt with an edit).
    HWND WaitForBox(DWORD timeoutMs = 30000) const;
    // Presses button (IDOK or IDCANCEL) of box; returns its message.
    std::wstring Answer(HWND box, int button) const;
    HWND WaitForPin(DWORD timeoutMs = 30000) const { return kevotest::WaitForPinPrompt(Pid(), dialog_, timeoutMs); }
    // True once the program has ended (within the time-out).
    bool WaitForExit(DWORD timeoutMs = 20000);
    bool Running() const { return child_.Running(); }
    // The JNI emulation's report of the run (see JvmEmuReport.h).
    std::string Traps() const;
    // Trace log lines of this run (Shift-JIS bytes).
    std::string Log() const;
    // Screen, PIN prompt or box, whichever comes first after a press.
    enum Next { kNextScreen, kNextPin, kNextBox, kNextNothing };
    Next WaitForNext(int screen, HWND* window, DWORD timeoutMs = 30000) const;

private:
    RunOptions options_;
    kevotest::ChildProcess child_;
    HWND dialog_ = NULL;
};

// ShiftJIS/UTF-8 helpers for comparisons with the program's bytes.
std::string Sjis(const std::wstring& text);

}  // namespace wizardtest

#endif

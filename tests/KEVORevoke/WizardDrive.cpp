// wizard_drive: one revocation through the real wizard window, as the demo
// and the benchmark need it. Starts KEVORevoke.exe of the install image
// (InstallPath, the emulated service, TEMP in a scratch folder), presses
// through screens 01 to 05, types the PIN when the card asks, answers the
// send confirmation, prints each screen's texts (UTF-8) and the counter's
// verdict, and ends the program with Enter on screen 05.
//
//   wizard_drive [out=DIR] [shots=windows|x11] [pin=TEXT] [prompt=sign|open|none]
//                [errorbox=1] [trace=LEVEL] [quiet=1]
//     out       folder (Windows path) for screenNN.bmp, confirm.bmp,
//               errorbox.bmp and trace.log (Shift-JIS)
//     shots     windows (default): the pictures are taken from the screen
//               here; x11: a line "shot NAME LEFT TOP WIDTH HEIGHT" asks
//               the caller to take NAME.png in out, and the drive waits
//               (bounded) until it is there
//     prompt    where the software card asks for the PIN (default sign)
//     errorbox  first shows the card-not-ready box on screen 02
//     trace     TRACE level of the run (default 0: off)
//     quiet     step times only
//     installed the installed wizard (InstallPath and the Java runtime as
//               the installers registered them), started as a citizen
//               starts it; prints the program file that was started:
//               1 or name  by name through the shell, as the Run box does
//               shortcut   the Start-menu shortcut lnk=FILE, opened as a
//                          click opens it (the program gets none of the
//                          drive's environment)
//               path       the program file exe=FILE itself, in folder cwd=DIR
//     until     the last screen to reach (default 5); from screen 03 on
//               the run ends with the end button
// Prints "step NAME MS ms" for start, 01->02, 02->03, 03->04, 04->05 and
// "step total MS ms" (program start to screen 05). Exit 0 when screen 05
// showed the accepted verdict, the program ended, and every picture asked
// for was taken of a window showing what the user guide describes.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "WindowWalk.h"
#include "WizardRun.h"

using namespace kevotest;
using namespace wizardtest;

namespace {

std::map<std::wstring, std::wstring> g_args;
bool g_quiet = false;

std::wstring Arg(const wchar_t* name, const wchar_t* fallback)
{
    std::map<std::wstring, std::wstring>::const_iterator it = g_args.find(name);
    return it != g_args.end() ? it->second : fallback;
}

void Say(const std::string& utf8)
{
    fwrite(utf8.data(), 1, utf8.size(), stdout);
    fflush(stdout);
}

class Stopwatch {
public:
    Stopwatch() { QueryPerformanceCounter(&start_); }
    double Lap()
    {
        LARGE_INTEGER now, frequency;
        QueryPerformanceCounter(&now);
        QueryPerformanceFrequency(&frequency);
        double ms = (double)(now.QuadPart - start_.QuadPart) * 1000.0 / (double)frequency.QuadPart;
        start_ = now;
        return ms;
    }

private:
    LARGE_INTEGER start_;
};

// What each picture shows, in the words of the user guide's steps: read
// from the window right before and right after it is photographed, so that
// a picture of a half-drawn or wrong window fails the run.
std::wstring g_holderName;  // screen 03 shows the whole name
bool g_pictureFault = false;

std::vector<std::wstring> GuideTexts(const std::string& picture)
{
    static const struct {
        const char* name;
        std::vector<std::wstring> texts;
    } kGuide[] = {
        {"screen01", {L"画面番号 01", L"OK", L"終了"}},
        {"screen02", {L"画面番号 02", L"OK", L"申請中止"}},
        {"errorbox", {L"ICカードに接続できません。(704)", L"OK"}},
        {"screen03", {L"画面番号 03", L"電子署名", L"申請中止"}},
        {"screen04", {L"画面番号 04", L"送信", L"申請中止"}},
        {"confirm", {L"本当に失効申請を送信してよろしいですか？", L"OK", L"キャンセル"}},
        {"screen05", {L"画面番号 05", L"終了"}},
    };
    for (const auto& entry : kGuide)
        if (picture == entry.name) {
            std::vector<std::wstring> texts = entry.texts;
            if (picture == "screen03")
                texts.push_back(g_holderName);
            return texts;
        }
    return {};
}

// False (and a line saying what is missing) when window does not show the
// texts of the picture.
bool ShowsGuideTexts(HWND window, const char* name, DWORD timeoutMs)
{
    const std::vector<std::wstring> expected = GuideTexts(name);
    std::vector<std::wstring> missing;
    WaitUntil([&] { return (missing = MissingTexts(window, expected)).empty(); }, timeoutMs);
    for (const std::wstring& text : missing)
        Say(std::string("wizard_drive: the picture of ") + name + " lacks \"" + Utf8(text) + "\"\n");
    return missing.empty();
}

void Shot(HWND window, const char* name)
{
    std::wstring out = Arg(L"out", L"");
    if (out.empty() || window == NULL)
        return;
    // A window is photographed once it shows its texts and its pixels on the
    // screen have settled: a box found as soon as it is visible may not have
    // drawn its message and all its buttons yet.
    if (!ShowsGuideTexts(window, name, 10000) || !WaitForPainted(window, 10000)) {
        Say(std::string("wizard_drive: ") + name + " is not as the guide shows it\n");
        g_pictureFault = true;
        return;
    }
    bool taken;
    if (Arg(L"shots", L"windows") == L"x11") {
        // The caller photographs the screen's rectangle and writes NAME.png;
        // the window stays as it is until then.
        RECT r;
        GetWindowRect(window, &r);
        char line[128];
        snprintf(line, sizeof line, "shot %s %ld %ld %ld %ld\n", name, (long)r.left, (long)r.top,
                 (long)(r.right - r.left), (long)(r.bottom - r.top));
        Say(line);
        std::wstring png = out + L"\\" + Widen(name) + L".png";
        taken = WaitUntil([&] { return GetFileAttributesW(png.c_str()) != INVALID_FILE_ATTRIBUTES; }, 15000);
    } else {
        taken = SaveWindowImage(window, out + L"\\" + Widen(name) + L".bmp");
    }
    if (!taken)
        Say(std::string("wizard_drive: no picture of ") + name + "\n");
    if (!taken || !ShowsGuideTexts(window, name, 0))
        g_pictureFault = true;
}

void ShowScreen(const WizardRun& run)
{
    if (!g_quiet)
        Say(DescribeScreen(run.Screen()));
    char name[16];
    snprintf(name, sizeof name, "screen%02d", run.ScreenNumber());
    Shot(run.Dialog(), name);
}

// Presses the forward button and follows what comes up (PIN prompt, the send
// confirmation) until the next screen shows; false on an unexpected box or
// a time-out.
bool Advance(WizardRun& run, int next)
{
    run.Forward();
    for (;;) {
        HWND window = NULL;
        switch (run.WaitForNext(next, &window, 60000)) {
        case WizardRun::kNextScreen:
            return true;
        case WizardRun::kNextPin:
            if (!g_quiet)
                Say("  (PIN prompt: " + Utf8(WindowText(window)) + ")\n");
            if (!EnterPin(window, Arg(L"pin", L"1234"), 10000))
                return false;
            break;
        case WizardRun::kNextBox: {
            bool confirmation = next == 5 && WindowText(window) == kSendCaption;
            if (confirmation)
                Shot(window, "confirm");
            std::wstring text = run.Answer(window, IDOK);
            if (!g_quiet)
                Say("  <" + Utf8(text) + ">\n");
            if (!confirmation)
                return false;
            break;
        }
        default:
            Say("wizard_drive: nothing happened within 60 s\n");
            return false;
        }
    }
}

}  // namespace

int main()
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    for (int i = 1; argv != NULL && i < argc; ++i) {
        std::wstring arg = argv[i];
        size_t eq = arg.find(L'=');
        if (eq != std::wstring::npos)
            g_args[arg.substr(0, eq)] = arg.substr(eq + 1);
    }
    LocalFree(argv);
    g_quiet = Arg(L"quiet", L"0") == L"1";
    std::wstring prompt = Arg(L"prompt", L"sign");
    const PinPrompt pinAt = prompt == L"open" ? kPinAtOpening : (prompt == L"none" ? kNoPinPrompt : kPinAtSigning);
    const std::string pin = ToCp932(Arg(L"pin", L"1234"));
    SetCardSwitches(0, 0, pinAt, pin);
    // A counter that answers with its own clock and accepts, whatever the
    // previous user of the testbed left.
    ResetCounter();

    RunOptions options = BuildTreeOptions(L"wizard-drive");
    g_holderName = options.applicant.name;
    options.traceLevel = (DWORD)_wtoi(Arg(L"trace", L"0").c_str());
    const std::wstring route = Arg(L"installed", L"0");
    const bool installed = route != L"0";
    options.installed = installed;
    options.throughShell = route == L"1" || route == L"name";
    if (route == L"shortcut")
        options.shortcut = Arg(L"lnk", L"");
    if (options.throughShell)
        options.exe = L"KEVORevoke.exe";
    else if (installed)
        options.exe = Arg(L"exe", L"");
    if (!options.shortcut.empty()) {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        options.workDir = temp;
    }
    options.startDir = Arg(L"cwd", L"");
    const int until = _wtoi(Arg(L"until", L"5").c_str());
    SetDword(HKEY_CURRENT_USER, L"SOFTWARE\\KEVO", L"TRACE", options.traceLevel);
    WizardRun run(options);

    Stopwatch step, total;
    bool ok = run.Start(60000);
    Say("step start " + std::to_string((int)step.Lap()) + " ms\n");
    if (!ok) {
        Say("wizard_drive: the wizard did not show screen 01\n");
        return 1;
    }
    if (installed)
        Say("started " + Utf8(run.ImagePath()) + "\n");
    ShowScreen(run);
    for (int next = 2; ok && next <= until; ++next) {
        if (next == 3 && Arg(L"errorbox", L"0") == L"1") {
            // A card that is not ready: the box, then the real attempt.
            SetCardSwitches(0x80100010, 0, kNoPinPrompt, pin);
            run.Forward();
            HWND box = run.WaitForBox(60000);
            Shot(box, "errorbox");
            if (!g_quiet)
                Say("  <" + Utf8(run.Answer(box, IDOK)) + ">\n");
            SetCardSwitches(0, 0, pinAt, pin);
            step.Lap();
        }
        ok = Advance(run, next);
        char label[32];
        snprintf(label, sizeof label, "step 0%d->0%d ", next - 1, next);
        Say(label + std::to_string((int)step.Lap()) + " ms\n");
        if (ok)
            ShowScreen(run);
    }
    if (ok)
        Say("step total " + std::to_string((int)total.Lap()) + " ms\n");
    if (!g_quiet) {
        Say("counter: " + CounterVerdictSummary() + "\n");
        std::string document = CounterDocument();
        if (!document.empty())
            Say(std::string("counter: the request carries the name ") +
                (document.find(Utf8(options.applicant.name)) != std::string::npos ? "as shown" : "NOT as shown") +
                " (" + std::to_string(document.size()) + " bytes of UTF-8 XML)\n");
    }
    std::wstring out = Arg(L"out", L"");
    if (ok && until < 5) {
        // The applicant's data were read: the card step passed.
        run.End();
        HWND box = run.WaitForBox(20000);
        if (box != NULL)
            run.Answer(box, IDOK);
        ok = run.WaitForExit(20000);
        if (!out.empty())
            WriteBytes(out + L"\\trace.log", run.Log());
        return ok && !g_pictureFault ? 0 : 1;
    }
    bool accepted = ok && run.Screen().shortExplain.find(L"受理されました") != std::wstring::npos;
    if (ok) {
        PressKey(run.Dialog(), VK_RETURN);
        ok = run.WaitForExit(20000);
    }
    if (!out.empty())
        WriteBytes(out + L"\\trace.log", run.Log());
    SetCardSwitches(0, 0, kNoPinPrompt);
    return ok && accepted && !g_pictureFault ? 0 : 1;
}

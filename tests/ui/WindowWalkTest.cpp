// Every window of the tools walked as a keyboard and screen-reader user
// meets it, at 96 and at 192 dpi (the prefix's LogPixels, set before each
// program starts); and wizard screen 03 at 100, 150 and 200 % and in a
// high-contrast theme, photographed for the user guide when
// KEVO_A11Y_SHOTS names a folder.
#include <gtest/gtest.h>

#include <functional>

#include "KevoTestSupport.h"
#include "WindowDriver.h"
#include "WindowWalk.h"
#include "WizardRun.h"

using namespace kevotest;
using namespace wizardtest;

namespace {

const wchar_t kDesktop[] = L"Control Panel\\Desktop";
const wchar_t kColors[] = L"Control Panel\\Colors";
typedef std::map<std::string, std::map<std::string, int>> Heights;  // by view, control

void Look(const std::string& view, HWND window, UINT dpi, const WalkExpectations& expect, Heights& heights)
{
    ASSERT_NE((HWND)NULL, window) << view << " did not show";
    ASSERT_TRUE(WaitForPainted(window, 10000)) << view;
    WalkResult result = WalkWindow(window, dpi, expect);
    for (const std::string& fault : result.faults)
        ADD_FAILURE() << view << " at " << dpi << " dpi: " << fault;
    heights[view] = result.textHeights;
}

// The wizard up to screen last, looking at each screen on the way.
void Wizard(int last, const std::wstring& exe, const std::function<void(int, HWND)>& look)
{
    ResetCounter();
    SetCardSwitches(0, 0, kNoPinPrompt);
    RunOptions options = BuildTreeOptions(L"walk");
    if (!exe.empty())
        options.exe = exe;
    {
        WizardRun run(options);
        ASSERT_TRUE(run.Start());
        for (int screen = 1;; ++screen) {
            look(screen, run.Dialog());
            if (screen == last)
                break;
            run.Forward();
            if (screen == 4)
                run.Answer(run.WaitForBox(), IDOK);
            ASSERT_TRUE(run.WaitForScreen(screen + 1));
        }
        PressKey(run.Dialog(), VK_ESCAPE);
        EXPECT_TRUE(run.WaitForExit());
    }
    RemoveTree(options.workDir);
}

// A program of the install folder the registry names, closed with close.
void Program(const std::string& view, const std::wstring& exe, const std::wstring& title, int close, UINT dpi,
             const WalkExpectations& expect, Heights& heights)
{
    ProcessOptions options;
    options.tempDir = MakeScratchDir(L"walk");
    ChildProcess child;
    ASSERT_TRUE(child.Start(exe, L"", options));
    HWND window = WaitForEnabledWindow(child.Pid(), title, 30000);
    Look(view, window, dpi, expect, heights);
    ClickButton(window, close);
    EXPECT_TRUE(child.Wait(30000, NULL)) << view;
    RemoveTree(options.tempDir);
}

// The image's files in a folder of their own, registered as InstallPath,
// with a settings file naming url.
std::wstring Install(const std::string& url)
{
    const std::wstring dir = MakeScratchDir(L"walk-install"), image = WinePath(KEVO_IMAGE_DIR) + L"\\";
    for (const std::wstring& name : ListFiles(image, L"*.*"))
        CopyFileW((image + name).c_str(), (dir + name).c_str(), FALSE);
    WriteIni(dir + L"KEVOValidationInfo.ini", {"[ConfirmSettingInfo]", "url=" + url});
    SetString(HKEY_LOCAL_MACHINE, L"Software\\KEVO", L"InstallPath", ToCp932(dir.substr(0, dir.size() - 1)));
    return dir;
}

std::string Localhost(int port) { return "http://localhost:" + std::to_string(port) + "/"; }

struct WindowRow {
    const char* name;
    bool namedInputs, readingOrder;
    void (*drive)(UINT dpi, const WalkExpectations& expect, Heights& heights);
};

const WindowRow kWindows[] = {
    {"wizard", true, true,
     [](UINT dpi, const WalkExpectations& expect, Heights& heights) {
         Wizard(5, L"", [&](int screen, HWND dialog) {
             Look("wizard screen 0" + std::to_string(screen), dialog, dpi, expect, heights);
         });
     }},
    // A radio group is one run of controls, so the reader list comes after
    // all three buttons: a screen reader reads the choices first.
    {"setting dialog", true, false,
     [](UINT dpi, const WalkExpectations& expect, Heights& heights) {
         SetDword(HKEY_CURRENT_USER, L"SOFTWARE\\KEVO", L"RWType", 1);  // its list in the Tab order
         Program("setting dialog", WinePath(KEVO_RWSETTING_EXE), L"ICカードリーダライタ設定", IDCANCEL, dpi, expect,
                 heights);
     }},
    {"diagnostics window", true, true,
     [](UINT dpi, const WalkExpectations& expect, Heights& heights) {
         const std::wstring dir = Install(Localhost(KEVO_TESTBED_PORT_CLOSED));  // refused at once
         Program("diagnostics window", dir + L"KEVODiag.exe", L"KEVO 診断情報", IDCANCEL, dpi, expect, heights);
         RemoveTree(dir);
     }},
    // The system's message box: a screen reader reads its text as the
    // box's description, whatever the order of its controls.
    {"version notice", true, false,
     [](UINT dpi, const WalkExpectations& expect, Heights& heights) {
         const char* newer = "{\"name\": \"verinfo_body\", \"value\": \"2.4.0.1\\r\\n\"}";
         ASSERT_EQ(200, TestbedRequest("POST", "/_testbed/option", newer).status);
         SetDword(HKEY_LOCAL_MACHINE, L"SOFTWARE\\KEVO\\Version", L"Major", 2);
         SetDword(HKEY_LOCAL_MACHINE, L"SOFTWARE\\KEVO\\Version", L"Minor", 4);
         SetDword(HKEY_LOCAL_MACHINE, L"SOFTWARE\\KEVO\\Version", L"Revision", 0);
         const std::wstring dir = Install(Localhost(KEVO_TESTBED_HTTP_PORT));
         Program("version notice", WinePath(KEVO_SOFTVERCHK_EXE), L"KEVO利用者ソフト バージョン確認", IDOK, dpi, expect,
                 heights);
         RemoveTree(dir);
     }},
};

class WindowWalkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SeeRealPixels();
        // The pointer out of the way of the windows (at the top left) and their tooltips.
        SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
        ASSERT_EQ(200, TestbedRequest("POST", "/_testbed/reset").status);
        saved_[kDesktop + std::wstring(L"|LogPixels")] = GetValue(HKEY_CURRENT_USER, kDesktop, L"LogPixels");
    }
    void TearDown() override
    {
        for (const auto& value : saved_) {
            const size_t bar = value.first.find(L'|');
            const std::wstring key = value.first.substr(0, bar), name = value.first.substr(bar + 1);
            if (value.second.present)
                SetRaw(HKEY_CURRENT_USER, key, name, value.second.type, value.second.bytes);
            else
                RegDeleteKeyValueW(HKEY_CURRENT_USER, key.c_str(), name.c_str());
        }
        ResetKevoRegistry();
    }
    void Set(const wchar_t* key, const wchar_t* name, const std::string& text)
    {
        const std::wstring id = key + std::wstring(L"|") + name;
        if (saved_.find(id) == saved_.end())
            saved_[id] = GetValue(HKEY_CURRENT_USER, key, name);
        SetString(HKEY_CURRENT_USER, key, name, text);
    }
    std::map<std::wstring, RegValue> saved_;  // "key|name" -> value before the test
};

TEST_F(WindowWalkTest, EveryWindowAtNormalAndDoubleDpi)
{
    Heights normal, twice;
    for (UINT dpi : {96u, 192u}) {
        SetDword(HKEY_CURRENT_USER, kDesktop, L"LogPixels", dpi);
        for (const WindowRow& row : kWindows) {
            SCOPED_TRACE(std::string(row.name) + " at " + std::to_string(dpi) + " dpi");
            ResetKevoRegistry();
            WalkExpectations expect;
            expect.namedInputs = row.namedInputs;
            expect.readingOrder = row.readingOrder;
            row.drive(dpi, expect, dpi == 96 ? normal : twice);
        }
    }
    // Each text drawn at 192 dpi about twice as high as at 96.
    for (const auto& view : normal) {
        int compared = 0;
        for (const auto& control : view.second) {
            const auto other = twice[view.first].find(control.first);
            if (other == twice[view.first].end())
                continue;
            const double ratio = (double)other->second / control.second;
            EXPECT_TRUE(ratio > 1.6 && ratio < 2.4)
                << view.first << " " << control.first << ": " << control.second << " px, " << other->second;
            ++compared;
        }
        EXPECT_GT(compared, 0) << view.first << ": no text measured at both DPIs";
    }
}

// Wine cannot switch a high-contrast theme on: the theme's system colours
// ("High Contrast Black") go into the prefix, and a test copy of the wizard
// sees the theme on. The prompt band is light cyan, or then the face colour.
TEST_F(WindowWalkTest, ScreenThreeScaledAndInHighContrast)
{
    const std::wstring pictures = GetEnv(L"KEVO_A11Y_SHOTS");
    const struct {
        const char* name;
        UINT dpi;
        bool contrast;
        COLORREF band;
    } shots[] = {{"100", 96, false, RGB(192, 255, 255)}, {"150", 144, false, RGB(192, 255, 255)},
                 {"200", 192, false, RGB(192, 255, 255)}, {"contrast", 96, true, RGB(0, 0, 0)}};
    for (const auto& shot : shots) {
        SCOPED_TRACE(shot.name);
        SetDword(HKEY_CURRENT_USER, kDesktop, L"LogPixels", shot.dpi);
        if (shot.contrast) {
            for (const wchar_t* name : {L"Window", L"ButtonFace", L"Background", L"ActiveTitle"})
                Set(kColors, name, "0 0 0");
            for (const wchar_t* name :
                 {L"WindowText", L"ButtonText", L"WindowFrame", L"TitleText", L"ButtonHilight", L"ButtonDkShadow"})
                Set(kColors, name, "255 255 255");
        }
        Wizard(3, shot.contrast ? WinePath(KEVO_HIGH_CONTRAST_EXE) : L"", [&](int screen, HWND dialog) {
            if (screen != 3)
                return;
            ASSERT_TRUE(WaitForPainted(dialog, 10000));
            const RECT band = ItemRect(dialog, kPrompt);
            EXPECT_EQ(shot.band, PixelAt(dialog, POINT{band.left + 2, band.top + 2}));
            if (!pictures.empty()) {
                // The picture is of screen 03 as the guide describes it, read
                // from the window before and after it is taken.
                const std::vector<std::wstring> guide = {L"画面番号 03", L"電子署名", L"申請中止"};
                EXPECT_TRUE(MissingTexts(dialog, guide).empty());
                EXPECT_TRUE(SaveWindowImage(dialog, pictures + L"\\wizard-a11y-" + Widen(shot.name) + L".bmp"));
                EXPECT_TRUE(MissingTexts(dialog, guide).empty());
            }
        });
    }
}

}  // namespace

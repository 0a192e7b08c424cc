// Photographs wizard screen 03 for the user guide's accessibility section:
// at 100 %, 150 % and 200 % (the prefix's LogPixels, set before each start)
// and in a high-contrast theme (the system colours of "High Contrast Black"
// in the prefix, and the test copy of the wizard that sees the theme on).
// Writes wizard-a11y-<name>.bmp into the folder KEVO_A11Y_SHOTS names (a
// scratch folder when unset, removed again), and checks on the screen that
// the prompt band is light cyan, and in the theme the system's face colour
// (black). The registry is put back as it was.
#include <cstdio>

#include "KevoTestSupport.h"
#include "WindowDriver.h"
#include "WizardRun.h"

using namespace kevotest;
using namespace wizardtest;

namespace {

const wchar_t kDesktop[] = L"Control Panel\\Desktop";
const wchar_t kColors[] = L"Control Panel\\Colors";
const struct {
    const wchar_t* name;
    const char* rgb;
} kHighContrastBlack[] = {
    {L"Background", "0 0 0"},        {L"Window", "0 0 0"},           {L"WindowText", "255 255 255"},
    {L"ButtonFace", "0 0 0"},        {L"ButtonText", "255 255 255"}, {L"ButtonShadow", "128 128 128"},
    {L"ButtonHilight", "255 255 255"}, {L"ButtonLight", "255 255 255"}, {L"ButtonDkShadow", "255 255 255"},
    {L"WindowFrame", "255 255 255"}, {L"GrayText", "63 242 63"},     {L"Hilight", "26 235 255"},
    {L"HilightText", "0 0 0"},       {L"ActiveTitle", "0 0 0"},      {L"TitleText", "255 255 255"},
    {L"InfoWindow", "0 0 0"},        {L"InfoText", "255 255 255"},
};

bool Shoot(const RunOptions& base, const std::wstring& exe, DWORD dpi, const std::wstring& file, COLORREF band)
{
    SetDword(HKEY_CURRENT_USER, kDesktop, L"LogPixels", dpi);
    RunOptions options = base;
    if (!exe.empty())
        options.exe = exe;
    ResetCounter();
    SetCardSwitches(0, 0, kNoPinPrompt);
    WizardRun run(options);
    bool ok = run.Start();
    for (int screen = 2; ok && screen <= 3; ++screen) {
        run.Forward();
        ok = run.WaitForScreen(screen);
    }
    // Painted once two looks agree.
    RECT r;
    GetWindowRect(run.Dialog(), &r);
    std::string last;
    ok = ok && WaitUntil([&] {
        if (!SaveWindowImage(run.Dialog(), file))
            return false;
        std::string now = ReadBytes(file);
        bool same = now == last;
        last = now;
        return same;
    });
    // The band's colour beside the prompt, left of its text.
    RECT prompt = ItemRect(run.Dialog(), kPrompt);
    POINT inBand = {prompt.left + 2, prompt.top + 2};
    ClientToScreen(run.Dialog(), &inBand);
    HDC screen = GetDC(NULL);
    const COLORREF seen = GetPixel(screen, inBand.x, inBand.y);
    ReleaseDC(NULL, screen);
    if (ok && seen != band) {
        fprintf(stderr, "a11y_shots: band painted %06lx, not %06lx\n", (unsigned long)seen, (unsigned long)band);
        ok = false;
    }
    if (run.Running()) {
        PressKey(run.Dialog(), VK_ESCAPE);
        run.WaitForExit();
    }
    return ok;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: a11y_shots <high-contrast wizard>\n");
        return 2;
    }
    const std::wstring highContrastExe = WinePath(argv[1]);
    const bool keep = !GetEnv(L"KEVO_A11Y_SHOTS").empty();
    const std::wstring dir = keep ? GetEnv(L"KEVO_A11Y_SHOTS") + L"\\" : MakeScratchDir(L"a11y-shots");
    RegValue savedDpi = GetValue(HKEY_CURRENT_USER, kDesktop, L"LogPixels");
    std::vector<RegValue> savedColours;
    for (const auto& colour : kHighContrastBlack)
        savedColours.push_back(GetValue(HKEY_CURRENT_USER, kColors, colour.name));

    ResetKevoRegistry();
    RunOptions options = BuildTreeOptions(L"a11y-shots");
    int failures = 0;
    const struct {
        DWORD dpi;
        const wchar_t* name;
    } scales[] = {{96, L"100"}, {144, L"150"}, {192, L"200"}};
    for (const auto& scale : scales)
        failures += !Shoot(options, L"", scale.dpi, dir + L"wizard-a11y-" + scale.name + L".bmp", RGB(192, 255, 255));
    for (const auto& colour : kHighContrastBlack)
        SetString(HKEY_CURRENT_USER, kColors, colour.name, colour.rgb);
    failures += !Shoot(options, highContrastExe, 96, dir + L"wizard-a11y-contrast.bmp", RGB(0, 0, 0));

    for (size_t i = 0; i < savedColours.size(); ++i) {
        if (savedColours[i].present)
            SetRaw(HKEY_CURRENT_USER, kColors, kHighContrastBlack[i].name, savedColours[i].type, savedColours[i].bytes);
        else
            RegDeleteKeyValueW(HKEY_CURRENT_USER, kColors, kHighContrastBlack[i].name);
    }
    if (savedDpi.present)
        SetRaw(HKEY_CURRENT_USER, kDesktop, L"LogPixels", savedDpi.type, savedDpi.bytes);
    else
        RegDeleteKeyValueW(HKEY_CURRENT_USER, kDesktop, L"LogPixels");
    ResetKevoRegistry();
    RemoveTree(options.workDir);
    if (!keep)
        RemoveTree(dir);
    fprintf(stderr, "a11y_shots: %d picture(s) failed\n", failures);
    return failures == 0 ? 0 : 1;
}

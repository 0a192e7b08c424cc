// kevo_window_tool: lets a shell script see and answer a window of a program
// running under Wine in the same prefix (the version checker's notice, for
// instance).
//
//   kevo_window_tool wait  title=TITLE out=FILE [timeout=MS]
//       waits (bounded) for a visible top-level window with that title and
//       writes its title and the texts of its static controls (a message
//       box's message) to FILE as UTF-8; exit 0 when found, 1 on time-out
//   kevo_window_tool press title=TITLE [button=ID] [timeout=MS]
//       clicks the button (default 1, OK) of that window and waits until the
//       window is gone; exit 0, or 1 when there was no such window
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

namespace {

struct Search {
    const std::wstring* title;
    HWND found;
};

BOOL CALLBACK MatchTitle(HWND window, LPARAM param)
{
    Search* search = reinterpret_cast<Search*>(param);
    wchar_t text[512];
    if (IsWindowVisible(window) && GetWindowTextW(window, text, 512) > 0 && *search->title == text) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND WaitForTitle(const std::wstring& title, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        Search search = {&title, NULL};
        EnumWindows(MatchTitle, reinterpret_cast<LPARAM>(&search));
        if (search.found != NULL)
            return search.found;
        if (GetTickCount() - start > timeoutMs)
            return NULL;
        Sleep(50);
    }
}

BOOL CALLBACK CollectStatic(HWND child, LPARAM param)
{
    wchar_t className[64];
    GetClassNameW(child, className, 64);
    if (lstrcmpiW(className, L"Static") == 0) {
        wchar_t text[4096];
        if (GetWindowTextW(child, text, 4096) > 0) {
            std::wstring* out = reinterpret_cast<std::wstring*>(param);
            *out += text;
            *out += L"\n";
        }
    }
    return TRUE;
}

std::string Utf8(const std::wstring& wide)
{
    int size = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, NULL, 0, NULL, NULL);
    std::string out(size > 0 ? size - 1 : 0, '\0');
    if (size > 1)
        WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, &out[0], size, NULL, NULL);
    return out;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc < 2)
        return 2;
    const std::wstring command = argv[1];
    std::map<std::wstring, std::wstring> args;
    for (int i = 2; i < argc; ++i) {
        std::wstring arg = argv[i];
        size_t eq = arg.find(L'=');
        if (eq != std::wstring::npos)
            args[arg.substr(0, eq)] = arg.substr(eq + 1);
    }
    LocalFree(argv);
    const DWORD timeout = args.count(L"timeout") ? wcstoul(args[L"timeout"].c_str(), NULL, 10) : 30000;
    HWND window = WaitForTitle(args[L"title"], timeout);
    if (window == NULL)
        return 1;
    if (command == L"wait") {
        std::wstring text = args[L"title"] + L"\n";
        EnumChildWindows(window, CollectStatic, reinterpret_cast<LPARAM>(&text));
        FILE* out = _wfopen(args[L"out"].c_str(), L"wb");
        if (!out)
            return 2;
        std::string bytes = Utf8(text);
        std::fwrite(bytes.data(), 1, bytes.size(), out);
        std::fclose(out);
        return 0;
    }
    if (command == L"press") {
        const int button = args.count(L"button") ? _wtoi(args[L"button"].c_str()) : IDOK;
        HWND control = GetDlgItem(window, button);
        if (control != NULL)
            PostMessageW(control, BM_CLICK, 0, 0);
        else
            PostMessageW(window, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
        const DWORD start = GetTickCount();
        while (IsWindow(window)) {
            if (GetTickCount() - start > timeout)
                return 1;
            Sleep(50);
        }
        return 0;
    }
    return 2;
}

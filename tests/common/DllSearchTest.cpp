// The DLL search every program sets up first thing: a DLL planted in the
// current folder, or in a folder on PATH, is not loaded by its name.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "DllSearch.h"
#include "KevoTestSupport.h"

TEST(DllSearchTest, NeitherTheCurrentFolderNorPathIsSearched)
{
    const std::wstring dir = kevotest::MakeScratchDir(L"dllsearch");
    const std::wstring cwd = dir + L"cwd\\", onPath = dir + L"path\\";
    CreateDirectoryW(cwd.c_str(), NULL);
    CreateDirectoryW(onPath.c_str(), NULL);
    const std::wstring library = kevotest::WinePath(KEVO_ANY_DLL);
    ASSERT_TRUE(CopyFileW(library.c_str(), (cwd + L"kevo_planted_cwd.dll").c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(library.c_str(), (onPath + L"kevo_planted_path.dll").c_str(), FALSE));
    wchar_t oldDir[MAX_PATH], oldPath[32767];
    GetCurrentDirectoryW(MAX_PATH, oldDir);
    GetEnvironmentVariableW(L"PATH", oldPath, 32767);
    SetCurrentDirectoryW(cwd.c_str());
    SetEnvironmentVariableW(L"PATH", (onPath + L";" + oldPath).c_str());

    // Both are found by name without the setup, so the check below means something.
    for (const wchar_t* name : {L"kevo_planted_cwd.dll", L"kevo_planted_path.dll"}) {
        HMODULE found = LoadLibraryW(name);
        EXPECT_NE(nullptr, found) << name;
        if (found != NULL)
            FreeLibrary(found);
    }
    kevowin::RemoveCurrentFolderFromDllSearch();
    EXPECT_EQ(nullptr, LoadLibraryW(L"kevo_planted_cwd.dll"));
    EXPECT_EQ(nullptr, LoadLibraryW(L"kevo_planted_path.dll"));

    SetCurrentDirectoryW(oldDir);
    SetEnvironmentVariableW(L"PATH", oldPath);
    kevotest::RemoveTree(dir);
}

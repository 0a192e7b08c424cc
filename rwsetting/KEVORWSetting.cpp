#include "KEVORWSetting.h"

#include <windows.h>

#include "DllSearch.h"
#include "KEVORWSettingDlg.h"
#include "KEVORWSettingRes.h"
#include "TraceLog.h"

CKEVOUtilityApp theApp;

CKEVOUtilityApp::CKEVOUtilityApp() : CKevoApp(IDS_APP_TITLE) {}

bool CKEVOUtilityApp::InitInstance()
{
    TraceInitLock();
    // Never closed: the name stays taken until this process ends.
    HANDLE mutex = CreateMutexA(NULL, FALSE, "KEVO_RWSetting_0001");
    if (mutex != NULL && GetLastError() == ERROR_ALREADY_EXISTS) {
        ShowMessage(NULL, IDS_ALREADY_RUNNING, MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    CKEVORWSettingDlg dlg;
    RunMainDialog(dlg);
    return false;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    kevowin::RemoveCurrentFolderFromDllSearch();
    return theApp.Run(instance);
}

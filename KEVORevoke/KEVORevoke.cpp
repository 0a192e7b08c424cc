#include "KEVORevoke.h"

#include <windows.h>
#include <commctrl.h>

#include "DllSearch.h"
#include "KEVORevokeDlg.h"
#include "KEVORevokeRes.h"
#include "RevokeTexts.h"
#include "TraceLog.h"

CKEVORevokeApp theApp;

// The wizard's message boxes carry their own captions; the application
// title is not used.
CKEVORevokeApp::CKEVORevokeApp() : CKevoApp(0) {}

bool CKEVORevokeApp::InitInstance()
{
    // Every common control class: size 8, class mask 0xFF.
    INITCOMMONCONTROLSEX controls;
    controls.dwSize = sizeof controls;
    controls.dwICC = 0xFF;
    InitCommonControlsEx(&controls);
    // Control containment has nothing to enable here: the dialog holds
    // only standard controls.
    FixJapanLocaleAndZone();
    TraceInitLock();

    // No single-instance guard: each run is one attempt.
    CKEVORevokeDlg dlg;
    RunMainDialog(dlg);
    return false;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    kevowin::RemoveCurrentFolderFromDllSearch();
    return theApp.Run(instance);
}

#include "KEVOAutoUpdate.h"

#include <commctrl.h>
#include <string.h>

#include <string>

#include "DllSearch.h"
#include "EndRequest.h"
#include "KevoPolicy.h"
#include "resource.h"
#include "SoftVerChkHttpAccess.h"
#include "TraceLog.h"
#include "VerchkText.h"

namespace {

// One value of the Version key, read straight into its 32-bit field (the
// type is not examined; a value longer than 4 bytes fails).
LONG QueryVersionField(HKEY key, const char* name, DWORD* field)
{
    DWORD value = 0;
    DWORD size = sizeof value;
    LONG rc = RegQueryValueExA(key, name, NULL, NULL, reinterpret_cast<BYTE*>(&value), &size);
    if (rc == ERROR_SUCCESS)
        *field = value;
    return rc;
}

void ShowNewerNotice()
{
    std::wstring caption = LoadVerchkText(IDS_VERCHK_CAPTION);
    std::wstring text = LoadVerchkText(IDS_VERCHK_NEWER_NOTICE);
    MessageBoxW(NULL, text.c_str(), caption.c_str(), MB_OK | MB_ICONINFORMATION);
}

}  // namespace

BOOL CKEVOAutoUpdateApp::GetAppVersion(SoftwareVersion* ver)
{
    TraceLog(TRACE_LEVEL_FLOW, "CKEVOAutoUpdateApp::GetAppVersion start\n");
    BOOL result = FALSE;
    HKEY key = NULL;
    if (ver == NULL) {
        TraceLog(TRACE_LEVEL_ERROR, "Parameter Error ver = NULL \n");
    } else if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\KEVO\\Version", 0, KEY_READ, &key) != ERROR_SUCCESS) {
        key = NULL;
        TraceLog(TRACE_LEVEL_ERROR, "Non Registry , Software\\KEVO\\Version\n");
    } else {
        DWORD major = 0;
        DWORD minor = 0;
        DWORD revision = 0;
        LONG rc = QueryVersionField(key, "Major", &major);
        if (rc != ERROR_SUCCESS) {
            TraceLog(TRACE_LEVEL_ERROR, "Software\\KEVO\\Version\\Major Get Error,rtn = %ld\n", (long)rc);
        } else if ((rc = QueryVersionField(key, "Minor", &minor)) != ERROR_SUCCESS) {
            TraceLog(TRACE_LEVEL_ERROR, "Software\\KEVO\\Version\\Minor Get Error,rtn = %ld\n", (long)rc);
        } else if ((rc = QueryVersionField(key, "Revision", &revision)) != ERROR_SUCCESS) {
            TraceLog(TRACE_LEVEL_ERROR, "Software\\KEVO\\Version\\Revision Get Error,rtn = %ld\n", (long)rc);
        } else {
            ver->major = major;
            ver->minor = minor;
            ver->revision = revision;
            ver->build = 0;
            result = TRUE;
        }
    }
    if (key != NULL)
        RegCloseKey(key);
    TraceLog(TRACE_LEVEL_FLOW, "CKEVOAutoUpdateApp::GetAppVersion end\n");
    return result;
}

BOOL CKEVOAutoUpdateApp::InitInstance()
{
    TraceLog(TRACE_LEVEL_FLOW, "CKEVOAutoUpdateApp::InitInstance start\n");
    SoftwareVersion installed;
    SoftwareVersion server;
    memset(&installed, 0, sizeof installed);
    memset(&server, 0, sizeof server);
    SoftVerChkHttpAccess access;
    access.m_signInCaption = LoadVerchkText(IDS_VERCHK_CAPTION);
    access.m_signInPrompt = LoadVerchkText(IDS_VERCHK_PROXY_PROMPT);

    DWORD updateCheck = 1;
    if (kevopolicy::ReadDword(KEVO_POLICY_UPDATE_CHECK, &updateCheck) && updateCheck == 0) {
        // The administrator has switched the check off for the whole PC:
        // no request, no window, no sign-in prompt at logon.
        TraceLog(TRACE_LEVEL_FLOW, "ポリシー(UpdateCheck=0)によりバージョン確認を行いません\n");
    } else if (!GetAppVersion(&installed)) {
        TraceLog(TRACE_LEVEL_ERROR, "ローカルパソコンの利用者ソフトバージョンの取得に失敗\n");
    } else {
        int rc = access.setSettingInfo();
        if (rc != 0) {
            TraceLog(TRACE_LEVEL_ERROR, "HTTP コンフィグファイル解析処理に失敗(%d)\n", rc);
        } else if ((rc = access.getServerVersion(&server)) != 0) {
            TraceLog(TRACE_LEVEL_ERROR, "サーバーの利用者ソフトバージョンの取得に失敗(%d)\n", rc);
        } else if (IsNewerVersion(server, installed)) {
            ShowNewerNotice();
        }
    }
    TraceLog(TRACE_LEVEL_FLOW, "CKEVOAutoUpdateApp::InitInstance end\n");
    access.MemoryRelease();
    return FALSE;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    kevowin::RemoveCurrentFolderFromDllSearch();
    TraceInitLock();
    INITCOMMONCONTROLSEX controls;
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_STANDARD_CLASSES;
    InitCommonControlsEx(&controls);
    // While an installer replaces the tools, no check runs, and a notice
    // already shown goes.
    if (WatchEndRequest())
        return 0;
    CKEVOAutoUpdateApp app;
    app.InitInstance();
    // The run's outcome is only in the trace log.
    return 0;
}

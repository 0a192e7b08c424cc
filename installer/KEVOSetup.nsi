; KEVO利用者ソフト: the citizen's installer, built by makensis from the install
; image of a Windows build tree (installer/CMakeLists.txt passes the generated
; KEVOVersion.nsh and KEVOFiles.nsh). Everything the tools rely on at run
; time is set up here: the files, HKLM Software\KEVO InstallPath and Version,
; the settings file, the Java VM library's search path for the wizard, the
; logon start of the version checker, Start-menu entries and the uninstaller.
;
; Exit codes, in the convention of deployment tools (also written to the
; setup log, %ProgramData%\KEVO\KEVOSetup.log or /LOG=, with the reason):
;   0 done   3010 done, a restart removes what is left   1602 cancelled
;   1618 another installer runs, or a file of the tools is in use: try later
;   1638 a newer version is installed   1639 invalid command line
;   1603 any other failure (no Java runtime of the tools' kind, not run as
;        administrator, no room, a folder holding other files, ...)
; The uninstaller uses them alike. Nothing is changed by a run that ends
; with 1618, 1638 or 1639, nor by one refused with 1603 before it wrote
; anything (the log says which). Only one installer or uninstaller of the
; tools runs at a time.
;
; A run stopped at any point leaves each file whole and the tools working,
; old or new, or nothing installed: see Switch.nsh for the order of work and
; what the next run finishes.
;
; The script and its includes are UTF-8 (makensis -INPUTCHARSET UTF8).
;
; The tools are 32-bit programs: they live in the 32-bit program files folder
; and read the 32-bit registry view, and need a 32-bit Java VM. A test build
; of the same sources for x86-64 (never shipped) passes -DKEVO_TOOLS_X64 and
; gets an installer of its own kind: 64-bit folder, view and Java VM.
; -DKEVO_STUB_AMD64 alone gives the shipped layout from a 64-bit installer,
; for checking that layout where only 64-bit programs run.
!ifdef KEVO_TOOLS_X64
  !define KEVO_STUB_AMD64
  !define KEVO_REG_VIEW 64
  ; KEY_READ | KEY_WOW64_64KEY
  !define KEVO_REG_VIEW_ACCESS 0x20119
  !define KEVO_PROGRAM_FILES "$PROGRAMFILES64"
  !define KEVO_JVM_MACHINE 0x8664
  !define KEVO_JVM_BITS "64-bit"
!else
  !define KEVO_REG_VIEW 32
  ; KEY_READ | KEY_WOW64_32KEY
  !define KEVO_REG_VIEW_ACCESS 0x20219
  !define KEVO_PROGRAM_FILES "$PROGRAMFILES32"
  !define KEVO_JVM_MACHINE 0x014C
  !define KEVO_JVM_BITS "32-bit"
!endif
!ifdef KEVO_STUB_AMD64
  Target amd64-unicode
!else
  Unicode true
!endif
ManifestDPIAware true
RequestExecutionLevel admin
SetCompressor /SOLID lzma
; Installed files get the time of installation: no build-time dates are
; stored, so two builds of the same image give the same installer.
SetDateSave off

!ifndef KEVO_GENERATED_DIR
  !error "KEVO_GENERATED_DIR must name the build tree's installer folder"
!endif
!include "${KEVO_GENERATED_DIR}/KEVOVersion.nsh"
!include "${KEVO_GENERATED_DIR}/KEVOFiles.nsh"
!include "${KEVO_GENERATED_DIR}/KEVOImage.nsh"
!ifndef KEVO_OUTFILE
  !define KEVO_OUTFILE "KEVOSetup-${KEVO_VERSION}.exe"
!endif
; A release build signs the uninstaller as it is made and the installer as
; it is finished (installer/authenticode_sign.sh).
!ifdef KEVO_SIGN_COMMAND
  !uninstfinalize '${KEVO_SIGN_COMMAND} "%1"' = 0
  !finalize '${KEVO_SIGN_COMMAND} "%1"' = 0
!endif
!ifndef KEVO_SETTINGS_FILE
  !define KEVO_SETTINGS_FILE "${KEVO_IMAGE_DIR}/KEVOValidationInfo.ini"
!endif

!define KEVO_PRODUCT "KEVO利用者ソフト"
!define KEVO_PUBLISHER "KEVO"
!define KEVO_KEY "Software\KEVO"
!define KEVO_UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\KEVO"
!define KEVO_RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define KEVO_RUN_VALUE "KEVOSoftverchk"
; The event on which running version checkers end (set by the installer).
!define KEVO_VERCHK_END_EVENT "Global\KEVOSoftverchk.End"
!define KEVO_APP_PATHS_KEY "Software\Microsoft\Windows\CurrentVersion\App Paths\KEVORevoke.exe"
!define KEVO_MENU_DIR "$SMPROGRAMS\${KEVO_PRODUCT}"
!define KEVO_SETTINGS "KEVOValidationInfo.ini"
; Folder access (FolderAccess.nsh):
; Administrators own; protected DACL: BA and SY full, BU read and execute.
!define KEVO_FOLDER_SDDL "O:BAD:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)"
; The same without the users: the setup log's folder, and the working folder
; of a run, which users could otherwise add links to (in C:\Windows\Temp
; every user may create files).
!define KEVO_ADMIN_ONLY_SDDL "O:BAD:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)"

!define KEVO_EXIT_OK 0
!define KEVO_EXIT_RESTART 3010
!define KEVO_EXIT_CANCELLED 1602
!define KEVO_EXIT_FAILED 1603
!define KEVO_EXIT_IN_USE 1618
!define KEVO_EXIT_NEWER_INSTALLED 1638
!define KEVO_EXIT_BAD_COMMAND_LINE 1639

Name "${KEVO_PRODUCT}"
OutFile "${KEVO_OUTFILE}"
InstallDir "${KEVO_PROGRAM_FILES}\KEVO"
; An upgrade goes where the installed version is.
InstallDirRegKey HKLM "${KEVO_KEY}" "InstallPath"
BrandingText "${KEVO_PRODUCT} ${KEVO_VERSION}"

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include x64.nsh

!define MUI_ABORTWARNING
!define MUI_CUSTOMFUNCTION_ABORT KevoOnUserAbort
!define MUI_FINISHPAGE_NOAUTOCLOSE
!insertmacro MUI_PAGE_WELCOME
; An upgrade stays where the installed version is: no folder to choose.
!define MUI_PAGE_CUSTOMFUNCTION_PRE KevoSkipDirectoryOnUpgrade
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE KevoCheckChosenFolder
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Japanese"

VIProductVersion "${KEVO_VERSION}"
VIFileVersion "${KEVO_VERSION}"
VIAddVersionKey /LANG=${LANG_JAPANESE} "ProductName" "${KEVO_PRODUCT}"
VIAddVersionKey /LANG=${LANG_JAPANESE} "CompanyName" "${KEVO_PUBLISHER}"
VIAddVersionKey /LANG=${LANG_JAPANESE} "LegalCopyright" "${KEVO_PUBLISHER}"
VIAddVersionKey /LANG=${LANG_JAPANESE} "FileDescription" "${KEVO_PRODUCT} インストーラ"
VIAddVersionKey /LANG=${LANG_JAPANESE} "FileVersion" "${KEVO_VERSION}"
VIAddVersionKey /LANG=${LANG_JAPANESE} "ProductVersion" "${KEVO_VERSION}"

Var JvmPath       ; the jvm.dll the wizard will load
Var JvmChosen     ; 1 when the administrator named it with /JVM=
Var Upgrading     ; 1 when the tools are installed already
Var KevoAskAgain  ; 1 on the directory page: a refused folder keeps the page open
Var KevoEarlierInstall ; 1 when $INSTDIR holds an installation, complete or interrupted
Var KevoDisplayName ; the uninstall entry's name
Var KevoFailReason ; why the install section failed, for the log and the citizen

!include "SetupLog.nsh"
!include "JavaRuntime.nsh"
!include "Switch.nsh"
!include "Deployment.nsh"
!include "SettingsFile.nsh"
!include "InUse.nsh"
!include "FolderAccess.nsh"

; Named mutex held for the run: one installer or uninstaller at a time, so
; that two deployments cannot each install into a folder of their own.
!define KEVO_SETUP_MUTEX "Global\KEVOSetup"
!macro KEVO_ONE_AT_A_TIME
  System::Call 'kernel32::CreateMutexW(p 0, i 1, w "${KEVO_SETUP_MUTEX}") p .r1 ?e'
  Pop $0
  ; ERROR_ALREADY_EXISTS, or ERROR_ACCESS_DENIED: the mutex of a run under
  ; another account (SYSTEM, a deployment) that this one may not open.
  ${If} $0 = 183
  ${OrIf} $0 = 5
    MessageBox MB_OK|MB_ICONSTOP "${KEVO_PRODUCT}のインストーラかアンインストーラが、すでに実行中です。終わってからもう一度実行してください。" /SD IDOK
    !insertmacro KEVO_QUIT ${KEVO_EXIT_IN_USE} "another installer or uninstaller of the tools is running"
  ${EndIf}
!macroend

; --- checks before anything is written -------------------------------------

Function .onInit
  SetRegView ${KEVO_REG_VIEW}
  SetShellVarContext all
  Call KevoRecordWorkFolder
  Call KevoLogOpen
  !insertmacro KEVO_STEP_INIT
  Call KevoCheckCommandLine

  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "Admin"
    MessageBox MB_OK|MB_ICONSTOP "${KEVO_PRODUCT}のインストールには、管理者の権限が必要です。$\n管理者としてもう一度実行してください。" /SD IDOK
    !insertmacro KEVO_QUIT ${KEVO_EXIT_FAILED} "not run as administrator"
  ${EndIf}

  !insertmacro KEVO_ONE_AT_A_TIME
  Call KevoRemoveStaleWorkFolders
  Call KevoNormaliseInstDir
  Call KevoUpgradeInPlace
  Call KevoRefuseNewerInstalled
  Call KevoRefuseInUse

  Call KevoFindJvm
  Pop $JvmPath
  Pop $JvmChosen
  ${If} $JvmPath == ""
    MessageBox MB_OK|MB_ICONSTOP "${KEVO_PRODUCT}を使うには、Java実行環境（32ビット版）が必要ですが、このパソコンには見つかりませんでした。$\n$\nJava実行環境の32ビット版（「Windows x86」用）をインストールしてから、もう一度このインストーラを実行してください。64ビット版のJava実行環境だけでは動作しません。$\n$\nインストールは行われませんでした。" /SD IDOK
    !insertmacro KEVO_QUIT ${KEVO_EXIT_FAILED} "no ${KEVO_JVM_BITS} Java runtime (jvm.dll) found"
  ${EndIf}
  ${If} ${Silent}
  ${OrIf} $Upgrading = 1
    Call KevoRefuseOccupiedFolder
    Call KevoRefuseLowDiskSpace
  ${EndIf}
FunctionEnd

; The folder chosen on the directory page, checked as /D= is: the page stays
; open for another choice.
Function KevoCheckChosenFolder
  Call KevoNormaliseInstDir
  StrCpy $KevoAskAgain 1
  Call KevoRefuseOccupiedFolder
  Call KevoRefuseLowDiskSpace
  StrCpy $KevoAskAgain 0
FunctionEnd

; The new files are written beside the old ones before the switch: the
; folder's drive needs room for all of them and the uninstaller at once.
Function KevoRefuseLowDiskSpace
  StrCpy $0 $INSTDIR
  ${DoUntil} ${FileExists} "$0\*"
    ${GetParent} $0 $1
    ${IfThen} $1 == "" ${|} ${ExitDo} ${|}
    StrCpy $0 $1
  ${Loop}
  System::Call 'kernel32::GetDiskFreeSpaceExW(w "$0\", *l .r1, p 0, p 0) i .r2'
  ${IfThen} $2 = 0 ${|} Return ${|}
  System::Int64Op $1 / 1024
  Pop $1
  ; the image, the uninstaller and the journal, with room to spare
  System::Int64Op ${KEVO_IMAGE_BYTES} / 1024
  Pop $2
  IntOp $2 $2 + 1024
  System::Int64Op $1 < $2
  Pop $3
  ${If} $3 = 1
    MessageBox MB_OK|MB_ICONSTOP "インストール先のドライブの空き容量が足りません（$2 KB必要です）。$\n空き容量を増やしてから、もう一度実行してください。" /SD IDOK
    !insertmacro KEVO_QUIT ${KEVO_EXIT_FAILED} "not enough free space in $0 ($1 KiB free, $2 KiB needed)"
  ${EndIf}
FunctionEnd

; An existing installation is upgraded where it is, whatever /D= names: a
; second copy would leave the first one registered and running at logon.
; A fresh install that was interrupted is known by its uninstall entry, which
; is written first: the next run goes on there.
Function KevoUpgradeInPlace
  StrCpy $Upgrading 0
  StrCpy $KevoEarlierInstall 0
  ReadRegStr $0 HKLM "${KEVO_KEY}" "InstallPath"
  ${If} $0 != ""
    StrCpy $Upgrading 1
  ${Else}
    ReadRegStr $0 HKLM "${KEVO_UNINSTALL_KEY}" "InstallLocation"
  ${EndIf}
  ${If} $0 != ""
    StrCpy $KevoEarlierInstall 1
    ${If} $0 != $INSTDIR
      !insertmacro KEVO_NOTE "upgrade in place: $0 (not $INSTDIR)"
      StrCpy $INSTDIR $0
    ${EndIf}
  ${EndIf}
FunctionEnd

; An interrupted fresh install's folder is the folder too: its journal and
; files are finished there, not orphaned by another choice.
Function KevoSkipDirectoryOnUpgrade
  ${IfThen} $KevoEarlierInstall = 1 ${|} Abort ${|}
FunctionEnd

; Refuses to replace a newer installed version; an older or equal one is
; overwritten and its Version key updated by the install section. While an
; interrupted run's journal is there, the files are on their way to its
; version whatever the registry says: that version is judged, so that an
; older installer never finishes a newer switch and then goes back.
Function KevoRefuseNewerInstalled
  StrCpy $4 "installed"
  ${If} $KevoEarlierInstall = 1
  ${AndIf} ${FileExists} "$INSTDIR\${KEVO_JOURNAL}"
    ReadINIStr $1 "$INSTDIR\${KEVO_JOURNAL}" "switch" "major"
    ReadINIStr $2 "$INSTDIR\${KEVO_JOURNAL}" "switch" "minor"
    ReadINIStr $3 "$INSTDIR\${KEVO_JOURNAL}" "switch" "revision"
    StrCpy $4 "being installed (an interrupted run's journal)"
  ${Else}
    ; Major is written last: without it there is no version.
    ClearErrors
    ReadRegDWORD $1 HKLM "${KEVO_KEY}\Version" "Major"
    ${If} ${Errors}
      Return
    ${EndIf}
    ReadRegDWORD $2 HKLM "${KEVO_KEY}\Version" "Minor"
    ReadRegDWORD $3 HKLM "${KEVO_KEY}\Version" "Revision"
  ${EndIf}
  IntOp $1 $1 + 0
  IntOp $2 $2 + 0
  IntOp $3 $3 + 0
  StrCpy $0 0 ; 1 when the installed version is newer
  ${If} $1 U> ${KEVO_VERSION_MAJOR}
    StrCpy $0 1
  ${ElseIf} $1 = ${KEVO_VERSION_MAJOR}
    ${If} $2 U> ${KEVO_VERSION_MINOR}
      StrCpy $0 1
    ${ElseIf} $2 = ${KEVO_VERSION_MINOR}
    ${AndIf} $3 U> ${KEVO_VERSION_REVISION}
      StrCpy $0 1
    ${EndIf}
  ${EndIf}
  ${If} $0 = 1
    MessageBox MB_OK|MB_ICONSTOP "このパソコンには、より新しいバージョン（$1.$2.$3）の${KEVO_PRODUCT}がインストールされています。$\nバージョン${KEVO_VERSION}のインストールは行いません。" /SD IDOK
    !insertmacro KEVO_QUIT ${KEVO_EXIT_NEWER_INSTALLED} "newer version $1.$2.$3 is $4"
  ${EndIf}
FunctionEnd

; --- installation ------------------------------------------------------------

Section "${KEVO_PRODUCT}" SecMain
  SectionIn RO
  ; A file that cannot be written fails the installation (exit 2).
  AllowSkipFiles off
  SetOverwrite on
  SetOutPath "$INSTDIR"
  Call KevoRestrictFolderAccess
  ; Looked at again right before anything is written: pages were shown
  ; since .onInit.
  Call KevoRefuseInUse
  Call KevoFinishInterruptedRun
  ${If} ${FileExists} "$INSTDIR\uninstall.exe"
  ${AndIf} $KevoEarlierInstall = 1
    ; kept until the new one replaces it in the switch
  ${Else}
    ; A fresh install registers its uninstaller before any other file, so
    ; that whatever an interrupted run leaves can be removed.
    Call KevoStageUninstaller
    StrCpy $KevoDisplayName "${KEVO_PRODUCT}（インストール未完了）"
    Push "$INSTDIR\uninstall.exe${KEVO_STAGED}"
    Push "$INSTDIR\uninstall.exe"
    Call KevoMoveOver
    Pop $0
    ${If} $0 <> 0
      !insertmacro KEVO_FAIL "uninstall.exe could not be put in place (error $0)"
    ${EndIf}
    Call KevoWriteUninstallEntry
  ${EndIf}
  !insertmacro KEVO_STEP

  !insertmacro KEVO_FOR_EACH_IMAGE_FILE KEVO_STAGE_FILE
  Call KevoStageSettings
  Call KevoStageUninstaller
  !insertmacro KEVO_STEP
  Call KevoWriteJournal
  !insertmacro KEVO_STEP
  Call KevoSwitchStaged
  ${If} $KevoSwitchFailed != ""
    ; The journal stays: the next run finishes the switch.
    !insertmacro KEVO_STOP ${KEVO_EXIT_IN_USE} "$KevoSwitchFailed could not be replaced; the next run finishes the installation"
  ${EndIf}

  ; REG_SZ: the registry reader library refuses REG_EXPAND_SZ.
  WriteRegStr HKLM "${KEVO_KEY}" "InstallPath" "$INSTDIR"
  ; A runtime that no Java installer registered is found by the wizard
  ; through this value; a registered one through the Java registry, so that
  ; a Java update needs no reinstall.
  ${If} $JvmChosen = 1
    WriteRegStr HKLM "${KEVO_KEY}" "JvmPath" "$JvmPath"
  ${Else}
    DeleteRegValue HKLM "${KEVO_KEY}" "JvmPath"
  ${EndIf}
  !insertmacro KEVO_STEP

  ; Entry points only once the files they name are in place.
  Call KevoWriteUpdateCheck
  CreateDirectory "${KEVO_MENU_DIR}"
!ifdef KEVO_HAS_REVOKE
  ; The Run box starts the wizard by name. The 64-bit shell reads the 64-bit
  ; view, a 32-bit one the 32-bit view: both get the entry.
  !insertmacro KEVO_APP_PATHS_WRITE
  CreateShortCut "${KEVO_MENU_DIR}\KEVO オンライン失効申請.lnk" "$INSTDIR\KEVORevoke.exe" "" "$INSTDIR\KEVORevoke.exe" 0
!endif
  CreateShortCut "${KEVO_MENU_DIR}\ICカードリーダライタ設定.lnk" "$INSTDIR\KEVORWSetting.exe" "" "$INSTDIR\KEVORWSetting.exe" 0
!ifdef KEVO_HAS_GUIDE
  CreateShortCut "${KEVO_MENU_DIR}\利用の手引き.lnk" "$INSTDIR\user-guide.html"
!endif
!ifdef KEVO_HAS_DIAG
  CreateShortCut "${KEVO_MENU_DIR}\診断情報.lnk" "$INSTDIR\KEVODiag.exe" "" "$INSTDIR\KEVODiag.exe" 0
!endif
  !insertmacro KEVO_STEP

  StrCpy $KevoDisplayName "${KEVO_PRODUCT}"
  Call KevoWriteUninstallEntry
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${KEVO_UNINSTALL_KEY}" "EstimatedSize" $0
  ; The version of the files now on disk, last.
  Push "${KEVO_VERSION}"
  Push ${KEVO_VERSION_MAJOR}
  Push ${KEVO_VERSION_MINOR}
  Push ${KEVO_VERSION_REVISION}
  Call KevoWriteVersion
  Call KevoFlushRegistry
  !insertmacro KEVO_STEP
  Delete "$INSTDIR\${KEVO_JOURNAL}"

  !insertmacro KEVO_STEP_TOTAL
  !insertmacro KEVO_LOG ${KEVO_EXIT_OK} "installed in $INSTDIR, jvm=$JvmPath"
SectionEnd

; Programs and Features: everything but the version, which follows the files.
; A fresh install names itself unfinished until its last step, so that the
; citizen sees what a stopped run left (running the installer again, or
; uninstalling, finishes it).
Function KevoWriteUninstallEntry
  WriteRegStr HKLM "${KEVO_UNINSTALL_KEY}" "DisplayName" "$KevoDisplayName"
  WriteRegStr HKLM "${KEVO_UNINSTALL_KEY}" "Publisher" "${KEVO_PUBLISHER}"
  WriteRegStr HKLM "${KEVO_UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${KEVO_UNINSTALL_KEY}" "DisplayIcon" "${KEVO_DISPLAY_ICON}"
  WriteRegStr HKLM "${KEVO_UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  ; Runs in place and waits, so that the caller gets the real result.
  WriteRegStr HKLM "${KEVO_UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S _?=$INSTDIR'
  WriteRegDWORD HKLM "${KEVO_UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${KEVO_UNINSTALL_KEY}" "NoRepair" 1
FunctionEnd

Function KevoOnUserAbort
  !insertmacro KEVO_LOG ${KEVO_EXIT_CANCELLED} "cancelled by the user"
FunctionEnd

; Staged files without a journal are removed, and a fresh install is taken
; back to nothing; a journal stays for the next run, which finishes its switch.
Function .onInstFailed
  ${IfNot} ${FileExists} "$INSTDIR\${KEVO_JOURNAL}"
    Call KevoDiscardStaged
    ${If} $KevoEarlierInstall = 0
      Delete "$INSTDIR\uninstall.exe"
      RMDir "$INSTDIR"
      ${IfNot} ${FileExists} "$INSTDIR\uninstall.exe"
        DeleteRegKey HKLM "${KEVO_UNINSTALL_KEY}"
      ${EndIf}
    ${EndIf}
  ${EndIf}
  ${IfThen} $KevoFailReason == "" ${|} StrCpy $KevoFailReason "a file could not be written" ${|}
  MessageBox MB_OK|MB_ICONSTOP "${KEVO_PRODUCT}のインストールを完了できませんでした。$\n$\n$KevoFailReason$\n$\n詳しくはセットアップログ $KevoLogFile をご覧ください。" /SD IDOK
  SetErrorLevel ${KEVO_EXIT_FAILED}
  !insertmacro KEVO_LOG ${KEVO_EXIT_FAILED} "installation failed in $INSTDIR: $KevoFailReason"
FunctionEnd

; --- uninstallation ------------------------------------------------------------

Function un.onInit
  SetRegView ${KEVO_REG_VIEW}
  SetShellVarContext all
  Call un.KevoRecordWorkFolder
  Call un.KevoLogOpen
  !insertmacro KEVO_STEP_INIT
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "Admin"
    MessageBox MB_OK|MB_ICONSTOP "${KEVO_PRODUCT}のアンインストールには、管理者の権限が必要です。$\n管理者としてもう一度実行してください。" /SD IDOK
    !insertmacro KEVO_QUIT ${KEVO_EXIT_FAILED} "uninstall: not run as administrator"
  ${EndIf}
  !insertmacro KEVO_ONE_AT_A_TIME
  Call un.KevoRemoveStaleWorkFolders
  Call un.KevoRefuseInUse
FunctionEnd

!macro KEVO_REMOVE_FILE name size
  Delete "$INSTDIR\${name}"
  !insertmacro KEVO_STEP
!macroend

; Removes what the installer wrote; the users' own settings under HKCU
; (trace switches, reader choice) stay. Entry points go first, so that none
; names a missing file; the uninstall entry goes last, so that whatever an
; interrupted run leaves can still be removed.
Section "Uninstall"
  DeleteRegValue HKLM "${KEVO_RUN_KEY}" "${KEVO_RUN_VALUE}"
  !insertmacro KEVO_APP_PATHS_DELETE
  Delete "${KEVO_MENU_DIR}\KEVO オンライン失効申請.lnk"
  Delete "${KEVO_MENU_DIR}\ICカードリーダライタ設定.lnk"
  Delete "${KEVO_MENU_DIR}\利用の手引き.lnk"
  Delete "${KEVO_MENU_DIR}\診断情報.lnk"
  RMDir "${KEVO_MENU_DIR}"
  !insertmacro KEVO_STEP
  DeleteRegKey HKLM "${KEVO_KEY}\Version"
  DeleteRegValue HKLM "${KEVO_KEY}" "InstallPath"
  DeleteRegValue HKLM "${KEVO_KEY}" "JvmPath"
  DeleteRegValue HKLM "${KEVO_KEY}" "NoUpdateCheck"
  DeleteRegKey /ifempty HKLM "${KEVO_KEY}"
  !insertmacro KEVO_STEP

  ; An interrupted install's staged files and journal go with the rest.
  Call un.KevoDiscardStaged
  Delete "$INSTDIR\${KEVO_JOURNAL}"
  ; Delete sets the error flag only for a file that exists and stays.
  ClearErrors
  !insertmacro KEVO_FOR_EACH_IMAGE_FILE KEVO_REMOVE_FILE
  Delete "$INSTDIR\${KEVO_SETTINGS}"
  Delete "$INSTDIR\${KEVO_SETTINGS}.default"
  ${If} ${Errors}
    !insertmacro KEVO_STOP ${KEVO_EXIT_FAILED} "uninstall failed: files left in $INSTDIR"
  ${EndIf}
  StrCpy $R9 ${KEVO_EXIT_OK}
  Delete "$INSTDIR\uninstall.exe"
  ${If} ${FileExists} "$INSTDIR\uninstall.exe"
    ; Running in place (_?=, as the quiet uninstall runs): Windows lets a
    ; running program be moved away, not deleted. Where even that fails
    ; (Wine), it is removed at the next restart, the last trace of the tools.
    System::Call 'kernel32::GetTickCount() i .r0'
    Rename "$INSTDIR\uninstall.exe" "$TEMP\KEVOUninstall-$0.exe"
    Delete /REBOOTOK "$TEMP\KEVOUninstall-$0.exe"
    ${If} ${FileExists} "$INSTDIR\uninstall.exe"
      Delete /REBOOTOK "$INSTDIR\uninstall.exe"
      !insertmacro KEVO_NOTE "uninstall.exe is removed at the next restart"
      ; A copy in the temporary folder is no part of the installation; a
      ; file left in its folder is.
      StrCpy $R9 ${KEVO_EXIT_RESTART}
    ${EndIf}
  ${EndIf}
  RMDir /REBOOTOK "$INSTDIR"
  DeleteRegKey HKLM "${KEVO_UNINSTALL_KEY}"

  !insertmacro KEVO_STEP_TOTAL
  SetErrorLevel $R9
  !insertmacro KEVO_LOG $R9 "uninstalled from $INSTDIR"
SectionEnd

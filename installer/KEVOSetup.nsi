; KEVO利用者ソフト: the citizen's installer, built by makensis from the install
; image of a Windows build tree (installer/CMakeLists.txt passes the generated
; KEVOVersion.nsh and KEVOFiles.nsh). Everything the tools rely on at run
; time is set up here: the files, HKLM Software\KEVO InstallPath and Version,
; the settings file, the Java VM library's search path for the wizard, the
; logon start of the version checker, Start-menu entries and the uninstaller.
;
; Exit codes (also written to the setup log, $TEMP\KEVOSetup.log or /LOG=):
;   0 installed   1 cancelled by the user   2 installation failed
;   3 no Java runtime of the tools' kind   4 a newer version is installed
;   5 not run as administrator   6 a program of the tools is running
; The uninstaller uses 0, 1, 2, 5 and 6 alike. Nothing is changed by a run
; that ends with 3 to 6.
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
  !define KEVO_PROGRAM_FILES "$PROGRAMFILES64"
  !define KEVO_JVM_MACHINE 0x8664
  !define KEVO_JVM_BITS "64-bit"
!else
  !define KEVO_REG_VIEW 32
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
!define KEVO_APP_PATHS_KEY "Software\Microsoft\Windows\CurrentVersion\App Paths\KEVORevoke.exe"
!define KEVO_MENU_DIR "$SMPROGRAMS\${KEVO_PRODUCT}"
!define KEVO_SETTINGS "KEVOValidationInfo.ini"

!define KEVO_EXIT_OK 0
!define KEVO_EXIT_CANCELLED 1
!define KEVO_EXIT_FAILED 2
!define KEVO_EXIT_NO_JAVA 3
!define KEVO_EXIT_NEWER_INSTALLED 4
!define KEVO_EXIT_NOT_ADMIN 5
!define KEVO_EXIT_IN_USE 6

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

!include "SetupLog.nsh"
!include "JavaRuntime.nsh"
!include "SettingsFile.nsh"
!include "InUse.nsh"
!include "FolderAccess.nsh"

; --- checks before anything is written -------------------------------------

Function .onInit
  SetRegView ${KEVO_REG_VIEW}
  SetShellVarContext all
  Call KevoLogOpen

  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "Admin"
    MessageBox MB_OK|MB_ICONSTOP "${KEVO_PRODUCT}のインストールには、管理者の権限が必要です。$\n管理者としてもう一度実行してください。" /SD IDOK
    !insertmacro KEVO_QUIT ${KEVO_EXIT_NOT_ADMIN} "not run as administrator"
  ${EndIf}

  Call KevoRefuseNewerInstalled
  Call KevoUpgradeInPlace
  Call KevoRefuseInUse

  Call KevoFindJvm
  Pop $JvmPath
  Pop $JvmChosen
  ${If} $JvmPath == ""
    MessageBox MB_OK|MB_ICONSTOP "${KEVO_PRODUCT}を使うには、Java実行環境（32ビット版）が必要ですが、このパソコンには見つかりませんでした。$\n$\nJava実行環境の32ビット版（「Windows x86」用）をインストールしてから、もう一度このインストーラを実行してください。64ビット版のJava実行環境だけでは動作しません。$\n$\nインストールは行われませんでした。" /SD IDOK
    !insertmacro KEVO_QUIT ${KEVO_EXIT_NO_JAVA} "no ${KEVO_JVM_BITS} Java runtime (jvm.dll) found"
  ${EndIf}
FunctionEnd

; An existing installation is upgraded where it is, whatever /D= names: a
; second copy would leave the first one registered and running at logon.
Function KevoUpgradeInPlace
  StrCpy $Upgrading 0
  ReadRegStr $0 HKLM "${KEVO_KEY}" "InstallPath"
  ${If} $0 != ""
    StrCpy $Upgrading 1
    ${If} $0 != $INSTDIR
      !insertmacro KEVO_NOTE "upgrade in place: $0 (not $INSTDIR)"
      StrCpy $INSTDIR $0
    ${EndIf}
  ${EndIf}
FunctionEnd

Function KevoSkipDirectoryOnUpgrade
  ${IfThen} $Upgrading = 1 ${|} Abort ${|}
FunctionEnd

; Refuses to replace a newer installed version; an older or equal one is
; overwritten and its Version key updated by the install section.
Function KevoRefuseNewerInstalled
  ClearErrors
  ReadRegDWORD $1 HKLM "${KEVO_KEY}\Version" "Major"
  ${If} ${Errors}
    Return
  ${EndIf}
  ReadRegDWORD $2 HKLM "${KEVO_KEY}\Version" "Minor"
  ReadRegDWORD $3 HKLM "${KEVO_KEY}\Version" "Revision"
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
    !insertmacro KEVO_QUIT ${KEVO_EXIT_NEWER_INSTALLED} "newer version $1.$2.$3 is installed"
  ${EndIf}
FunctionEnd

; --- installation ------------------------------------------------------------

Section "${KEVO_PRODUCT}" SecMain
  SectionIn RO
  SetOutPath "$INSTDIR"
  Call KevoRestrictFolderAccess
  SetOverwrite on
  ; A file that cannot be written fails the installation (exit 2) instead of
  ; leaving the old file in place under a new version number.
  AllowSkipFiles off
  !insertmacro KEVO_INSTALL_FILES
  Call KevoInstallSettings
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; REG_SZ: the registry reader library refuses REG_EXPAND_SZ.
  WriteRegStr HKLM "${KEVO_KEY}" "InstallPath" "$INSTDIR"
  WriteRegDWORD HKLM "${KEVO_KEY}\Version" "Major" ${KEVO_VERSION_MAJOR}
  WriteRegDWORD HKLM "${KEVO_KEY}\Version" "Minor" ${KEVO_VERSION_MINOR}
  WriteRegDWORD HKLM "${KEVO_KEY}\Version" "Revision" ${KEVO_VERSION_REVISION}
  ; A runtime that no Java installer registered is found by the wizard
  ; through this value; a registered one through the Java registry, so that
  ; a Java update needs no reinstall.
  ${If} $JvmChosen = 1
    WriteRegStr HKLM "${KEVO_KEY}" "JvmPath" "$JvmPath"
  ${Else}
    DeleteRegValue HKLM "${KEVO_KEY}" "JvmPath"
  ${EndIf}

  ; The version checker shows nothing unless a newer release exists; the
  ; machine-wide Run key starts it for every user at logon.
  WriteRegStr HKLM "${KEVO_RUN_KEY}" "${KEVO_RUN_VALUE}" '"$INSTDIR\KEVOSoftverchk.exe"'

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

  WriteRegStr HKLM "${KEVO_UNINSTALL_KEY}" "DisplayName" "${KEVO_PRODUCT}"
  WriteRegStr HKLM "${KEVO_UNINSTALL_KEY}" "DisplayVersion" "${KEVO_VERSION}"
  WriteRegStr HKLM "${KEVO_UNINSTALL_KEY}" "Publisher" "${KEVO_PUBLISHER}"
  WriteRegStr HKLM "${KEVO_UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${KEVO_UNINSTALL_KEY}" "DisplayIcon" "${KEVO_DISPLAY_ICON}"
  WriteRegStr HKLM "${KEVO_UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${KEVO_UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${KEVO_UNINSTALL_KEY}" "VersionMajor" ${KEVO_VERSION_MAJOR}
  WriteRegDWORD HKLM "${KEVO_UNINSTALL_KEY}" "VersionMinor" ${KEVO_VERSION_MINOR}
  WriteRegDWORD HKLM "${KEVO_UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${KEVO_UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${KEVO_UNINSTALL_KEY}" "EstimatedSize" $0

  !insertmacro KEVO_LOG ${KEVO_EXIT_OK} "installed in $INSTDIR, jvm=$JvmPath"
SectionEnd

Function KevoOnUserAbort
  !insertmacro KEVO_LOG ${KEVO_EXIT_CANCELLED} "cancelled by the user"
FunctionEnd

Function .onInstFailed
  SetErrorLevel ${KEVO_EXIT_FAILED}
  !insertmacro KEVO_LOG ${KEVO_EXIT_FAILED} "installation failed in $INSTDIR"
FunctionEnd

; --- uninstallation ------------------------------------------------------------

Function un.onInit
  SetRegView ${KEVO_REG_VIEW}
  SetShellVarContext all
  Call un.KevoLogOpen
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "Admin"
    MessageBox MB_OK|MB_ICONSTOP "${KEVO_PRODUCT}のアンインストールには、管理者の権限が必要です。$\n管理者としてもう一度実行してください。" /SD IDOK
    !insertmacro KEVO_QUIT ${KEVO_EXIT_NOT_ADMIN} "uninstall: not run as administrator"
  ${EndIf}
  Call un.KevoRefuseInUse
FunctionEnd

; Removes what the installer wrote; the users' own settings under HKCU
; (trace switches, reader choice) stay.
Section "Uninstall"
  ; Delete sets the error flag only for a file that exists and stays.
  ClearErrors
  !insertmacro KEVO_DELETE_FILES
  ${If} ${Errors}
    !insertmacro KEVO_QUIT ${KEVO_EXIT_FAILED} "uninstall failed: files left in $INSTDIR"
  ${EndIf}
  Delete "$INSTDIR\${KEVO_SETTINGS}"
  Delete "$INSTDIR\${KEVO_SETTINGS}.default"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"

  Delete "${KEVO_MENU_DIR}\KEVO オンライン失効申請.lnk"
  Delete "${KEVO_MENU_DIR}\ICカードリーダライタ設定.lnk"
  Delete "${KEVO_MENU_DIR}\利用の手引き.lnk"
  Delete "${KEVO_MENU_DIR}\診断情報.lnk"
  RMDir "${KEVO_MENU_DIR}"

  DeleteRegValue HKLM "${KEVO_RUN_KEY}" "${KEVO_RUN_VALUE}"
  !insertmacro KEVO_APP_PATHS_DELETE
  DeleteRegKey HKLM "${KEVO_KEY}\Version"
  DeleteRegValue HKLM "${KEVO_KEY}" "InstallPath"
  DeleteRegValue HKLM "${KEVO_KEY}" "JvmPath"
  DeleteRegKey /ifempty HKLM "${KEVO_KEY}"
  DeleteRegKey HKLM "${KEVO_UNINSTALL_KEY}"

  !insertmacro KEVO_LOG ${KEVO_EXIT_OK} "uninstalled from $INSTDIR"
SectionEnd

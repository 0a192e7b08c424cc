; The version checker runs from the install folder at every user's logon
; (HKLM Run), so no user may change the files there. Inside the program files
; folders Windows sees to that; a folder chosen elsewhere with /D= inherits
; whatever its parent allows (on C:\ users may create and change files, and
; its creator owns it and may rewrite its rights). Such a folder must be new
; or empty, or an earlier installation of the tools, so that nothing planted
; in it beforehand (a version.dll beside the tools) ends up in a protected
; place; it gets the program files folder's access: owned by the
; administrators, administrators and SYSTEM full control, users read and
; execute, no other entry and nothing inherited from the parent.

; Administrators own; protected DACL: BA and SY full, BU read and execute.
!define KEVO_FOLDER_SDDL "O:BAD:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)"

; Makes $INSTDIR a full path without "." or ".." parts, so that it is judged
; for what it names (uses $0, $1).
Function KevoNormaliseInstDir
  System::Call 'kernel32::GetFullPathNameW(w "$INSTDIR", i ${NSIS_MAX_STRLEN}, w .r0, p 0) i .r1'
  ${If} $1 > 0
  ${AndIf} $1 < ${NSIS_MAX_STRLEN}
    StrCpy $INSTDIR $0
  ${EndIf}
  ; No trailing backslash but after a drive (C:\).
  StrCpy $1 $INSTDIR 1 -1
  StrLen $0 $INSTDIR
  ${If} $1 == "\"
  ${AndIf} $0 > 3
    StrCpy $INSTDIR $INSTDIR -1
  ${EndIf}
FunctionEnd

; Pushes 1 when $INSTDIR lies inside one of the program files folders, else 0.
Function KevoInProgramFiles
  StrCpy $1 0
  ${ForEach} $2 0 1 + 1
    ${If} $2 = 0
      StrCpy $3 "$PROGRAMFILES32\"
    ${Else}
      StrCpy $3 "$PROGRAMFILES64\"
    ${EndIf}
    StrLen $4 $3
    StrCpy $5 "$INSTDIR" $4
    ; StrCmp, and so ==, ignores case as the file system does.
    ${IfThen} $5 == $3 ${|} StrCpy $1 1 ${|}
  ${Next}
  Push $1
FunctionEnd

; Refuses (exit 2, nothing changed) a fresh install into a folder holding
; files; an earlier installation is recognised by its registry entries
; (KevoUpgradeInPlace has moved $INSTDIR there).
Function KevoRefuseOccupiedFolder
  ${IfThen} $KevoEarlierInstall = 1 ${|} Return ${|}
  FindFirst $0 $1 "$INSTDIR\*"
  ${Do}
    ${IfThen} $1 == "" ${|} ${ExitDo} ${|}
    ; An uninstaller left for removal at restart is the tools' own.
    ${If} $1 != "."
    ${AndIf} $1 != ".."
    ${AndIf} $1 != "uninstall.exe"
      ${ExitDo}
    ${EndIf}
    FindNext $0 $1
  ${Loop}
  FindClose $0
  ${If} $1 != ""
    MessageBox MB_OK|MB_ICONSTOP "インストール先のフォルダ $INSTDIR には、すでにほかのファイルがあります。$\n空のフォルダか、新しいフォルダを指定してください。" /SD IDOK
    ${IfThen} $KevoAskAgain = 1 ${|} Abort ${|}
    !insertmacro KEVO_QUIT ${KEVO_EXIT_FAILED} "$INSTDIR is not empty and holds no installation of the tools ($1)"
  ${EndIf}
FunctionEnd

Function KevoRestrictFolderAccess
  Call KevoInProgramFiles
  Pop $1
  ${IfThen} $1 = 1 ${|} Return ${|}
  System::Call 'advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW(w "${KEVO_FOLDER_SDDL}", i 1, *p .r1, p 0) i .r0'
  ${If} $0 <> 0
    ; OWNER | DACL | PROTECTED_DACL
    System::Call 'advapi32::SetFileSecurityW(w "$INSTDIR", i 0x80000005, p r1) i .r0 ?e'
    Pop $2
    System::Call 'kernel32::LocalFree(p r1)'
  ${EndIf}
  ${If} $0 = 0
    !insertmacro KEVO_LOG ${KEVO_EXIT_FAILED} "access of $INSTDIR could not be restricted (error $2)"
    SetErrorLevel ${KEVO_EXIT_FAILED}
    Quit
  ${EndIf}
  !insertmacro KEVO_NOTE "access of $INSTDIR restricted: owned by administrators, administrators and SYSTEM full control, users read and execute"
FunctionEnd

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

; Refuses (exit 1603, nothing changed) a fresh install into a folder holding
; files; an earlier installation is recognised by its registry entries
; (KevoUpgradeInPlace has moved $INSTDIR there).
Function KevoRefuseOccupiedFolder
  ${IfThen} $KevoEarlierInstall = 1 ${|} Return ${|}
  FindFirst $0 $1 "$INSTDIR\*"
  ${Do}
    ${IfThen} $1 == "" ${|} ${ExitDo} ${|}
    ; The uninstaller, left for removal at restart or by a fresh install
    ; stopped before its uninstall entry, is the tools' own; both are
    ; replaced. Other staged files and a journal are not taken on trust
    ; here: they could have been planted, and are removed.
    ${If} $1 != "."
    ${AndIf} $1 != ".."
    ${AndIf} $1 != "uninstall.exe"
    ${AndIf} $1 != "uninstall.exe${KEVO_STAGED}"
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

; Reached after the folder was made: its access is set for it and for
; whatever it holds, then the folder is looked at again, so that nothing its
; earlier owner put there in the meantime stays in a protected place.
Function KevoRestrictFolderAccess
  Call KevoInProgramFiles
  Pop $1
  ${IfThen} $1 = 1 ${|} Return ${|}
  Push $INSTDIR
  Push "${KEVO_FOLDER_SDDL}"
  Call KevoSetFolderSecurity
  Pop $2
  ${If} $2 <> 0
    !insertmacro KEVO_STOP ${KEVO_EXIT_FAILED} "access of $INSTDIR could not be restricted (error $2)"
  ${EndIf}
  !insertmacro KEVO_NOTE "access of $INSTDIR restricted: owned by administrators, administrators and SYSTEM full control, users read and execute"
  Call KevoRefuseOccupiedFolder
FunctionEnd

!macro KEVO_FOLDER_SECURITY_FUNCTION un
; Gives a folder (stack: path, then SDDL on top) that owner and access list,
; passed on to everything inside it; pushes 0, or the error. A folder that
; is a link (junction, symbolic link) is refused with 4390
; (ERROR_NOT_A_REPARSE_POINT's neighbour: "is a reparse point"), so that a
; user's link never turns the change onto its target.
Function ${un}KevoSetFolderSecurity
  Exch $R1
  Exch
  Exch $R0
  Push $R2
  Push $R3
  Push $R4
  Push $R5
  System::Call 'kernel32::GetFileAttributesW(w R0) i .R2'
  IntOp $R3 $R2 & 0x400
  ${If} $R2 = -1
    StrCpy $R2 2
  ${ElseIf} $R3 <> 0
    StrCpy $R2 4390
  ${Else}
    System::Call 'advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW(w R1, i 1, *p .R3, p 0) i .R2 ?e'
    Pop $R5
    ${If} $R2 = 0
      StrCpy $R2 $R5
    ${Else}
      System::Call 'advapi32::GetSecurityDescriptorOwner(p R3, *p .R4, *i .R5)'
      System::Call 'advapi32::GetSecurityDescriptorDacl(p R3, *i .R5, *p .R1, *i .R5)'
      ; SE_FILE_OBJECT; OWNER | DACL | PROTECTED_DACL
      System::Call 'advapi32::SetNamedSecurityInfoW(w R0, i 1, i 0x80000005, p R4, p 0, p R1, p 0) i .R2'
      System::Call 'kernel32::LocalFree(p R3)'
    ${EndIf}
  ${EndIf}
  StrCpy $R0 $R2
  Pop $R5
  Pop $R4
  Pop $R3
  Pop $R2
  Exch $R0
  Exch
  Pop $R1
FunctionEnd
!macroend
!insertmacro KEVO_FOLDER_SECURITY_FUNCTION ""
!insertmacro KEVO_FOLDER_SECURITY_FUNCTION "un."

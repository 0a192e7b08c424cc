; The version checker runs from the install folder at every user's logon
; (HKLM Run), so no user may change the files there. Inside the program files
; folders Windows sees to that; a folder chosen elsewhere with /D= inherits
; whatever its parent allows (on C:\ users may create and change files). Such
; a folder gets the program files folder's access: administrators and SYSTEM
; full control, users read and execute, nothing inherited from the parent.

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

Function KevoRestrictFolderAccess
  Call KevoInProgramFiles
  Pop $1
  ${IfThen} $1 = 1 ${|} Return ${|}
  ; Well-known SIDs: the group names differ between languages of Windows.
  nsExec::ExecToStack '"$SYSDIR\icacls.exe" "$INSTDIR" /inheritance:r /grant:r *S-1-5-32-544:(OI)(CI)F *S-1-5-18:(OI)(CI)F *S-1-5-32-545:(OI)(CI)RX /T /C /Q'
  Pop $1
  Pop $2
  ${If} $1 != 0
    !insertmacro KEVO_LOG ${KEVO_EXIT_FAILED} "access of $INSTDIR could not be restricted (icacls: $1)"
    SetErrorLevel ${KEVO_EXIT_FAILED}
    Quit
  ${EndIf}
  !insertmacro KEVO_NOTE "access of $INSTDIR restricted: administrators and SYSTEM full control, users read and execute"
FunctionEnd

; The setup log: one line per run of the installer or the uninstaller, so
; that an administrator's silent deployment can be checked afterwards, on
; whichever PC and under whichever account it ran:
;   2026/12/08 09:15:30 KEVOSetup 1.0.0.0 host=PC01 user=SYSTEM exit=0 installed in C:\Program Files\KEVO, jvm=...
; Lines without "exit=" are notes on the way (an upgrade kept in place, the
; folder's access set); the run's outcome is the line with "exit=".
; The file is %ProgramData%\KEVO\KEVOSetup.log (the same for every account
; that runs it, SYSTEM included), or the one named by /LOG=<file>.
; The lines are ASCII apart from paths and names, so that scripts can match
; them.

Var KevoLogWho ; "host=<computer> user=<account>"

Var KevoLogFile
Var KevoLogCode
Var KevoLogText

!macro KEVO_LOG code text
  StrCpy $KevoLogCode "${code}"
  StrCpy $KevoLogText "${text}"
  !ifdef __UNINSTALL__
    Call un.KevoLogWrite
  !else
    Call KevoLogWrite
  !endif
!macroend

!macro KEVO_NOTE text
  !insertmacro KEVO_LOG "" "${text}"
!macroend

; Logs, sets the exit code and ends the run before anything is written.
; For a caller that has told the citizen already.
!macro KEVO_QUIT code text
  !insertmacro KEVO_LOG ${code} "${text}"
  SetErrorLevel ${code}
  Quit
!macroend

; Ends the install section with a failure: the reason goes to the log line
; of the outcome and, in an interactive run, to a message box
; (.onInstFailed); staged files without a journal are removed.
!macro KEVO_FAIL text
  !insertmacro KEVO_NOTE "${text}"
  StrCpy $KevoFailReason "${text}"
  Abort
!macroend

; The same for a failure nothing has shown yet: an interactive run says why
; in a message box rather than just closing its window.
!macro KEVO_STOP code text
  !ifdef __UNINSTALL__
    !define /redef KEVO_STOP_WHAT "アンインストール"
  !else
    !define /redef KEVO_STOP_WHAT "インストール"
  !endif
  MessageBox MB_OK|MB_ICONSTOP "${KEVO_PRODUCT}の${KEVO_STOP_WHAT}を完了できませんでした。$\n$\n${text}$\n$\n詳しくはセットアップログ $KevoLogFile をご覧ください。" /SD IDOK
  !insertmacro KEVO_QUIT ${code} "${text}"
!macroend

!macro KEVO_SAVE_R0_R7
  Push $R0
  Push $R1
  Push $R2
  Push $R3
  Push $R4
  Push $R5
  Push $R6
  Push $R7
!macroend
!macro KEVO_RESTORE_R0_R7
  Pop $R7
  Pop $R6
  Pop $R5
  Pop $R4
  Pop $R3
  Pop $R2
  Pop $R1
  Pop $R0
!macroend

!macro KEVO_LOG_FUNCTIONS un tag
; Sets $R4 to the next token of the command line $R0 from position $R3
; (moved past it), "" at its end. Quotes group (and are dropped) wherever
; they stand: "/JVM=C:\Program Files\..." and /LOG="C:\a b.log" alike (uses
; $R2, $R5, $R6).
Function ${un}KevoNextToken
  StrLen $R2 $R0
  StrCpy $R4 "" ; the token
  StrCpy $R5 0  ; inside quotes
  ${Do}
    ${IfThen} $R3 >= $R2 ${|} ${ExitDo} ${|}
    StrCpy $R6 $R0 1 $R3
    IntOp $R3 $R3 + 1
    ${If} $R6 == '"'
      IntOp $R5 1 - $R5
    ${ElseIf} $R6 == " "
    ${AndIf} $R5 = 0
      ${IfThen} $R4 != "" ${|} ${ExitDo} ${|}
    ${Else}
      StrCpy $R4 "$R4$R6"
    ${EndIf}
  ${Loop}
FunctionEnd

; Sets $R8 to the value of the command-line option named by $R9 ("/LOG=",
; case ignored), "" when it is not given (uses $R0 to $R7).
Function ${un}KevoGetOption
  ${GetParameters} $R0
  StrCpy $R8 ""
  StrLen $R1 $R9
  StrCpy $R3 0 ; position
  ${Do}
    Call ${un}KevoNextToken
    ${IfThen} $R4 == "" ${|} ${ExitDo} ${|}
    StrCpy $R7 $R4 $R1
    ${If} $R7 == $R9
      StrCpy $R8 $R4 "" $R1
      ${ExitDo}
    ${EndIf}
  ${Loop}
FunctionEnd

Function ${un}KevoLogOpen
  StrCpy $R0 ""
  StrCpy $R1 ""
  StrCpy $R2 ${NSIS_MAX_STRLEN}
  System::Call 'kernel32::GetComputerNameW(w .R0, *i R2)'
  StrCpy $R2 ${NSIS_MAX_STRLEN}
  System::Call 'advapi32::GetUserNameW(w .R1, *i R2)'
  StrCpy $KevoLogWho "host=$R0 user=$R1"
  StrCpy $R9 "/LOG="
  Call ${un}KevoGetOption
  ${If} $R8 == ""
    ; Folders of ProgramData that users made are theirs: the log's folder
    ; is made, or taken over, with the administrators' access first.
    StrCpy $R8 "$APPDATA\KEVO"
    CreateDirectory $R8
    Push $R8
    Push "${KEVO_ADMIN_ONLY_SDDL}"
    Call ${un}KevoSetFolderSecurity
    Pop $R0
    ${If} $R0 = 0
      StrCpy $R8 "$R8\KEVOSetup.log"
    ${Else}
      StrCpy $R8 "$TEMP\KEVOSetup.log"
    ${EndIf}
  ${EndIf}
  StrCpy $KevoLogFile $R8
FunctionEnd

; Writes $KevoLogCode and $KevoLogText as one line; every register is kept,
; so that notes may be written from anywhere.
Function ${un}KevoLogWrite
  !insertmacro KEVO_SAVE_R0_R7
  ${If} $KevoLogCode != ""
    StrCpy $KevoLogText "exit=$KevoLogCode $KevoLogText"
    ; The run's outcome: its working folder is NSIS's to remove from here.
    Call ${un}KevoForgetWorkFolder
  ${EndIf}
  ${GetTime} "" "L" $R0 $R1 $R2 $R3 $R4 $R5 $R6
  ClearErrors
  FileOpen $R7 "$KevoLogFile" a
  ${IfNot} ${Errors}
    FileSeek $R7 0 END
    FileWrite $R7 "$R2/$R1/$R0 $R4:$R5:$R6 ${tag} ${KEVO_VERSION} $KevoLogWho $KevoLogText$\r$\n"
    FileClose $R7
  ${EndIf}
  !insertmacro KEVO_RESTORE_R0_R7
FunctionEnd
!macroend

!insertmacro KEVO_LOG_FUNCTIONS "" "KEVOSetup"
!insertmacro KEVO_LOG_FUNCTIONS "un." "KEVOUninstall"

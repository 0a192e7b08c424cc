; The setup log: one line per run of the installer or the uninstaller, so
; that an administrator's silent deployment can be checked afterwards:
;   2026/12/08 09:15:30 KEVOSetup 1.0.0.0 exit=0 installed in C:\Program Files\KEVO, jvm=...
; Lines without "exit=" are notes on the way (an upgrade kept in place, the
; folder's access set); the run's outcome is the line with "exit=".
; The file is $TEMP\KEVOSetup.log, or the one named by /LOG=<file>.
; The lines are ASCII apart from paths, so that scripts can match them.

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
!macro KEVO_QUIT code text
  !insertmacro KEVO_LOG ${code} "${text}"
  SetErrorLevel ${code}
  Quit
!macroend

!macro KEVO_LOG_FUNCTIONS un tag
; Sets $R8 to the value of the command-line option named by $R9 ("/LOG=",
; case ignored), "" when it is not given. Quotes group (and are dropped)
; wherever they stand: "/JVM=C:\Program Files\..." and /LOG="C:\a b.log"
; alike (uses $R0 to $R7).
Function ${un}KevoGetOption
  ${GetParameters} $R0
  StrCpy $R8 ""
  StrLen $R1 $R9
  StrLen $R2 $R0
  StrCpy $R3 0 ; position
  ${Do}
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
    StrCpy $R7 $R4 $R1
    ${If} $R7 == $R9
      StrCpy $R8 $R4 "" $R1
      ${ExitDo}
    ${EndIf}
    ${IfThen} $R3 >= $R2 ${|} ${ExitDo} ${|}
  ${Loop}
FunctionEnd

Function ${un}KevoLogOpen
  StrCpy $R9 "/LOG="
  Call ${un}KevoGetOption
  ${IfThen} $R8 == "" ${|} StrCpy $R8 "$TEMP\KEVOSetup.log" ${|}
  StrCpy $KevoLogFile $R8
FunctionEnd

; Writes $KevoLogCode and $KevoLogText as one line (uses $R0 to $R7).
Function ${un}KevoLogWrite
  ${IfThen} $KevoLogCode != "" ${|} StrCpy $KevoLogText "exit=$KevoLogCode $KevoLogText" ${|}
  ${GetTime} "" "L" $R0 $R1 $R2 $R3 $R4 $R5 $R6
  ClearErrors
  FileOpen $R7 "$KevoLogFile" a
  ${IfNot} ${Errors}
    FileSeek $R7 0 END
    FileWrite $R7 "$R2/$R1/$R0 $R4:$R5:$R6 ${tag} ${KEVO_VERSION} $KevoLogText$\r$\n"
    FileClose $R7
  ${EndIf}
FunctionEnd
!macroend

!insertmacro KEVO_LOG_FUNCTIONS "" "KEVOSetup"
!insertmacro KEVO_LOG_FUNCTIONS "un." "KEVOUninstall"

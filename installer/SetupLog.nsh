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
Function ${un}KevoLogOpen
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/LOG=" $R1
  ${If} ${Errors}
  ${OrIf} $R1 == ""
    StrCpy $R1 "$TEMP\KEVOSetup.log"
  ${EndIf}
  StrCpy $KevoLogFile $R1
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

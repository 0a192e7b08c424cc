; Programs of the tools that are running cannot be replaced or removed, a
; library of the tools that another program has loaded cannot either, nor a
; guide or the settings file that a program holds open. The installer and the
; uninstaller look for all of them, every file of the install, before they
; change anything. The version checker showing its notice is no work in
; progress: it is closed instead.
; Each file is opened with the access that replacing it takes (delete, and
; write): a program that lets others read and write a file but not delete
; it holds it as surely as one that shares nothing. A file held for a moment
; (a virus scanner looking at it) is waited for, about 10 s. The uninstaller
; is probed too, and the whole look is taken again right before the new
; files are written, as an interactive run shows its pages in between.
; Interactive runs ask the citizen to close them (retry/cancel); a silent
; run, and a cancelled one, end with exit 1618 and a setup-log line naming
; the file, with nothing changed.

Var KevoInUse ; the first file found in use, or ""
Var KevoInUseHow ; "running" for a program, "in use" for a file held open
Var KevoClosingChecker

; PROCESSENTRY32W: its size and where the process id lies.
!ifdef KEVO_STUB_AMD64
  !define KEVO_PROCESSENTRY_SIZE 568
!else
  !define KEVO_PROCESSENTRY_SIZE 556
!endif

; Windows refuses to open a running program's file, a loaded library's, or a
; file another program holds without sharing, for writing or deleting.
; (Wine allows it for programs; there the process list below finds them.)
!macro KEVO_IN_USE_PROBE name size
  Push "${name}"
  !ifdef __UNINSTALL__
    Call un.KevoProbeFile
  !else
    Call KevoProbeFile
  !endif
!macroend

!macro KEVO_IN_USE_FUNCTIONS un
; Sets $KevoInUse to the file (name on the stack) of the install folder when
; it stays held and nothing else was found before.
Function ${un}KevoProbeFile
  Exch $R0
  Push $R1
  Push $R2
  Push $R3
  ${If} $KevoInUse == ""
  ${AndIf} ${FileExists} "$INSTDIR\$R0"
    StrCpy $R2 0
    ${Do}
      ; DELETE | GENERIC_WRITE, sharing everything: only the holder's
      ; sharing decides.
      System::Call 'kernel32::CreateFileW(w "$INSTDIR\$R0", i 0x40010000, i 7, p 0, i 3, i 0, p 0) p .R1 ?e'
      Pop $R3
      ${If} $R1 <> -1
        System::Call 'kernel32::CloseHandle(p R1)'
        StrCpy $R3 0
        ${ExitDo}
      ${EndIf}
      !insertmacro KEVO_RETRY_IF_HELD $R3 $R2
    ${Loop}
    !insertmacro KEVO_NOTE_WAITED "$INSTDIR\$R0" $R2 $R3
    ${If} $R3 <> 0
      StrCpy $KevoInUse $R0
      StrCpy $KevoInUseHow "in use"
    ${EndIf}
  ${EndIf}
  Pop $R3
  Pop $R2
  Pop $R1
  Pop $R0
FunctionEnd

; Sets $KevoInUse to the file name of a process (other than this one) whose
; program file lies in $INSTDIR (uses $0 to $9). With $KevoClosingChecker 1
; it closes the version checker's processes instead and goes on.
Function ${un}KevoFindRunningProgram
  System::Call 'kernel32::GetCurrentProcessId() i .r9'
  System::Call 'kernel32::CreateToolhelp32Snapshot(i 2, i 0) p .r1'
  ${If} $1 = -1
    Return
  ${EndIf}
  System::Alloc 1024
  Pop $2
  System::Call '*$2(i ${KEVO_PROCESSENTRY_SIZE})'
  System::Call 'kernel32::Process32FirstW(p r1, p r2) i .r0'
  ${DoWhile} $0 <> 0
    System::Call '*$2(i, i, i .r3)'
    System::Call 'kernel32::OpenProcess(i 0x1000, i 0, i r3) p .r4'
    ${If} $4 <> 0
    ${AndIf} $3 <> $9
      StrCpy $6 ${NSIS_MAX_STRLEN}
      System::Call 'kernel32::QueryFullProcessImageNameW(p r4, i 0, w .r5, *i r6) i .r7'
      ${If} $7 <> 0
        StrLen $8 "$INSTDIR\"
        StrCpy $7 $5 $8
        ; == ignores case, as the file system does.
        ${If} $7 == "$INSTDIR\"
          StrCpy $5 $5 "" $8
          ${If} $KevoClosingChecker = 0
            StrCpy $KevoInUse $5
            StrCpy $KevoInUseHow "running"
          ${ElseIf} $5 == "KEVOSoftverchk.exe"
            Call ${un}KevoCloseChecker
          ${EndIf}
        ${EndIf}
      ${EndIf}
    ${EndIf}
    ${If} $4 <> 0
      System::Call 'kernel32::CloseHandle(p r4)'
    ${EndIf}
    ${IfThen} $KevoInUse != "" ${|} ${ExitDo} ${|}
    System::Call 'kernel32::Process32NextW(p r1, p r2) i .r0'
  ${Loop}
  System::Free $2
  System::Call 'kernel32::CloseHandle(p r1)'
FunctionEnd

; Asks the version checker's process ($3, handle $4) to close its notice,
; then ends it: it keeps no state, its outcome is only a trace (uses $R0, $R1).
; Checkers of this release end on their event, in whichever user's session
; they run (given 2 s); the window message reaches older ones on this
; desktop, and what is still running 5 s later is ended.
Function ${un}KevoCloseChecker
  System::Call 'kernel32::OpenEventW(i 0x0002, i 0, w "${KEVO_VERCHK_END_EVENT}") p .R0'
  ${If} $R0 <> 0
    System::Call 'kernel32::SetEvent(p R0)'
    System::Call 'kernel32::CloseHandle(p R0)'
    System::Call 'kernel32::OpenProcess(i 0x100000, i 0, i r3) p .R0'
    ${If} $R0 <> 0
      System::Call 'kernel32::WaitForSingleObject(p R0, i 2000) i .R1'
      System::Call 'kernel32::CloseHandle(p R0)'
      ${If} $R1 = 0
        !insertmacro KEVO_NOTE "closed the version checker (process $3)"
        Return
      ${EndIf}
    ${EndIf}
  ${EndIf}
  StrCpy $R0 0
  ${Do}
    System::Call 'user32::FindWindowExW(p 0, p R0, w "#32770", p 0) p .R0'
    ${IfThen} $R0 = 0 ${|} ${ExitDo} ${|}
    System::Call 'user32::GetWindowThreadProcessId(p R0, *i .R1)'
    ${If} $R1 = $3
      System::Call 'user32::PostMessageW(p R0, i 0x10, p 0, p 0)'
    ${EndIf}
  ${Loop}
  System::Call 'kernel32::OpenProcess(i 0x100001, i 0, i r3) p .R0'
  ${If} $R0 <> 0
    System::Call 'kernel32::WaitForSingleObject(p R0, i 5000) i .R1'
    ${If} $R1 <> 0
      System::Call 'kernel32::TerminateProcess(p R0, i 0)'
    ${EndIf}
    System::Call 'kernel32::WaitForSingleObject(p R0, i 5000)'
    System::Call 'kernel32::CloseHandle(p R0)'
    !insertmacro KEVO_NOTE "closed the version checker (process $3)"
  ${EndIf}
FunctionEnd

Function ${un}KevoRefuseInUse
  StrCpy $KevoClosingChecker 1
  Call ${un}KevoFindRunningProgram
  StrCpy $KevoClosingChecker 0
  ${Do}
    StrCpy $KevoInUse ""
    Call ${un}KevoFindRunningProgram
    !insertmacro KEVO_FOR_EACH_IMAGE_FILE KEVO_IN_USE_PROBE
    !insertmacro KEVO_IN_USE_PROBE "${KEVO_SETTINGS}" 0
    !insertmacro KEVO_IN_USE_PROBE "${KEVO_SETTINGS}.default" 0
    ; The uninstaller in place runs from its own file.
    !if "${un}" == ""
      !insertmacro KEVO_IN_USE_PROBE "uninstall.exe" 0
    !endif
    ${IfThen} $KevoInUse == "" ${|} Return ${|}
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "${KEVO_PRODUCT}のファイル（$KevoInUse）が使用中です。$\n$\nこのファイルを使っているプログラムを終了してから「再試行」を押してください。「キャンセル」を押すと、何も変更せずに終了します。" /SD IDCANCEL IDRETRY retry
    !insertmacro KEVO_QUIT ${KEVO_EXIT_IN_USE} "$KevoInUseHow: $KevoInUse"
    retry:
  ${Loop}
FunctionEnd
!macroend

!insertmacro KEVO_IN_USE_FUNCTIONS ""
!insertmacro KEVO_IN_USE_FUNCTIONS "un."

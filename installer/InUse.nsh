; Programs of the tools that are running cannot be replaced or removed, and
; a library of the tools that another program has loaded cannot either. The
; installer and the uninstaller look for both before they change anything.
; Interactive runs ask the citizen to close them (retry/cancel); a silent
; run, and a cancelled one, end with exit 6 and a setup-log line naming the
; file, with nothing changed.

Var KevoInUse ; the first program or library found in use, or ""

; PROCESSENTRY32W: its size and where the process id lies.
!ifdef KEVO_STUB_AMD64
  !define KEVO_PROCESSENTRY_SIZE 568
!else
  !define KEVO_PROCESSENTRY_SIZE 556
!endif

; Windows refuses to open a running program's file, or a loaded library's,
; for writing. (Wine allows it; there the process list below finds them.)
!macro KEVO_IN_USE_PROBE name
  ${If} $KevoInUse == ""
  ${AndIf} ${FileExists} "$INSTDIR\${name}"
    ClearErrors
    FileOpen $0 "$INSTDIR\${name}" a
    ${If} ${Errors}
      StrCpy $KevoInUse "${name}"
    ${Else}
      FileClose $0
    ${EndIf}
  ${EndIf}
!macroend

!macro KEVO_IN_USE_FUNCTIONS un
; Sets $KevoInUse to the file name of a process (other than this one) whose
; program file lies in $INSTDIR (uses $0 to $9).
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
          StrCpy $KevoInUse $5 "" $8
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

Function ${un}KevoRefuseInUse
  ${Do}
    StrCpy $KevoInUse ""
    Call ${un}KevoFindRunningProgram
    !insertmacro KEVO_FOR_EACH_PROGRAM_FILE KEVO_IN_USE_PROBE
    ${IfThen} $KevoInUse == "" ${|} Return ${|}
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "${KEVO_PRODUCT}のプログラム（$KevoInUse）が実行中です。$\n$\nプログラムを終了してから「再試行」を押してください。「キャンセル」を押すと、何も変更せずに終了します。" /SD IDCANCEL IDRETRY retry
    !insertmacro KEVO_QUIT ${KEVO_EXIT_IN_USE} "running: $KevoInUse"
    retry:
  ${Loop}
FunctionEnd
!macroend

!insertmacro KEVO_IN_USE_FUNCTIONS ""
!insertmacro KEVO_IN_USE_FUNCTIONS "un."

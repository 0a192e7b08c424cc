; Replacing the files of an installation so that a run stopped at any moment
; (power cut, killed process, full disk) leaves every file whole, old or new,
; and the next run of the installer or the uninstaller can finish the job:
;  1. each new file is written beside the old one as <name>.kevonew and its
;     size checked against the image;
;  2. the journal KEVOSetup.journal is written, whole or not at all (written
;     under another name, then renamed): from here on the staged set is
;     complete and any later run may finish the switch;
;  3. each <name>.kevonew replaces <name> by one rename;
;  4. the registry follows, Version and DisplayVersion last;
;  5. the journal is deleted.
; Old and new files are mixed only between 3 and 5, while the journal exists.
; A run that finds the journal finishes 3 and 4 first; one that finds staged
; files without a journal deletes them (step 1 was not finished).

; Test-only (-DKEVO_KILL_HOOK, never in a release): every step of the work
; is counted, and at the step named by the environment variable
; KEVO_KILL_AT_STEP the run writes the step's number to the file named by
; KEVO_KILL_MARKER and waits there to be killed, so that a test can stop it
; at a chosen point. A finished run writes "total N" there.
!ifdef KEVO_KILL_HOOK
  Var KevoStep
  Var KevoKillAt
  !macro KEVO_STEP_INIT
    ReadEnvStr $KevoKillAt KEVO_KILL_AT_STEP
    ClearErrors
  !macroend
  !macro KEVO_STEP
    IntOp $KevoStep $KevoStep + 1
    ${If} $KevoStep = $KevoKillAt
      Push $0
      ReadEnvStr $0 KEVO_KILL_MARKER
      FileOpen $0 $0 w
      FileWrite $0 "$KevoStep"
      FileClose $0
      Sleep 1000
      Goto -1
    ${EndIf}
  !macroend
  !macro KEVO_STEP_TOTAL
    ReadEnvStr $KevoKillAt KEVO_KILL_MARKER
    FileOpen $KevoKillAt $KevoKillAt w
    FileWrite $KevoKillAt "total $KevoStep"
    FileClose $KevoKillAt
  !macroend
!else
  !macro KEVO_STEP_INIT
  !macroend
  !macro KEVO_STEP
  !macroend
  !macro KEVO_STEP_TOTAL
  !macroend
!endif

!define KEVO_STAGED ".kevonew"
!define KEVO_JOURNAL "KEVOSetup.journal"
; MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH
!define KEVO_MOVE_REPLACE 9

Var KevoSwitchFailed ; the first file that could not be switched, or ""

; Writes the image's file beside the installed one and checks its size.
!macro KEVO_STAGE_FILE name size
  File "/oname=${name}${KEVO_STAGED}" "${KEVO_IMAGE_DIR}/${name}"
  Push "${name}"
  Push ${size}
  Call KevoCheckStaged
  !insertmacro KEVO_STEP
!macroend

; Fails the installation when a staged file (stack: name, then size on top)
; does not have the size of the image's file.
Function KevoCheckStaged
  Exch $R1
  Exch
  Exch $R0
  Push $R2
  Push $R3
  StrCpy $R3 -1
  ClearErrors
  FileOpen $R2 "$INSTDIR\$R0${KEVO_STAGED}" r
  ${IfNot} ${Errors}
    FileSeek $R2 0 END $R3
    FileClose $R2
  ${EndIf}
  ${If} $R3 <> $R1
    !insertmacro KEVO_NOTE "$R0 written with $R3 bytes instead of $R1"
    Abort
  ${EndIf}
  ; On disk before the journal says the set is complete (a power cut, not
  ; only a killed process, must find it whole).
  System::Call 'kernel32::CreateFileW(w "$INSTDIR\$R0${KEVO_STAGED}", i 0x40000000, i 1, p 0, i 3, i 0, p 0) p .R2'
  ${If} $R2 <> -1
    System::Call 'kernel32::FlushFileBuffers(p R2)'
    System::Call 'kernel32::CloseHandle(p R2)'
  ${EndIf}
  Pop $R3
  Pop $R2
  Pop $R1
  Pop $R0
FunctionEnd

; Writes the uninstaller as a staged file (uses $0).
Function KevoStageUninstaller
  WriteUninstaller "$INSTDIR\uninstall.exe${KEVO_STAGED}"
  ClearErrors
  FileOpen $0 "$INSTDIR\uninstall.exe${KEVO_STAGED}" r
  ${If} ${Errors}
    !insertmacro KEVO_NOTE "uninstall.exe could not be written"
    Abort
  ${EndIf}
  FileClose $0
FunctionEnd

; Records that the staged set is complete, for version $KevoJournalVersion.
Function KevoWriteJournal
  Delete "$INSTDIR\${KEVO_JOURNAL}.part"
  ClearErrors
  FileOpen $0 "$INSTDIR\${KEVO_JOURNAL}.part" w
  FileWrite $0 "[switch]$\r$\nversion=${KEVO_VERSION}$\r$\nmajor=${KEVO_VERSION_MAJOR}$\r$\nminor=${KEVO_VERSION_MINOR}$\r$\nrevision=${KEVO_VERSION_REVISION}$\r$\n"
  FileClose $0
  ; Flushing through a fresh handle puts the text on disk before the rename.
  System::Call 'kernel32::CreateFileW(w "$INSTDIR\${KEVO_JOURNAL}.part", i 0x40000000, i 0, p 0, i 3, i 0, p 0) p .r1'
  ${If} $1 <> -1
    System::Call 'kernel32::FlushFileBuffers(p r1)'
    System::Call 'kernel32::CloseHandle(p r1)'
  ${EndIf}
  System::Call 'kernel32::MoveFileExW(w "$INSTDIR\${KEVO_JOURNAL}.part", w "$INSTDIR\${KEVO_JOURNAL}", i ${KEVO_MOVE_REPLACE}) i .r1'
  ${If} ${Errors}
  ${OrIf} $1 = 0
    !insertmacro KEVO_NOTE "the journal could not be written"
    Abort
  ${EndIf}
FunctionEnd

; Renames every staged file over its name; $KevoSwitchFailed names the first
; one that stays (uses $0 to $3).
Function KevoSwitchStaged
  StrCpy $KevoSwitchFailed ""
  StrLen $3 "${KEVO_STAGED}"
  ${Do}
    ; Looked up afresh each time: the folder changes under the search.
    FindFirst $0 $1 "$INSTDIR\*${KEVO_STAGED}"
    FindClose $0
    ${IfThen} $1 == "" ${|} ${ExitDo} ${|}
    StrCpy $2 $1 -$3
    System::Call 'kernel32::MoveFileExW(w "$INSTDIR\$1", w "$INSTDIR\$2", i ${KEVO_MOVE_REPLACE}) i .r0'
    ${If} $0 = 0
      StrCpy $KevoSwitchFailed $2
      ${ExitDo}
    ${EndIf}
    !insertmacro KEVO_STEP
  ${Loop}
FunctionEnd

!macro KEVO_DISCARD_FUNCTION un
; Removes the working folders ($PLUGINSDIR, ns*.tmp in $TEMP) that killed runs
; of the installer or uninstaller left: they hold this marker, and no other
; run of ours is going (the mutex). Other programs' folders are left alone.
Function ${un}KevoRemoveStaleWorkFolders
  InitPluginsDir
  FindFirst $0 $1 "$TEMP\ns*.tmp"
  ${Do}
    ${IfThen} $1 == "" ${|} ${ExitDo} ${|}
    ${If} "$TEMP\$1" != $PLUGINSDIR
    ${AndIf} ${FileExists} "$TEMP\$1\KEVOSetup.run"
      RMDir /r "$TEMP\$1"
      !insertmacro KEVO_NOTE "removed $TEMP\$1, left by an interrupted run"
    ${EndIf}
    FindNext $0 $1
  ${Loop}
  FindClose $0
  FileOpen $0 "$PLUGINSDIR\KEVOSetup.run" w
  FileClose $0
FunctionEnd

; Deletes staged files of a run that did not get to its journal (uses $0, $1).
Function ${un}KevoDiscardStaged
  Delete "$INSTDIR\${KEVO_JOURNAL}.part"
  ${Do}
    FindFirst $0 $1 "$INSTDIR\*${KEVO_STAGED}"
    FindClose $0
    ${IfThen} $1 == "" ${|} ${ExitDo} ${|}
    ClearErrors
    Delete "$INSTDIR\$1"
    ${IfThen} ${Errors} ${|} ${ExitDo} ${|}
    !insertmacro KEVO_NOTE "removed $1, staged by a run that did not finish"
  ${Loop}
FunctionEnd
!macroend
!insertmacro KEVO_DISCARD_FUNCTION ""
!insertmacro KEVO_DISCARD_FUNCTION "un."

; The version of the files on disk, for the version checker and for Programs
; and Features, written together (stack: version text, major, minor,
; revision on top).
Function KevoWriteVersion
  Exch $R3
  Exch
  Exch $R2
  Exch 2
  Exch $R1
  Exch 3
  Exch $R0
  WriteRegDWORD HKLM "${KEVO_KEY}\Version" "Major" $R1
  WriteRegDWORD HKLM "${KEVO_KEY}\Version" "Minor" $R2
  WriteRegDWORD HKLM "${KEVO_KEY}\Version" "Revision" $R3
  WriteRegStr HKLM "${KEVO_UNINSTALL_KEY}" "DisplayVersion" "$R0"
  WriteRegDWORD HKLM "${KEVO_UNINSTALL_KEY}" "VersionMajor" $R1
  WriteRegDWORD HKLM "${KEVO_UNINSTALL_KEY}" "VersionMinor" $R2
  Pop $R0
  Pop $R3
  Pop $R2
  Pop $R1
FunctionEnd

; Finishes what an interrupted run of an installer left in $INSTDIR: the
; switch its journal records, or the staging it did not finish.
Function KevoFinishInterruptedRun
  ${IfNot} ${FileExists} "$INSTDIR\${KEVO_JOURNAL}"
    Call KevoDiscardStaged
    Return
  ${EndIf}
  ReadINIStr $R0 "$INSTDIR\${KEVO_JOURNAL}" "switch" "version"
  ReadINIStr $R1 "$INSTDIR\${KEVO_JOURNAL}" "switch" "major"
  ReadINIStr $R2 "$INSTDIR\${KEVO_JOURNAL}" "switch" "minor"
  ReadINIStr $R3 "$INSTDIR\${KEVO_JOURNAL}" "switch" "revision"
  Call KevoSwitchStaged
  ${If} $KevoSwitchFailed != ""
    !insertmacro KEVO_QUIT ${KEVO_EXIT_FAILED} "the switch to $R0 left by an interrupted run could not be finished: $KevoSwitchFailed"
  ${EndIf}
  Push $R0
  Push $R1
  Push $R2
  Push $R3
  Call KevoWriteVersion
  Delete "$INSTDIR\${KEVO_JOURNAL}"
  !insertmacro KEVO_NOTE "finished the switch to $R0 left by an interrupted run"
FunctionEnd

; Replacing the files of an installation so that a run stopped at any moment
; (power cut, killed process, full disk) leaves every file whole, old or new,
; and the next run of the installer or the uninstaller can finish the job:
;  1. each new file is written beside the old one as <name>.kevonew, checked
;     (its size against the image, or the writes that made it) and flushed;
;  2. the journal KEVOSetup.journal is written, whole or not at all (written
;     under another name, then renamed): from here on the staged set is
;     complete and any later run may finish the switch;
;  3. each <name>.kevonew replaces <name> by one rename;
;  4. the registry follows, Version and DisplayVersion last, and is flushed;
;  5. the journal is deleted.
; Old and new files are mixed only between 3 and 5, while the journal exists.
; A run that finds the journal finishes 3 and 4 first; one that finds staged
; files without a journal deletes them (step 1 was not finished). Only a run
; for a folder that the registry names as the tools' honours a journal: in
; any other folder it and staged files could have been planted.
; A file that another program holds for a moment (a virus scanner looks at
; each new file) is waited for, about 10 s per file, before a run gives up.

; Test-only (-DKEVO_KILL_HOOK, never in a release): every step of the work
; is counted, and at the step named by the environment variable
; KEVO_KILL_AT_STEP the run writes the step's number to the file named by
; KEVO_KILL_MARKER and waits there, to be killed or, once the test has
; deleted that file, to go on: a test can stop it, or change the world
; under it, at a chosen point. A finished run writes "total N" there.
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
      ReadEnvStr $0 KEVO_KILL_MARKER
      ${DoWhile} ${FileExists} $0
        Sleep 50
      ${Loop}
      Pop $0
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
; Tries of an operation on a file another program holds, 500 ms apart.
!define KEVO_HELD_TRIES 20
!define KEVO_WORK_KEY "Software\KEVO\WorkFolders"

; Inside a loop that tries an operation: leaves it unless the error is one
; that a program holding the file for a moment gives (sharing violation,
; access denied) and tries are left; else waits for the next try.
!macro KEVO_RETRY_IF_HELD error tries
  ${If} ${error} <> 32
  ${AndIf} ${error} <> 5
    ${ExitDo}
  ${EndIf}
  ${IfThen} ${tries} >= ${KEVO_HELD_TRIES} ${|} ${ExitDo} ${|}
  IntOp ${tries} ${tries} + 1
  Sleep 500
!macroend
!macro KEVO_NOTE_WAITED path tries error
  ${If} ${tries} > 0
    !insertmacro KEVO_NOTE "waited for ${path}, held by another program (${tries} tries, result ${error})"
  ${EndIf}
!macroend

Var KevoSwitchFailed ; the first file that could not be switched, or ""
Var KevoWorkFolder ; this run's working folder as recorded, or ""

; Writes the image's file beside the installed one and checks its size.
!macro KEVO_STAGE_FILE name size
  File "/oname=${name}${KEVO_STAGED}" "${KEVO_IMAGE_DIR}/${name}"
  Push "${name}"
  Push ${size}
  Call KevoCheckStaged
  !insertmacro KEVO_STEP
!macroend

; Fails the installation when a staged file (stack: name, then size on top;
; -1: any size) is not there with that size, and puts it on disk before the
; journal says the set is complete (a power cut, not only a killed
; process, must find it whole).
Function KevoCheckStaged
  Exch $R1
  Exch
  Exch $R0
  Push $R2
  Push $R3
  Push $0
  StrCpy $R3 -1
  ClearErrors
  FileOpen $R2 "$INSTDIR\$R0${KEVO_STAGED}" r
  ${IfNot} ${Errors}
    FileSeek $R2 0 END $R3
    FileClose $R2
  ${EndIf}
  StrCpy $0 0
  ${If} $R3 = -1
    StrCpy $0 1
  ${ElseIf} $R1 <> -1
  ${AndIf} $R3 <> $R1
    StrCpy $0 1
  ${EndIf}
  ${If} $0 = 1
    !insertmacro KEVO_FAIL "$R0 written with $R3 bytes instead of $R1"
  ${EndIf}
  Push "$INSTDIR\$R0${KEVO_STAGED}"
  Call KevoFlushFile
  Pop $0
  ${If} $0 <> 0
    !insertmacro KEVO_FAIL "$R0 could not be put on disk (error $0)"
  ${EndIf}
  Pop $0
  Pop $R3
  Pop $R2
  Pop $R0
  Pop $R1
FunctionEnd

; Flushes a file (path on the stack) to disk through a handle of its own,
; waiting for a program that holds it for a moment; pushes 0 or the error.
Function KevoFlushFile
  Exch $R0
  Push $R1
  Push $R2
  Push $R3
  Push $R4
  StrCpy $R2 0
  ${Do}
    System::Call 'kernel32::CreateFileW(w R0, i 0x40000000, i 1, p 0, i 3, i 0, p 0) p .R1 ?e'
    Pop $R3
    ${If} $R1 <> -1
      System::Call 'kernel32::FlushFileBuffers(p R1) i .R3 ?e'
      Pop $R4
      System::Call 'kernel32::CloseHandle(p R1)'
      ${If} $R3 <> 0
        StrCpy $R3 0
        ${ExitDo}
      ${EndIf}
      StrCpy $R3 $R4
    ${EndIf}
    !insertmacro KEVO_RETRY_IF_HELD $R3 $R2
  ${Loop}
  !insertmacro KEVO_NOTE_WAITED $R0 $R2 $R3
  StrCpy $R0 $R3
  Pop $R4
  Pop $R3
  Pop $R2
  Pop $R1
  Exch $R0
FunctionEnd

; Renames a file over another (stack: from, then to on top), waiting for a
; program that holds either for a moment; pushes 0, or the error.
Function KevoMoveOver
  Exch $R1
  Exch
  Exch $R0
  Push $R2
  Push $R3
  StrCpy $R2 0
  ${Do}
    System::Call 'kernel32::MoveFileExW(w R0, w R1, i ${KEVO_MOVE_REPLACE}) i .R3 ?e'
    ${If} $R3 <> 0
      Pop $R3
      StrCpy $R3 0
      ${ExitDo}
    ${EndIf}
    Pop $R3
    !insertmacro KEVO_RETRY_IF_HELD $R3 $R2
  ${Loop}
  !insertmacro KEVO_NOTE_WAITED "$R0 -> $R1" $R2 $R3
  StrCpy $R0 $R3
  Pop $R3
  Pop $R2
  Exch $R0
  Exch
  Pop $R1
FunctionEnd

; Writes the uninstaller as a staged file, checked and on disk.
Function KevoStageUninstaller
  ClearErrors
  WriteUninstaller "$INSTDIR\uninstall.exe${KEVO_STAGED}"
  ${If} ${Errors}
    !insertmacro KEVO_FAIL "uninstall.exe could not be written"
  ${EndIf}
  Push "uninstall.exe"
  Push -1
  Call KevoCheckStaged
FunctionEnd

; Records that the staged set is complete, for version ${KEVO_VERSION} (uses
; $0, $1).
Function KevoWriteJournal
  Delete "$INSTDIR\${KEVO_JOURNAL}.part"
  ClearErrors
  FileOpen $0 "$INSTDIR\${KEVO_JOURNAL}.part" w
  FileWrite $0 "[switch]$\r$\nversion=${KEVO_VERSION}$\r$\nmajor=${KEVO_VERSION_MAJOR}$\r$\nminor=${KEVO_VERSION_MINOR}$\r$\nrevision=${KEVO_VERSION_REVISION}$\r$\n"
  FileClose $0
  ${If} ${Errors}
    !insertmacro KEVO_FAIL "the journal could not be written"
  ${EndIf}
  ; On disk before the rename that makes it count.
  Push "$INSTDIR\${KEVO_JOURNAL}.part"
  Call KevoFlushFile
  Pop $1
  ${If} $1 = 0
    Push "$INSTDIR\${KEVO_JOURNAL}.part"
    Push "$INSTDIR\${KEVO_JOURNAL}"
    Call KevoMoveOver
    Pop $1
  ${EndIf}
  ${If} $1 <> 0
    !insertmacro KEVO_FAIL "the journal could not be written (error $1)"
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
    Push "$INSTDIR\$1"
    Push "$INSTDIR\$2"
    Call KevoMoveOver
    Pop $0
    ${If} $0 <> 0
      StrCpy $KevoSwitchFailed $2
      ${ExitDo}
    ${EndIf}
    !insertmacro KEVO_STEP
  ${Loop}
FunctionEnd

; Puts the registry keys the tools and Programs and Features read on disk
; (the registry is written lazily), before the journal that covers them goes.
Function KevoFlushRegistry
  Push $0
  Push $1
  Push $2
  ${ForEach} $2 0 2 + 1
    ${If} $2 = 0
      StrCpy $0 "${KEVO_KEY}"
    ${ElseIf} $2 = 1
      StrCpy $0 "${KEVO_UNINSTALL_KEY}"
    ${Else}
      StrCpy $0 "${KEVO_RUN_KEY}"
    ${EndIf}
    ; HKEY_LOCAL_MACHINE; KEY_READ and the tools' view
    System::Call 'advapi32::RegOpenKeyExW(p 0x80000002, w r0, i 0, i ${KEVO_REG_VIEW_ACCESS}, *p .r1) i .r0'
    ${If} $0 = 0
      System::Call 'advapi32::RegFlushKey(p r1)'
      System::Call 'advapi32::RegCloseKey(p r1)'
    ${EndIf}
  ${Next}
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

!macro KEVO_DISCARD_FUNCTION un
; The working folder of each run ($PLUGINSDIR, where NSIS puts its plug-ins)
; is recorded by its full path under HKLM (KEVO_WORK_KEY), where only
; administrators write, and the record goes once the run's outcome is
; logged (NSIS then removes the folder). A killed run leaves the folder and
; its record: the next run removes that folder, and only such folders; a
; folder merely named like one (anyone may create folders in C:\Windows\Temp,
; the temporary folder of SYSTEM) is never touched. Only the folder's own
; plain files go: nothing that is or leads through a link (junction,
; symbolic link) is followed, and a folder holding anything else stays.

; Pushes the full path (\\?\C:\...) that a file or folder (path on the
; stack) really is, after every link; "" when it cannot be opened.
Function ${un}KevoFinalPath
  Exch $R0
  Push $R1
  Push $R2
  ; FILE_FLAG_BACKUP_SEMANTICS opens folders too.
  System::Call 'kernel32::CreateFileW(w R0, i 0, i 7, p 0, i 3, i 0x02000000, p 0) p .R1'
  StrCpy $R0 ""
  ${If} $R1 <> -1
    System::Call 'kernel32::GetFinalPathNameByHandleW(p R1, w .R0, i ${NSIS_MAX_STRLEN}, i 0) i .R2'
    ${If} $R2 = 0
    ${OrIf} $R2 >= ${NSIS_MAX_STRLEN}
      StrCpy $R0 ""
    ${EndIf}
    System::Call 'kernel32::CloseHandle(p R1)'
  ${EndIf}
  Pop $R2
  Pop $R1
  Exch $R0
FunctionEnd

; Removes a killed run's working folder (its recorded path on the stack).
Function ${un}KevoRemoveWorkFolder
  Exch $R0
  Push $R1
  Push $R2
  Push $R3
  Push $R4
  Push $R5
  System::Call 'kernel32::GetFileAttributesW(w R0) i .R1'
  IntOp $R2 $R1 & 0x410
  Push $R0
  Call ${un}KevoFinalPath
  Pop $R3
  ${If} $R1 = -1
    ; gone already
  ${ElseIf} $R2 <> 0x10
  ${OrIf} $R3 != $R0
    !insertmacro KEVO_NOTE "left $R0 alone: it is no longer the folder a run of ours made (it leads to '$R3')"
  ${Else}
    StrCpy $R4 "" ; what stays
    FindFirst $R1 $R2 "$R0\*"
    ${Do}
      ${IfThen} $R2 == "" ${|} ${ExitDo} ${|}
      ${If} $R2 != "."
      ${AndIf} $R2 != ".."
        System::Call 'kernel32::GetFileAttributesW(w "$R0\$R2") i .R3'
        IntOp $R3 $R3 & 0x410
        Push "$R0\$R2"
        Call ${un}KevoFinalPath
        Pop $R5
        ${If} $R3 = 0
        ${AndIf} $R5 == "$R0\$R2"
          ; FILE_ATTRIBUTE_NORMAL: a read-only plug-in goes too.
          System::Call 'kernel32::SetFileAttributesW(w "$R0\$R2", i 0x80)'
          System::Call 'kernel32::DeleteFileW(w "$R0\$R2")'
        ${Else}
          StrCpy $R4 $R2
        ${EndIf}
      ${EndIf}
      FindNext $R1 $R2
    ${Loop}
    FindClose $R1
    System::Call 'kernel32::RemoveDirectoryW(w R0)'
    ${If} $R4 == ""
      !insertmacro KEVO_NOTE "removed $R0, left by an interrupted run"
    ${Else}
      !insertmacro KEVO_NOTE "left $R0: it holds $R4, which no run of ours put there"
    ${EndIf}
  ${EndIf}
  Pop $R5
  Pop $R4
  Pop $R3
  Pop $R2
  Pop $R1
  Pop $R0
FunctionEnd

; Records this run's working folder, first thing: NSIS puts plug-ins there as
; soon as they are called (uses $0).
Function ${un}KevoRecordWorkFolder
  InitPluginsDir
  Push $PLUGINSDIR
  Call ${un}KevoFinalPath
  Pop $KevoWorkFolder
  ${If} $KevoWorkFolder != ""
    WriteRegStr HKLM "${KEVO_WORK_KEY}" $KevoWorkFolder "${KEVO_VERSION}"
  ${EndIf}
  Push $PLUGINSDIR
  Push "${KEVO_ADMIN_ONLY_SDDL}"
  Call ${un}KevoSetFolderSecurity
  Pop $0
FunctionEnd

; Removes the folders of killed runs (uses $0, $1). No other run of ours is
; going (the mutex).
Function ${un}KevoRemoveStaleWorkFolders
  StrCpy $1 0
  ${Do}
    ClearErrors
    EnumRegValue $0 HKLM "${KEVO_WORK_KEY}" $1
    ${If} ${Errors}
    ${OrIf} $0 == ""
      ${ExitDo}
    ${EndIf}
    ${If} $0 == $KevoWorkFolder
      IntOp $1 $1 + 1
      ${Continue}
    ${EndIf}
    ; Forgotten first: a folder is looked at once.
    DeleteRegValue HKLM "${KEVO_WORK_KEY}" $0
    ${IfThen} ${Errors} ${|} ${ExitDo} ${|}
    Push $0
    Call ${un}KevoRemoveWorkFolder
  ${Loop}
FunctionEnd

; Drops this run's record (its outcome is logged; NSIS removes the folder
; as it ends), and the keys that held only such records.
Function ${un}KevoForgetWorkFolder
  ${IfThen} $KevoWorkFolder == "" ${|} Return ${|}
  DeleteRegValue HKLM "${KEVO_WORK_KEY}" $KevoWorkFolder
  DeleteRegKey /ifempty HKLM "${KEVO_WORK_KEY}"
  DeleteRegKey /ifempty HKLM "${KEVO_KEY}"
  StrCpy $KevoWorkFolder ""
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
; revision on top). Major goes last into a key emptied first, so that a run
; stopped in between leaves no version rather than another one (the tools
; and the installer read a Version key without Major as none).
Function KevoWriteVersion
  Exch $R3
  Exch
  Exch $R2
  Exch 2
  Exch $R1
  Exch 3
  Exch $R0
  DeleteRegKey HKLM "${KEVO_KEY}\Version"
  WriteRegDWORD HKLM "${KEVO_KEY}\Version" "Revision" $R3
  WriteRegDWORD HKLM "${KEVO_KEY}\Version" "Minor" $R2
  WriteRegDWORD HKLM "${KEVO_KEY}\Version" "Major" $R1
  WriteRegStr HKLM "${KEVO_UNINSTALL_KEY}" "DisplayVersion" "$R0"
  WriteRegDWORD HKLM "${KEVO_UNINSTALL_KEY}" "VersionMajor" $R1
  WriteRegDWORD HKLM "${KEVO_UNINSTALL_KEY}" "VersionMinor" $R2
  Pop $R0
  Pop $R3
  Pop $R2
  Pop $R1
FunctionEnd

; Finishes what an interrupted run of an installer left in $INSTDIR: the
; switch its journal records (its version was judged in .onInit), or the
; staging it did not finish. In a folder that is not the tools' a journal
; is not ours to follow.
Function KevoFinishInterruptedRun
  ${IfNot} ${FileExists} "$INSTDIR\${KEVO_JOURNAL}"
  ${OrIf} $KevoEarlierInstall = 0
    Delete "$INSTDIR\${KEVO_JOURNAL}"
    Call KevoDiscardStaged
    Return
  ${EndIf}
  ReadINIStr $R0 "$INSTDIR\${KEVO_JOURNAL}" "switch" "version"
  ReadINIStr $R1 "$INSTDIR\${KEVO_JOURNAL}" "switch" "major"
  ReadINIStr $R2 "$INSTDIR\${KEVO_JOURNAL}" "switch" "minor"
  ReadINIStr $R3 "$INSTDIR\${KEVO_JOURNAL}" "switch" "revision"
  Call KevoSwitchStaged
  ${If} $KevoSwitchFailed != ""
    !insertmacro KEVO_STOP ${KEVO_EXIT_IN_USE} "the switch to $R0 left by an interrupted run could not be finished: $KevoSwitchFailed"
  ${EndIf}
  Push $R0
  Push $R1
  Push $R2
  Push $R3
  Call KevoWriteVersion
  Call KevoFlushRegistry
  Delete "$INSTDIR\${KEVO_JOURNAL}"
  !insertmacro KEVO_NOTE "finished the switch to $R0 left by an interrupted run"
FunctionEnd

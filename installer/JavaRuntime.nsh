; Finding the 32-bit Java VM library that the service library (imported
; jvm.dll) needs: the tools are not installed without one.
;
; Where: /JVM=<path of jvm.dll> on the command line (a runtime that no Java
; installer registered), else the runtimes that Java installers register
; under HKLM\SOFTWARE\JavaSoft in the 32-bit registry view (the view a 32-bit
; runtime uses on 64-bit Windows): "Java Runtime Environment" and "JRE",
; then "Java Development Kit" and "JDK"; in each the CurrentVersion first,
; then every other registered version; per version its RuntimeLib, else the
; client or server VM under JavaHome. Only a 32-bit (i386) jvm.dll counts.
;
; The wizard runs the same search itself at every start and loads the VM by
; full path, so a Java update that moves the runtime needs no reinstall. A
; runtime named with /JVM= is recorded as HKLM Software\KEVO JvmPath, which
; the wizard looks at first. The App Paths entry only lets the Run box start
; the wizard by name.

; Pushes 1 when the file is named jvm.dll (the name the service library
; imports) and is a PE image for the tools' machine (KEVO_JVM_MACHINE: i386,
; or x86-64 in the 64-bit test build), else 0.
Function KevoIsToolsJvm
  Exch $R0
  Push $R1
  Push $R2
  Push $R3
  StrCpy $R3 0
  StrCpy $R1 $R0 "" -8
  ${If} $R1 != "\jvm.dll"
    StrCpy $R0 "" ; no file of that name
  ${EndIf}
  ClearErrors
  FileOpen $R1 "$R0" r
  ${IfNot} ${Errors}
    FileSeek $R1 60 SET
    ; e_lfanew, little-endian
    FileReadByte $R1 $R2
    StrCpy $R0 $R2
    FileReadByte $R1 $R2
    IntOp $R2 $R2 << 8
    IntOp $R0 $R0 + $R2
    FileReadByte $R1 $R2
    IntOp $R2 $R2 << 16
    IntOp $R0 $R0 + $R2
    FileSeek $R1 $R0 SET
    ; "PE\0\0" then the machine
    FileReadByte $R1 $R2
    ${If} $R2 = 0x50
      FileReadByte $R1 $R2
      ${If} $R2 = 0x45
        FileSeek $R1 2 CUR
        FileReadByte $R1 $R2
        FileReadByte $R1 $R0
        IntOp $R0 $R0 << 8
        IntOp $R0 $R0 + $R2
        ${If} $R0 = ${KEVO_JVM_MACHINE}
        ${AndIfNot} ${Errors}
          StrCpy $R3 1
        ${EndIf}
      ${EndIf}
    ${EndIf}
    FileClose $R1
  ${EndIf}
  StrCpy $R0 $R3
  Pop $R3
  Pop $R2
  Pop $R1
  Exch $R0
FunctionEnd

; $R9: a registry key of one runtime version. Sets $R8 to its 32-bit jvm.dll
; or leaves it empty.
Function KevoJvmOfVersionKey
  ReadRegStr $R7 HKLM "$R9" "RuntimeLib"
  ${If} $R7 != ""
    Push $R7
    Call KevoIsToolsJvm
    Pop $R6
    ${If} $R6 = 1
      StrCpy $R8 $R7
      Return
    ${EndIf}
  ${EndIf}
  ReadRegStr $R5 HKLM "$R9" "JavaHome"
  ${If} $R5 == ""
    Return
  ${EndIf}
  ${ForEach} $R4 0 3 + 1
    ${Select} $R4
      ${Case} 0
        StrCpy $R7 "$R5\bin\client\jvm.dll"
      ${Case} 1
        StrCpy $R7 "$R5\bin\server\jvm.dll"
      ${Case} 2
        StrCpy $R7 "$R5\jre\bin\client\jvm.dll"
      ${CaseElse}
        StrCpy $R7 "$R5\jre\bin\server\jvm.dll"
    ${EndSelect}
    Push $R7
    Call KevoIsToolsJvm
    Pop $R6
    ${If} $R6 = 1
      StrCpy $R8 $R7
      Return
    ${EndIf}
  ${Next}
FunctionEnd

; $R3: a product key under SOFTWARE\JavaSoft. Sets $R8 or leaves it empty.
Function KevoJvmOfProductKey
  ReadRegStr $R2 HKLM "SOFTWARE\JavaSoft\$R3" "CurrentVersion"
  ${If} $R2 != ""
    StrCpy $R9 "SOFTWARE\JavaSoft\$R3\$R2"
    Call KevoJvmOfVersionKey
    ${IfThen} $R8 != "" ${|} Return ${|}
  ${EndIf}
  StrCpy $R1 0
  ${Do}
    EnumRegKey $R2 HKLM "SOFTWARE\JavaSoft\$R3" $R1
    ${IfThen} $R2 == "" ${|} ${ExitDo} ${|}
    StrCpy $R9 "SOFTWARE\JavaSoft\$R3\$R2"
    Call KevoJvmOfVersionKey
    ${IfThen} $R8 != "" ${|} ${ExitDo} ${|}
    IntOp $R1 $R1 + 1
  ${Loop}
FunctionEnd

; Pushes 1 when the administrator named the VM (with /JVM= now, or at an
; earlier install, recorded as JvmPath), else 0, then (on top) the path of
; the tools' jvm.dll, or "" when there is none. Call with the tools'
; registry view set.
Function KevoFindJvm
  StrCpy $R9 "/JVM="
  Call KevoGetOption
  StrCpy $R0 $R8
  StrCpy $R8 ""
  ${If} $R0 == ""
    ; A runtime named at an earlier install stays the choice while it is there.
    ReadRegStr $R0 HKLM "${KEVO_KEY}" "JvmPath"
    ${If} $R0 != ""
      Push $R0
      Call KevoIsToolsJvm
      Pop $R6
      ${If} $R6 = 1
        Push 1
        Push $R0
        Return
      ${EndIf}
      !insertmacro KEVO_NOTE "recorded JvmPath $R0 is no ${KEVO_JVM_BITS} jvm.dll: searching the Java registry"
    ${EndIf}
    StrCpy $R0 ""
  ${EndIf}
  ${If} $R0 != ""
    Push $R0
    Call KevoIsToolsJvm
    Pop $R6
    ${If} $R6 = 1
      StrCpy $R8 $R0
    ${EndIf}
    ; An administrator's explicit choice is not second-guessed by the registry.
    Push 1
    Push $R8
    Return
  ${EndIf}
  ${ForEach} $R4 0 3 + 1
    ${Select} $R4
      ${Case} 0
        StrCpy $R3 "Java Runtime Environment"
      ${Case} 1
        StrCpy $R3 "JRE"
      ${Case} 2
        StrCpy $R3 "Java Development Kit"
      ${CaseElse}
        StrCpy $R3 "JDK"
    ${EndSelect}
    Push $R4
    Call KevoJvmOfProductKey
    Pop $R4
    ${IfThen} $R8 != "" ${|} ${ExitFor} ${|}
  ${Next}
  Push 0
  Push $R8
FunctionEnd

!macro KEVO_APP_PATHS_WRITE
  ${If} ${RunningX64}
    SetRegView 64
    WriteRegStr HKLM "${KEVO_APP_PATHS_KEY}" "" "$INSTDIR\KEVORevoke.exe"
    ; An older release put the Java folders here.
    DeleteRegValue HKLM "${KEVO_APP_PATHS_KEY}" "Path"
    SetRegView ${KEVO_REG_VIEW}
  ${EndIf}
  WriteRegStr HKLM "${KEVO_APP_PATHS_KEY}" "" "$INSTDIR\KEVORevoke.exe"
  DeleteRegValue HKLM "${KEVO_APP_PATHS_KEY}" "Path"
!macroend

!macro KEVO_APP_PATHS_DELETE
  ${If} ${RunningX64}
    SetRegView 64
    DeleteRegKey HKLM "${KEVO_APP_PATHS_KEY}"
    SetRegView ${KEVO_REG_VIEW}
  ${EndIf}
  DeleteRegKey HKLM "${KEVO_APP_PATHS_KEY}"
!macroend

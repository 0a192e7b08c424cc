; The settings file KEVOValidationInfo.ini (counter URL, proxy) may have been
; edited by the citizen or an administrator. Each install leaves the default
; it shipped beside it as KEVOValidationInfo.ini.default; the next install
; replaces the settings file only when it is absent or still equal to that
; default, so edited settings survive an upgrade and unedited ones follow a
; changed default.

; Pushes 1 when the two files (paths on the stack, second on top) exist and
; hold the same bytes, else 0.
Function KevoFilesEqual
  Exch $R1
  Exch
  Exch $R0
  Push $R2
  Push $R3
  Push $R4
  Push $R5
  Push $R6
  StrCpy $R6 0
  ClearErrors
  FileOpen $R2 "$R0" r
  ${IfNot} ${Errors}
    FileOpen $R3 "$R1" r
    ${IfNot} ${Errors}
      FileSeek $R2 0 END $R4
      FileSeek $R3 0 END $R5
      ${If} $R4 = $R5
        FileSeek $R2 0 SET
        FileSeek $R3 0 SET
        StrCpy $R6 1
        ${Do}
          ClearErrors
          FileReadByte $R2 $R4
          ${IfThen} ${Errors} ${|} ${ExitDo} ${|}
          FileReadByte $R3 $R5
          ${If} $R4 <> $R5
            StrCpy $R6 0
            ${ExitDo}
          ${EndIf}
        ${Loop}
      ${EndIf}
      FileClose $R3
    ${EndIf}
    FileClose $R2
  ${EndIf}
  StrCpy $R0 $R6
  Pop $R6
  Pop $R5
  Pop $R4
  Pop $R3
  Pop $R2
  Exch $R0
  Exch
  Pop $R1
FunctionEnd

Function KevoInstallSettings
  StrCpy $0 1 ; 1: write the shipped default as the settings file
  ${If} ${FileExists} "$INSTDIR\${KEVO_SETTINGS}"
    Push "$INSTDIR\${KEVO_SETTINGS}"
    Push "$INSTDIR\${KEVO_SETTINGS}.default"
    Call KevoFilesEqual
    Pop $0
  ${EndIf}
  SetOutPath "$INSTDIR"
  ${If} $0 = 1
    File "/oname=${KEVO_SETTINGS}" "${KEVO_SETTINGS_FILE}"
  ${Else}
    DetailPrint "編集された設定ファイル ${KEVO_SETTINGS} はそのまま残します。"
  ${EndIf}
  File "/oname=${KEVO_SETTINGS}.default" "${KEVO_SETTINGS_FILE}"
FunctionEnd

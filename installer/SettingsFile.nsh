; The settings file KEVOValidationInfo.ini (counter URL, proxy) may have been
; edited by the citizen or an administrator. Each install leaves the default
; it shipped beside it as KEVOValidationInfo.ini.default; the next install
; replaces the settings file only when it is absent or still equal to that
; default, so edited settings survive an upgrade and unedited ones follow a
; changed default. An empty or unreadable settings file (cut by a failure
; while it was written, or damaged) holds no edit: it gets the default too.
; The settings file is never written in place: what it becomes is staged
; like every other file (Switch.nsh).

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

; Pushes 1 when the file can be read and holds something other than blanks
; (spaces, tabs, line ends, zero bytes), else 0.
Function KevoFileHoldsText
  Exch $R0
  Push $R1
  Push $R2
  StrCpy $R2 0
  ClearErrors
  FileOpen $R1 "$R0" r
  ${IfNot} ${Errors}
    ${Do}
      ClearErrors
      FileReadByte $R1 $R0
      ${IfThen} ${Errors} ${|} ${ExitDo} ${|}
      ${If} $R0 <> 0
      ${AndIf} $R0 <> 32
      ${AndIf} $R0 <> 9
      ${AndIf} $R0 <> 10
      ${AndIf} $R0 <> 13
        StrCpy $R2 1
        ${ExitDo}
      ${EndIf}
    ${Loop}
    FileClose $R1
  ${EndIf}
  StrCpy $R0 $R2
  Pop $R2
  Pop $R1
  Exch $R0
FunctionEnd

; Stages the settings file and its shipped default.
Function KevoStageSettings
  File "/oname=${KEVO_SETTINGS}.default${KEVO_STAGED}" "${KEVO_SETTINGS_FILE}"
  Push "$INSTDIR\${KEVO_SETTINGS}"
  Call KevoFileHoldsText
  Pop $0
  ${If} $0 = 0
  ${AndIf} ${FileExists} "$INSTDIR\${KEVO_SETTINGS}"
    !insertmacro KEVO_NOTE "settings file empty or unreadable: replaced by the default"
  ${EndIf}
  ${If} $0 = 1
    Push "$INSTDIR\${KEVO_SETTINGS}"
    Push "$INSTDIR\${KEVO_SETTINGS}.default"
    Call KevoFilesEqual
    Pop $1
    ${IfThen} $1 = 1 ${|} StrCpy $0 0 ${|}
  ${EndIf}
  ${If} $0 = 0
  ${AndIf} $KevoProxyHost == ""
    File "/oname=${KEVO_SETTINGS}${KEVO_STAGED}" "${KEVO_SETTINGS_FILE}"
  ${ElseIf} $0 = 0
    ; The default with the proxy of /PROXY=.
    File "/oname=$PLUGINSDIR\${KEVO_SETTINGS}" "${KEVO_SETTINGS_FILE}"
    StrCpy $R0 "$PLUGINSDIR\${KEVO_SETTINGS}"
    StrCpy $R3 0
    Call KevoRewriteSettings
  ${Else}
    Call KevoStageEditedSettings
  ${EndIf}
  ${If} $KevoProxyHost != ""
    !insertmacro KEVO_NOTE "settings: proxy $KevoProxyHost:$KevoProxyPort (/PROXY=)"
  ${EndIf}
  ; Checked and on disk like every staged file.
  Push "${KEVO_SETTINGS}.default"
  Push -1
  Call KevoCheckStaged
  ${If} ${FileExists} "$INSTDIR\${KEVO_SETTINGS}${KEVO_STAGED}"
    Push "${KEVO_SETTINGS}"
    Push -1
    Call KevoCheckStaged
  ${EndIf}
FunctionEnd

; The settings file edited by the citizen or an administrator: kept, but for
; an url that only an earlier release's default put there.
Function KevoStageEditedSettings
  DetailPrint "編集された設定ファイル ${KEVO_SETTINGS} はそのまま残します。"
  ; A url that an earlier release pinned in its default is no choice of the
  ; citizen's: it follows the new default (today empty: the built-in one).
  ; The file stays as it is unless one of these changes it; then it is
  ; staged like every other file.
  StrCpy $R3 0
  ${If} ${FileExists} "$INSTDIR\${KEVO_SETTINGS}.default"
    ReadINIStr $R2 "$INSTDIR\${KEVO_SETTINGS}" "ConfirmSettingInfo" "url"
    ReadINIStr $R1 "$INSTDIR\${KEVO_SETTINGS}.default" "ConfirmSettingInfo" "url"
    ReadINIStr $R4 "$INSTDIR\${KEVO_SETTINGS}.default${KEVO_STAGED}" "ConfirmSettingInfo" "url"
    ${If} $R1 != ""
    ${AndIf} $R2 S== $R1
    ${AndIf} $R1 S!= $R4
      StrCpy $R3 1
    ${EndIf}
  ${EndIf}
  ; (the rewrite keeps $R1, $R3 and $R4)
  StrCpy $R1 $R2
  ${If} $R3 = 1
  ${OrIf} $KevoProxyHost != ""
    StrCpy $R0 "$INSTDIR\${KEVO_SETTINGS}"
    Call KevoRewriteSettings
  ${EndIf}
  ${If} $R3 = 1
    !insertmacro KEVO_NOTE "settings: url $R1 (an earlier release's default) changed to '$R4', other edits kept"
  ${EndIf}
FunctionEnd

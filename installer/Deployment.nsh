; Switches for deployment to many PCs, checked before anything is looked at:
;   /NOUPDATECHECK  no logon entry for the version checker; recorded as
;                   HKLM Software\KEVO NoUpdateCheck=1, so that an upgrade
;                   without the switch keeps the choice
;   /UPDATECHECK    the logon entry again (the record goes)
;   /PROXY=host:port
;                   the settings file's proxy (proxyType=2, proxyHost,
;                   proxyPort); written like a citizen's edit, so an upgrade
;                   keeps it. A user name or password is refused: a command
;                   line ends up in logs and process lists.
; Any other option, or a malformed one, ends the run with 1639.

Var KevoUpdateCheck ; "" as recorded, 0 /NOUPDATECHECK, 1 /UPDATECHECK
Var KevoProxyHost   ; from /PROXY=, or ""
Var KevoProxyPort

; Ends the run with 1639 for an option the installer does not take; sets
; the switches' variables (uses $R0 to $R9).
Function KevoCheckCommandLine
  ${GetParameters} $R0
  StrCpy $R3 0
  ${Do}
    Call KevoNextToken
    ${IfThen} $R4 == "" ${|} ${ExitDo} ${|}
    StrCpy $R7 $R4 5
    StrCpy $R8 $R4 7
    StrCpy $R9 ""
    ${If} $R4 == "/S"
    ${OrIf} $R4 == "/NCRC"
    ${OrIf} $R7 == "/LOG="
    ${OrIf} $R7 == "/JVM="
      ; taken where they are used
    ${ElseIf} $R4 == "/NOUPDATECHECK"
    ${OrIf} $R4 == "/UPDATECHECK"
      StrCpy $R7 1
      ${IfThen} $R4 == "/NOUPDATECHECK" ${|} StrCpy $R7 0 ${|}
      ${If} $KevoUpdateCheck != ""
      ${AndIf} $KevoUpdateCheck != $R7
        StrCpy $R9 "/NOUPDATECHECK and /UPDATECHECK together"
      ${EndIf}
      StrCpy $KevoUpdateCheck $R7
    ${ElseIf} $R8 == "/PROXY="
      StrCpy $R4 $R4 "" 7
      Call KevoParseProxy
    ${Else}
      StrCpy $R9 "unknown option $R4"
    ${EndIf}
    ${If} $R9 != ""
      MessageBox MB_OK|MB_ICONSTOP "コマンドラインが正しくありません（$R9）。$\n管理者向けの説明の「インストーラのコマンドライン」をご覧ください。" /SD IDOK
      !insertmacro KEVO_QUIT ${KEVO_EXIT_BAD_COMMAND_LINE} "invalid command line: $R9"
    ${EndIf}
  ${Loop}
FunctionEnd

; Splits the value of /PROXY= ($R4) at its last colon into $KevoProxyHost
; and $KevoProxyPort; $R9 says what is wrong, without repeating the value
; (it may hold a password) (uses $R2, $R5 to $R8).
Function KevoParseProxy
  StrLen $R5 $R4
  StrCpy $R6 -1 ; position of the last colon
  StrCpy $R7 0
  ${DoWhile} $R7 < $R5
    StrCpy $R8 $R4 1 $R7
    ${If} $R8 == ":"
      StrCpy $R6 $R7
    ${ElseIf} $R8 == "@"
      StrCpy $R9 "/PROXY= takes host:port only, never a user name or password"
      Return
    ${ElseIf} $R8 == "="
    ${OrIf} $R8 == ";"
    ${OrIf} $R8 == " "
    ${OrIf} $R8 == "/"
      StrCpy $R9 "/PROXY= holds a character no host name has"
      Return
    ${EndIf}
    IntOp $R7 $R7 + 1
  ${Loop}
  StrCpy $KevoProxyHost $R4 $R6
  IntOp $R6 $R6 + 1
  StrCpy $KevoProxyPort $R4 "" $R6
  ; the port: 1 to 65535, digits only
  StrLen $R5 $KevoProxyPort
  StrCpy $R7 0
  ${DoWhile} $R7 < $R5
    StrCpy $R8 $KevoProxyPort 1 $R7
    IntOp $R2 $R8 + 0
    ; a leading 0 would be read as octal
    ${If} "$R2" S!= $R8
    ${OrIf} "$R7$R2" == "00"
      StrCpy $R5 0
      ${ExitDo}
    ${EndIf}
    IntOp $R7 $R7 + 1
  ${Loop}
  ${If} $KevoProxyHost == ""
  ${OrIf} $R5 = 0
  ${OrIf} $R5 > 5
  ${OrIf} $KevoProxyPort < 1
  ${OrIf} $KevoProxyPort > 65535
    StrCpy $KevoProxyHost ""
    StrCpy $R9 "/PROXY= needs host:port with a port from 1 to 65535"
  ${EndIf}
FunctionEnd

; The logon entry of the version checker, as the switches and the record
; say (uses $0).
Function KevoWriteUpdateCheck
  ${If} $KevoUpdateCheck == "0"
    WriteRegDWORD HKLM "${KEVO_KEY}" "NoUpdateCheck" 1
  ${ElseIf} $KevoUpdateCheck == "1"
    DeleteRegValue HKLM "${KEVO_KEY}" "NoUpdateCheck"
  ${EndIf}
  ClearErrors
  ReadRegDWORD $0 HKLM "${KEVO_KEY}" "NoUpdateCheck"
  ${If} $0 = 1
    DeleteRegValue HKLM "${KEVO_RUN_KEY}" "${KEVO_RUN_VALUE}"
    !insertmacro KEVO_NOTE "no logon entry for the version checker (/NOUPDATECHECK)"
  ${Else}
    ; The version checker shows nothing unless a newer release exists; the
    ; machine-wide Run key starts it for every user at logon.
    WriteRegStr HKLM "${KEVO_RUN_KEY}" "${KEVO_RUN_VALUE}" '"$INSTDIR\KEVOSoftverchk.exe"'
  ${EndIf}
FunctionEnd

Var KevoWroteType ; 1 once the staged settings file has the key
Var KevoWroteHost
Var KevoWritePort
Var KevoLineOpen ; 1 when the last line written has no line end

; Writes the staged settings file from the file $R0: [ConfirmSettingInfo]'s
; url becomes $R4 when $R3 is 1, and its proxy the one of /PROXY= when given
; (a commented template line of a key becomes the key; the section gets the
; keys it lacks); every other line as it was. A write that fails (a full
; disk) fails the installation before the switch (uses $R2, $R5 to $R9).
Function KevoRewriteSettings
  ClearErrors
  FileOpen $R5 $R0 r
  FileOpen $R6 "$INSTDIR\${KEVO_SETTINGS}${KEVO_STAGED}" w
  ${If} ${Errors}
    !insertmacro KEVO_FAIL "${KEVO_SETTINGS} could not be staged"
  ${EndIf}
  StrCpy $KevoWroteType ""
  StrCpy $KevoWroteHost ""
  StrCpy $KevoWritePort ""
  StrCpy $KevoLineOpen 0
  StrCpy $R7 "" ; the section of the line
  StrCpy $R9 "" ; "seen" once the section was met
  ${Do}
    ClearErrors
    FileRead $R5 $R8
    ${If} ${Errors}
      ${If} $R7 S== "[ConfirmSettingInfo]"
        Call KevoWriteMissingProxy
      ${ElseIf} $R9 == ""
      ${AndIf} $KevoProxyHost != ""
        StrCpy $R8 "[ConfirmSettingInfo]$\r$\n"
        Call KevoWriteSettingsLine
        Call KevoWriteMissingProxy
      ${EndIf}
      ${ExitDo}
    ${EndIf}
    StrCpy $R2 $R8 1
    ${If} $R2 == "["
      ${IfThen} $R7 S== "[ConfirmSettingInfo]" ${|} Call KevoWriteMissingProxy ${|}
      StrCpy $R7 $R8 20
      ${IfThen} $R7 S== "[ConfirmSettingInfo]" ${|} StrCpy $R9 seen ${|}
    ${ElseIf} $R7 S== "[ConfirmSettingInfo]"
      StrCpy $R2 $R8 4
      ${If} $R3 = 1
      ${AndIf} $R2 == "url="
        StrCpy $R8 "url=$R4$\r$\n"
      ${EndIf}
      ${IfThen} $KevoProxyHost != "" ${|} Call KevoProxyLine ${|}
    ${EndIf}
    Call KevoWriteSettingsLine
  ${Loop}
  FileClose $R5
  FileClose $R6
FunctionEnd

; Writes $R8 (nothing when "") to the staged settings file $R6 (uses $R2).
Function KevoWriteSettingsLine
  ${IfThen} $R8 == "" ${|} Return ${|}
  ClearErrors
  ${If} $KevoLineOpen = 1
    FileWrite $R6 "$\r$\n"
  ${EndIf}
  FileWrite $R6 $R8
  ${If} ${Errors}
    FileClose $R5
    FileClose $R6
    !insertmacro KEVO_FAIL "${KEVO_SETTINGS} could not be staged (write failed)"
  ${EndIf}
  StrCpy $R2 $R8 1 -1
  StrCpy $KevoLineOpen 1
  ${IfThen} $R2 == "$\n" ${|} StrCpy $KevoLineOpen 0 ${|}
FunctionEnd

!macro KEVO_PROXY_KEY key flag value
  ${If} ${flag} == ""
    StrCpy $R8 "${key}=${value}$\r$\n"
    StrCpy ${flag} 1
  ${ElseIf} $R1 != ";"
    StrCpy $R8 "" ; a second value would confuse whoever reads the file
  ${EndIf}
!macroend

; A line of the section ($R8), for the proxy of /PROXY= (uses $R2).
Function KevoProxyLine
  Push $R1
  StrCpy $R1 $R8 1
  ${If} $R1 == ";"
    StrCpy $R2 $R8 10 1
  ${Else}
    StrCpy $R2 $R8 10
  ${EndIf}
  ${If} $R2 == "proxyType="
    !insertmacro KEVO_PROXY_KEY proxyType $KevoWroteType 2
  ${ElseIf} $R2 == "proxyHost="
    !insertmacro KEVO_PROXY_KEY proxyHost $KevoWroteHost $KevoProxyHost
  ${ElseIf} $R2 == "proxyPort="
    !insertmacro KEVO_PROXY_KEY proxyPort $KevoWritePort $KevoProxyPort
  ${EndIf}
  Pop $R1
FunctionEnd

; The proxy keys the section did not have, at its end (uses $R2, $R8).
Function KevoWriteMissingProxy
  ${IfThen} $KevoProxyHost == "" ${|} Return ${|}
  Push $R1
  StrCpy $R1 ""
  StrCpy $R8 "proxyType="
  Call KevoProxyLine
  ${IfThen} $R8 != "proxyType=" ${|} Call KevoWriteSettingsLine ${|}
  StrCpy $R8 "proxyHost="
  Call KevoProxyLine
  ${IfThen} $R8 != "proxyHost=" ${|} Call KevoWriteSettingsLine ${|}
  StrCpy $R8 "proxyPort="
  Call KevoProxyLine
  ${IfThen} $R8 != "proxyPort=" ${|} Call KevoWriteSettingsLine ${|}
  Pop $R1
FunctionEnd

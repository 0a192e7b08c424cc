#!/usr/bin/env bash
# installer_wine_test.sh CASE SETUP_EXE IMAGE_DIR GENERATED_DIR JVM_DLL WORK_DIR BITS [DRIVER SOFTCARD_DLL]
# One behaviour of the installer that an administrator or a citizen relies
# on, driven under Wine in a fresh prefix of its own. BITS is the kind of the
# tools (and of SETUP_EXE): 32 as shipped, 64 in the x86-64 test build,
# whose installer puts its tools where 64-bit programs read them.
#   install          silent install: files, registry, logon entry, Start
#                    menu, Programs and Features; the version checker reads
#                    the installed version
#   install_on_win64 the shipped layout on 64-bit Windows: 32-bit program
#                    files folder and registry view, nothing in the 64-bit
#                    view (from a 64-bit build of the same script where only
#                    64-bit programs run)
#   nojava           no Java runtime of the tools' kind: exit 3, log line,
#                    nothing installed
#   uninstall        silent uninstall: files, logon entry, HKLM keys gone,
#                    HKCU kept
#   upgrade          over an older version: Version key updated; an unedited
#                    settings file follows the new default, an edited one is
#                    kept
#   refuse_newer     over a newer version: exit 4, log line, the newer one
#                    intact
#   revoke           after a silent install, the wizard started by name as
#                    the Run box starts it finds the service library through
#                    InstallPath and the Java VM through the Java registry,
#                    and completes a revocation at the testbed counter
#                    (DRIVER: wizard_drive; SOFTCARD_DLL: the software
#                    card's provider)
#   routes           the installed wizard passes the card step when started
#                    from its Start-menu shortcut, and by full path from a
#                    folder holding a planted jvm.dll (which is not loaded),
#                    and again after the runtime moved and its registry
#                    entry followed (DRIVER, SOFTCARD_DLL as for revoke)
#   in_use           into a folder outside the program files folder (its
#                    access set); with a tool running, an upgrade and an
#                    uninstall end with exit 6 and change nothing; once it
#                    has ended, an upgrade with another /D= stays in place
#   settings         the settings file held open by another program: exit 6,
#                    untouched; an url that an earlier release shipped moves
#                    to the new default, the other edits stay; an empty
#                    settings file is no edit
#   folder           /D= on a drive without room: exit 2, nothing written; a
#                    folder holding other files: exit 2, nothing written; a
#                    path through Program Files\.. is judged where it leads
#                    (owner and access set)
#   faults           /LOG= with a quoted /JVM= after it; the runtime named
#                    then serves a later /S run; the version checker's notice
#                    does not stop an upgrade; a second installer at once
#                    ends with 6; the registered quiet uninstall gives the
#                    real result (6 with a tool running, then 0)
#   kill             fresh install, upgrade and uninstall killed at steps
#                    spread over their run (a test-only hook stops the run at
#                    a numbered step): each state is the old or the new
#                    installation, nothing, or a switch its journal records,
#                    and the next run finishes it (KEVO_KILL_ALL=1: every
#                    step, as scripts/kill-installer runs it)
# The stand-in Java runtime (JVM_DLL, the testbed's jvm.dll) is registered
# the way a Java installer registers one.
# Exit 77 (skipped) where this machine cannot run the tools' kind of program.
set -uo pipefail
case_name=$1 setup=$2 image=$3 generated=$4 jvmdll=$5 work=$6 bits=$7 driver=${8:-} softcard=${9:-}
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
. "$source_dir/scripts/wine-env.sh"
if [ "$bits" = 32 ] && ! kevo_can_run_win32; then
  echo "SKIPPED: this machine cannot execute 32-bit x86 programs, so Wine cannot run the installer"
  exit 77
fi
kevo_ensure_display

fail() { echo "FAIL [$case_name]: $*"; exit 1; }
pass() { echo "ok   [$case_name]: $*"; }

# --- the prefix ---------------------------------------------------------------
# The shipped layout on 64-bit Windows: for 32-bit tools the installer as
# built; for the 64-bit test build an installer of the same script built
# with the shipped layout.
shipped_layout_on_win64=0; [ "$case_name" = install_on_win64 ] && shipped_layout_on_win64=1
arch=win32; [ "$bits" = 64 ] || [ $shipped_layout_on_win64 = 1 ] && arch=win64
prefix=$work/prefix-$case_name-$arch
WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 || true
rm -rf "$prefix" "$prefix.lock"
mkdir -p "$work"
kevo_ensure_prefix "$prefix" $arch
# A prefix is most of a gigabyte: it is kept only when the case failed.
end_prefix() {
  local status=$?
  WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1
  WINEPREFIX=$prefix timeout 30 wineserver -w >/dev/null 2>&1
  [ $status = 0 ] && rm -rf "$prefix" "$prefix.lock"
  return $status
}
trap end_prefix EXIT
c=$prefix/drive_c
# view: the registry view the installed tools read
if [ $arch = win64 ] && [ "$bits" = 32 ]; then
  pf_win='C:\Program Files (x86)'; pf=$c/'Program Files (x86)'; view=32
elif [ $shipped_layout_on_win64 = 1 ] && [ ! -d "$c/Program Files (x86)" ]; then
  # A prefix without a 32-bit part (a machine without 32-bit support) gives
  # a 64-bit installer the 64-bit folder for $PROGRAMFILES32, so from the
  # 64-bit build only the registry side of the layout can be checked there;
  # the folder is checked where the 32-bit installer runs.
  pf_win='C:\Program Files'; pf=$c/'Program Files'; view=32
elif [ $shipped_layout_on_win64 = 1 ]; then
  pf_win='C:\Program Files (x86)'; pf=$c/'Program Files (x86)'; view=32
else
  pf_win='C:\Program Files'; pf=$c/'Program Files'; view=$bits
fi
platform_defines=()
[ "$bits" = 64 ] && platform_defines=(-DKEVO_TOOLS_X64)
inst=$pf/KEVO
inst_win="$pf_win\\KEVO"
log=$c/kevo-setup.log
menu=$c/ProgramData/Microsoft/Windows/'Start Menu'/Programs/KEVO利用者ソフト
menu_win='C:\ProgramData\Microsoft\Windows\Start Menu\Programs\KEVO利用者ソフト'

w() { timeout --kill-after=10 300 wine "$@" </dev/null; }

# wait_for SECONDS COMMAND...: true as soon as COMMAND succeeds, false after
# SECONDS without success.
wait_for() {
  local deadline=$((SECONDS + $1)); shift
  until "$@"; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.2
  done
}

# reg_get KEY VALUE [32|64]: "TYPE DATA" of a value, empty when absent.
reg_get() {
  w reg query "$1" /v "$2" /reg:${3:-$view} 2>/dev/null | tr -d '\r' |
    sed -n "s/^ *$2 \{2,\}\(REG_[A-Z_]*\) \{2,\}\(.*\)\$/\1 \2/p"
}
reg_default() { # KEY [32|64]: "TYPE DATA" of the key's default value, empty when unset
  w reg query "$1" /ve /reg:${2:-$view} 2>/dev/null | tr -d '\r' |
    LC_ALL=C sed -n 's/^ *([^)]*) \{2,\}\(REG_[A-Z_]*\) \{2,\}\(.*\)$/\1 \2/p'
}
# The uninstall entry's name (reg query prints Japanese as "?" here; an
# export is UTF-16).
display_name() {
  w reg export 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\KEVO' 'C:\kevo-export.reg' /y /reg:$view >/dev/null 2>&1
  iconv -f UTF-16 -t UTF-8 "$c/kevo-export.reg" 2>/dev/null | tr -d '\r' | sed -n 's/^"DisplayName"="\(.*\)"$/\1/p'
}
reg_has_key() { w reg query "$1" /reg:${2:-$view} >/dev/null 2>&1; }
expect_value() { # KEY VALUE EXPECTED [VIEW]
  local got; got=$(reg_get "$1" "$2" "${4:-$view}")
  [ "$got" = "$3" ] || fail "$1 $2: expected '$3', found '$got'"
}

# --- stand-ins and installer variants -------------------------------------------
register_java() {
  local home_win="$pf_win\\Java\\jre1.8.0_kevo" home=$pf/Java/jre1.8.0_kevo
  mkdir -p "$home/bin/client"
  if [ "$bits" = 64 ] && [ $shipped_layout_on_win64 = 1 ]; then
    # The shipped layout wants a 32-bit VM; it is only looked at, never
    # loaded, here: the PE header of an i386 image is enough.
    { printf 'MZ'; head -c 58 /dev/zero; printf '\x40\x00\x00\x00'; printf 'PE\0\0\x4c\x01'; head -c 256 /dev/zero; } \
      >"$home/bin/client/jvm.dll"
  else
    cp "$jvmdll" "$home/bin/client/jvm.dll"
  fi
  local key='HKLM\SOFTWARE\JavaSoft\Java Runtime Environment'
  w reg add "$key" /v CurrentVersion /d 1.8 /f /reg:$view >/dev/null
  w reg add "$key\\1.8" /v JavaHome /d "$home_win" /f /reg:$view >/dev/null
  w reg add "$key\\1.8" /v RuntimeLib /d "$home_win\\bin\\client\\jvm.dll" /f /reg:$view >/dev/null
  jvm_dir_win="$home_win\\bin\\client"
}

# variant VERSION SETTINGS_FILE [DEFINES...]: an installer of another version
# built from the same script and image, with the given default settings file
# (DEFINES are added to the tree's platform defines, so that every variant
# is of the kind this machine runs).
variant() {
  local v=$1 settings=$2 out=$work/KEVOSetup-$case_name-$1${variant_tag:-}.exe
  shift 2
  set -- "${platform_defines[@]}" "$@"
  IFS=. read -r major minor revision _ <<<"$v"
  makensis -V1 -INPUTCHARSET UTF8 "$@" -DKEVO_GENERATED_DIR="${variant_generated:-$generated}" -DKEVO_OUTFILE="$out" -DKEVO_VERSION="$v" \
    -DKEVO_VERSION_MAJOR="$major" -DKEVO_VERSION_MINOR="$minor" -DKEVO_VERSION_REVISION="$revision" \
    -DKEVO_SETTINGS_FILE="$settings" "$source_dir/installer/KEVOSetup.nsi" >/dev/null || fail "makensis $v"
  echo "$out"
}
settings_with_url() { # FILE URL: a default settings file naming another counter
  printf '[ConfirmSettingInfo]\r\nurl=%s\r\n' "$2" >"$1"
}

# run EXE ARGS...: EXE's whole exit code (the Unix side sees only its low 8
# bits), through the holder's runner.
run() {
  local exe=$1; shift
  [[ $exe == /* ]] && exe="Z:${exe//\//\\}"
  local out; out=$(w "$KEVO_INSTALLER_HOLD" run "$exe" "$@" | tr -d '\r' | tail -1)
  [[ $out == "exit "* ]] || { echo "runner: $out" >&2; echo -1; return; }
  echo "${out#exit }"
}
install_silently() { # SETUP [EXPECTED_EXIT [ARGS...]]
  local setup=$1 expected=${2:-0}
  shift; shift
  local rc; rc=$(run "$setup" /S '/LOG=C:\kevo-setup.log' "$@")
  [ "$rc" = "$expected" ] || fail "$(basename "$setup") /S exited $rc, expected $expected; log: $(cat "$log" 2>/dev/null)"
}

# hold file|mutex WHAT: another program holds it until release_hold.
hold() {
  w "$KEVO_INSTALLER_HOLD" "$@" >"$work/hold.out" 2>&1 &
  wait_for 60 grep -q held "$work/hold.out" || fail "could not hold $2"
}
release_hold() { w taskkill /f /im "$(basename "$KEVO_INSTALLER_HOLD")" >/dev/null 2>&1; }
# Nothing left but, where the uninstaller ran in place, itself for removal at
# restart (Wine cannot move a running program away as Windows can).
uninstalled() {
  ! reg_has_key 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\KEVO' &&
    { [ ! -e "$inst" ] || [ "$(ls -A "$inst")" = uninstall.exe ]; }
}
# What an uninstall run in place (the quiet command) ends with here: Wine
# cannot move the running uninstall.exe away, which is left in its folder for
# removal at restart (3010); Windows moves it to the temporary folder (0).
in_place_done=3010
quiet_uninstall() { # EXPECTED_EXIT: runs the registered quiet command as a deployment tool does
  local cmd; cmd=$(reg_get 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\KEVO' QuietUninstallString)
  cmd=${cmd#REG_SZ }
  [[ $cmd == *" /S "* ]] || fail "QuietUninstallString '$cmd'"
  # The command line exactly as registered (plus the log), through a batch file.
  printf '%s\r\nexit /b %%errorlevel%%\r\n' "${cmd/ \/S / /S /LOG=C:\\kevo-setup.log }" >"$c/quiet.bat"
  local rc; rc=$(run 'C:\windows\system32\cmd.exe' /c 'C:\quiet.bat')
  [ $rc = "$1" ] || fail "quiet uninstall exited $rc, expected $1; log: $(tail -3 "$log")"
}

project_version=$(sed -n 's/^ *!define KEVO_VERSION "\(.*\)"/\1/p' "$generated/KEVOVersion.nsh")
IFS=. read -r p_major p_minor p_revision _ <<<"$project_version"

expect_version_key() { # MAJOR MINOR REVISION
  expect_value 'HKLM\Software\KEVO\Version' Major "REG_DWORD $(printf 0x%x "$1")"
  expect_value 'HKLM\Software\KEVO\Version' Minor "REG_DWORD $(printf 0x%x "$2")"
  expect_value 'HKLM\Software\KEVO\Version' Revision "REG_DWORD $(printf 0x%x "$3")"
}

check_installed() {
  local name
  while read -r name; do
    [ -n "$name" ] || continue
    [ "$name" = KEVOValidationInfo.ini ] && continue
    cmp -s "$image/$name" "$inst/$name" || fail "$name not installed as in the image"
  done <"$generated/image-files.txt"
  [ -f "$inst/uninstall.exe" ] || fail "no uninstaller"
  cmp -s "$image/KEVOValidationInfo.ini" "$inst/KEVOValidationInfo.ini.default" || fail "no shipped default beside the settings"
  expect_value 'HKLM\Software\KEVO' InstallPath "REG_SZ $inst_win"
  expect_version_key "$p_major" "$p_minor" "$p_revision"
  expect_value 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' KEVOSoftverchk "REG_SZ \"$inst_win\\KEVOSoftverchk.exe\""
  local un='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\KEVO'
  expect_value "$un" DisplayVersion "REG_SZ $project_version"
  [ "$(display_name)" = KEVO利用者ソフト ] || fail "uninstall entry named '$(display_name)'"
  expect_value "$un" Publisher "REG_SZ KEVO"
  expect_value "$un" UninstallString "REG_SZ \"$inst_win\\uninstall.exe\""
  [ -n "$(reg_get "$un" DisplayIcon)" ] || fail "no DisplayIcon"
  local size; size=$(reg_get "$un" EstimatedSize)
  [ "${size#REG_DWORD }" != 0x0 ] && [ -n "$size" ] || fail "EstimatedSize '$size'"
  [ -f "$menu/ICカードリーダライタ設定.lnk" ] || fail "no Start-menu entry for the reader/writer setting"
  [ ! -f "$image/user-guide.html" ] || [ -f "$menu/利用の手引き.lnk" ] || fail "no Start-menu entry for the guide"
  if [ -f "$image/KEVODiag.exe" ]; then
    [ -f "$menu/診断情報.lnk" ] || fail "no Start-menu entry for the diagnostics report"
  fi
  if [ -f "$image/KEVORevoke.exe" ]; then
    [ -f "$menu/KEVO オンライン失効申請.lnk" ] || fail "no Start-menu entry for the wizard"
    local ap='HKLM\Software\Microsoft\Windows\CurrentVersion\App Paths\KEVORevoke.exe'
    [ "$(reg_default "$ap")" = "REG_SZ $inst_win\\KEVORevoke.exe" ] || fail "App Paths does not name the wizard"
    [ -z "$(reg_get "$ap" Path)" ] || fail "App Paths still carries a Path"
  fi
  grep -q "exit=0 installed in $(printf '%s' "$inst_win" | sed 's/[\\.]/\\&/g')" "$log" || fail "no success line in the setup log"
  pass "files, registry, logon entry, Start menu, uninstall entry, log line"
}

# The version checker, started as the logon entry starts it, reads the
# installed Version key and the installed settings (pointed at a closed port
# so that no notice can appear).
check_checker_reads_installation() {
  w reg add 'HKCU\SOFTWARE\KEVO' /v TRACE /t REG_DWORD /d 20 /f >/dev/null
  printf '[ConfirmSettingInfo]\r\nurl=https://localhost:1/\r\n' >"$inst/KEVOValidationInfo.ini"
  find "$c/users" -name 'KEVOSOFTVERCHK*.log' -delete 2>/dev/null
  w "$inst/KEVOSoftverchk.exe"
  local trace; trace=$(find "$c/users" -name 'KEVOSOFTVERCHK*.log' -exec cat {} + | iconv -f CP932 -t UTF-8)
  grep -q 'CKEVOAutoUpdateApp::GetAppVersion end' <<<"$trace" || fail "checker wrote no trace"
  ! grep -q 'ローカルパソコンの利用者ソフトバージョンの取得に失敗' <<<"$trace" || fail "checker did not read the Version key"
  ! grep -q 'HTTP コンフィグファイル解析処理に失敗' <<<"$trace" || fail "checker did not read the settings file"
  grep -q 'サーバーの利用者ソフトバージョンの取得に失敗' <<<"$trace" || fail "checker did not get to the server step"
  pass "version checker reads the installed version and settings"
}

case $case_name in
install)
  register_java
  install_silently "$setup"
  check_installed
  check_checker_reads_installation
  ;;
install_on_win64)
  register_java
  if [ "$bits" = 64 ]; then
    # The shipped layout, from a 64-bit installer.
    setup=$(platform_defines=(-DKEVO_STUB_AMD64); variant "$project_version" "$image/KEVOValidationInfo.ini")
  fi
  install_silently "$setup"
  check_installed
  [ "$bits" = 64 ] || [ ! -e "$c/Program Files/KEVO" ] || fail "installed into the 64-bit program files folder"
  [ -z "$(reg_get 'HKLM\Software\KEVO' InstallPath 64)" ] || fail "InstallPath written in the 64-bit view"
  ! reg_has_key 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\KEVO' 64 || fail "uninstall entry in the 64-bit view"
  if [ -f "$image/KEVORevoke.exe" ]; then
    [ -n "$(reg_default 'HKLM\Software\Microsoft\Windows\CurrentVersion\App Paths\KEVORevoke.exe' 64)" ] ||
      fail "no App Paths entry for the 64-bit shell"
  fi
  # Only a 32-bit version checker reads the 32-bit view.
  [ "$bits" = 32 ] && check_checker_reads_installation
  pass "32-bit view (and folder, for the 32-bit installer) on 64-bit Windows"
  ;;
revoke|routes)
  [ -n "$driver" ] && [ -n "$softcard" ] || fail "no wizard driver or card provider given"
  register_java
  install_silently "$setup"
  # The card's provider as its maker's installer would register it; the
  # driver points it at the key and certificate of the build's card.
  bash "$source_dir/testbed/softcard/install-softcard" "$prefix" "$softcard" "$work/card-$case_name" >/dev/null ||
    fail "software card not installed"
  if [ $case_name = routes ]; then
    # A library a download left beside the citizen's files: valid, but no VM.
    mkdir -p "$c/Downloads"
    cp "$inst/KEVORegRead.dll" "$c/Downloads/jvm.dll"
    for route in shortcut path moved; do
      if [ $route = moved ]; then
        # A Java update: the runtime in a new folder, the registry following.
        mv "$pf/Java/jre1.8.0_kevo" "$pf/Java/jre1.8.0_kevo2"
        jvm_dir_win="$pf_win\\Java\\jre1.8.0_kevo2\\bin\\client"
        w reg add 'HKLM\SOFTWARE\JavaSoft\Java Runtime Environment\1.8' /v RuntimeLib \
          /d "$jvm_dir_win\\jvm.dll" /f /reg:$view >/dev/null
      fi
      rm -rf "$c/drive"; mkdir -p "$c/drive"
      find "$c/users" -name 'KEVORevoke*.log' -delete
      if [ $route = path ]; then
        how=(installed=path "exe=$inst_win\\KEVORevoke.exe" 'cwd=C:\Downloads')
      else
        # As a click in the Start menu: the shortcut's target and folder.
        # The drive puts the trace level, the card and the Java side's
        # answer in place before it opens the shortcut.
        how=(installed=shortcut "lnk=$menu_win\\KEVO オンライン失効申請.lnk")
      fi
      drive=$(WINEPATH= w "$driver" "${how[@]}" until=3 trace=10 'out=C:\drive' | tr -d '\r')
      status=$?
      printf '%s\n' "$drive" | sed 's/^/  | /'
      grep -qxF "started $inst_win\\KEVORevoke.exe" <<<"$drive" || fail "$route: the installed wizard did not start"
      [ "$status" = 0 ] || fail "$route: the card step did not pass to screen 03"
      # The card's holder, as the Java side answered for this run, not the
      # emulation's default.
      grep -qxF '  氏名: 𠮷田　花子' <<<"$drive" && grep -qF '生年月日: 昭和50年4月15日' <<<"$drive" ||
        fail "$route: screen 03 does not show the card's applicant"
      loaded=$(iconv -f CP932 -t UTF-8 "$c/drive/trace.log" | sed -n 's/.*LoadToolsJvm: \([A-Z]:\\\)/\1/p' | tr -d '\r')
      [ "$loaded" = "$jvm_dir_win\\jvm.dll" ] || fail "$route: loaded '$loaded'"
    done
    pass "card step passed from the shortcut, by full path beside a planted jvm.dll, and after the runtime moved"
    exit 0
  fi
  # The shipped settings name the testbed counter; nothing else is set up:
  # no InstallPath, no PATH, no WINEPATH from the test.
  drive=$(WINEPATH= w "$driver" installed=1 trace=10 | tr -d '\r')
  status=$?
  printf '%s\n' "$drive" | sed 's/^/  | /'
  grep -qxF "started $inst_win\\KEVORevoke.exe" <<<"$drive" || fail "the shell did not start the installed wizard"
  grep -q '^counter: accepted' <<<"$drive" || fail "the counter did not accept the request"
  [ "$status" = 0 ] || fail "wizard_drive exited $status"
  pass "installed wizard found its library and Java VM and completed a revocation"
  ;;
in_use)
  register_java
  install_silently "$setup" 0 '/D=C:\KEVOTools'
  inst=$c/KEVOTools inst_win='C:\KEVOTools'
  grep -qF 'access of C:\KEVOTools restricted' "$log" || fail "no log line for the folder's access"
  next=$((p_revision + 1))
  newer=$(variant "$p_major.$p_minor.$next.0" "$image/KEVOValidationInfo.ini")
  w "$inst/KEVORWSetting.exe" &
  tool=$!
  wait_for 60 xwininfo -name "ICカードリーダライタ設定" >/dev/null 2>&1 || fail "the reader/writer setting did not start"
  install_silently "$newer" 1618
  grep -q "exit=1618 running: KEVORWSetting.exe" "$log" || fail "no log line naming the running program"
  rc=$(run "$inst_win\\uninstall.exe" /S '/LOG=C:\kevo-setup.log' "_?=$inst_win")
  [ "$rc" = 1618 ] || fail "uninstall with a running tool exited $rc"
  [ "$(grep -c 'exit=1618 running: KEVORWSetting.exe' "$log")" = 2 ] || fail "no uninstall log line naming the program"
  expect_version_key "$p_major" "$p_minor" "$p_revision"
  check_installed
  w taskkill /f /im KEVORWSetting.exe >/dev/null 2>&1
  wait $tool 2>/dev/null
  wait_for 30 sh -c '! xwininfo -name "ICカードリーダライタ設定" >/dev/null 2>&1' || fail "the tool did not end"
  install_silently "$newer" 0 '/D=C:\Elsewhere'
  expect_version_key "$p_major" "$p_minor" "$next"
  expect_value 'HKLM\Software\KEVO' InstallPath "REG_SZ $inst_win"
  [ ! -e "$c/Elsewhere" ] || fail "a second installation in C:\Elsewhere"
  grep -qF 'upgrade in place: C:\KEVOTools (not C:\Elsewhere)' "$log" || fail "no log line for the upgrade in place"
  pass "exit 6 with a tool running, nothing changed; upgrade in place"
  ;;
nojava)
  install_silently "$setup" 1603
  grep -q "exit=1603 no $bits-bit Java runtime" "$log" || fail "no log line for the missing runtime"
  [ ! -e "$inst" ] || fail "files written without a Java runtime"
  ! reg_has_key 'HKLM\Software\KEVO' || fail "Software\\KEVO written without a Java runtime"
  ! reg_has_key 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\KEVO' || fail "uninstall entry written"
  pass "refused with exit 3, nothing installed"
  ;;
uninstall)
  register_java
  install_silently "$setup"
  w reg add 'HKCU\SOFTWARE\KEVO' /v TRACE /t REG_DWORD /d 10 /f >/dev/null
  w reg add 'HKCU\SOFTWARE\KEVO' /v RWType /t REG_DWORD /d 1 /f >/dev/null
  # As Programs and Features runs it (QuietUninstallString): the uninstaller
  # hands over to a copy of itself in the temporary folder and returns at
  # once, so wait for the copy's log line.
  w "$inst/uninstall.exe" /S '/LOG=C:\kevo-setup.log' || fail "uninstaller exited $?"
  wait_for 120 grep -q 'KEVOUninstall .* exit=0 uninstalled' "$log" || fail "no uninstall line in the log"
  [ -z "$(ls -A "$inst" 2>/dev/null)" ] || fail "left in the install folder: $(ls "$inst")"
  [ ! -e "$menu" ] || fail "Start-menu folder left"
  [ -z "$(reg_get 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' KEVOSoftverchk)" ] || fail "logon entry left"
  ! reg_has_key 'HKLM\Software\KEVO' || fail "HKLM Software\\KEVO left"
  ! reg_has_key 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\KEVO' || fail "uninstall entry left"
  ! reg_has_key 'HKLM\Software\Microsoft\Windows\CurrentVersion\App Paths\KEVORevoke.exe' || fail "App Paths entry left"
  expect_value 'HKCU\SOFTWARE\KEVO' TRACE "REG_DWORD 0xa"
  expect_value 'HKCU\SOFTWARE\KEVO' RWType "REG_DWORD 0x1"
  pass "everything removed, HKCU kept"
  ;;
upgrade)
  register_java
  settings_with_url "$work/old-default.ini" "https://old.example.jp/"
  install_silently "$(variant 0.9.0.0 "$work/old-default.ini")"
  expect_version_key 0 9 0
  install_silently "$setup"
  expect_version_key "$p_major" "$p_minor" "$p_revision"
  cmp -s "$image/KEVOValidationInfo.ini" "$inst/KEVOValidationInfo.ini" || fail "unedited settings did not follow the new default"
  printf 'proxyType=2\r\nproxyHost=proxy.example.jp\r\nproxyPort=8080\r\n' >>"$inst/KEVOValidationInfo.ini"
  cp "$inst/KEVOValidationInfo.ini" "$work/edited.ini"
  settings_with_url "$work/next-default.ini" "https://next.example.jp/"
  next=$((p_revision + 1))
  install_silently "$(variant "$p_major.$p_minor.$next.0" "$work/next-default.ini")"
  expect_version_key "$p_major" "$p_minor" "$next"
  cmp -s "$work/edited.ini" "$inst/KEVOValidationInfo.ini" || fail "edited settings file replaced"
  cmp -s "$work/next-default.ini" "$inst/KEVOValidationInfo.ini.default" || fail "shipped default not updated"
  pass "Version key updated; unedited settings follow the default, edited ones are kept"
  ;;
refuse_newer)
  register_java
  install_silently "$(variant 99.0.0.0 "$image/KEVOValidationInfo.ini")"
  install_silently "$setup" 1638
  grep -q 'exit=1638 newer version 99.0.0 is installed' "$log" || fail "no log line for the refusal"
  expect_version_key 99 0 0
  expect_value 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\KEVO' DisplayVersion "REG_SZ 99.0.0.0"
  pass "refused with exit 4, newer version intact"
  ;;
settings)
  register_java
  settings_with_url "$work/pinned.ini" "https://old.example.jp/"
  install_silently "$(variant 0.9.0.0 "$work/pinned.ini")"
  ini=$inst/KEVOValidationInfo.ini
  printf 'proxyType=2\r\nproxyHost=proxy.example.jp\r\nproxyPort=8080\r\n' >>"$ini"
  cp "$ini" "$work/edited.ini"
  hold file "$inst_win\\KEVOValidationInfo.ini"
  install_silently "$setup" 1618
  release_hold
  grep -q 'exit=1618 in use: KEVOValidationInfo.ini' "$log" || fail "no log line naming the held settings file"
  cmp -s "$work/edited.ini" "$ini" || fail "held settings file changed"
  expect_version_key 0 9 0
  install_silently "$setup"
  sed 's/^url=https:\/\/old.example.jp\/\r$/url=\r/' "$work/edited.ini" >"$work/migrated.ini"
  cmp -s "$work/migrated.ini" "$ini" || fail "url not migrated, or other edits lost: $(cat -A "$ini")"
  grep -qF "settings: url https://old.example.jp/ (an earlier release's default) changed to ''" "$log" || fail "no log line for the migration"
  : >"$ini"
  install_silently "$(variant "$p_major.$p_minor.$((p_revision + 1)).0" "$work/pinned.ini")"
  cmp -s "$work/pinned.ini" "$ini" || fail "an empty settings file was kept as an edit"
  grep -q 'settings file empty or unreadable: replaced by the default' "$log" || fail "no log line for the empty settings file"
  pass "held settings file: exit 6, untouched; pinned url migrated, edits kept; empty file is no edit"
  ;;
folder)
  register_java
  if mkdir -p "$work/small" && mount -t tmpfs -o size=1m tmpfs "$work/small" 2>/dev/null; then
    ln -sfn "$work/small" "$prefix/dosdevices/k:"
    install_silently "$setup" 1603 '/D=K:\KEVO'
    umount "$work/small"
    grep -q 'exit=1603 not enough free space in K:' "$log" || fail "no log line for the full drive"
    ! reg_has_key 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\KEVO' || fail "uninstall entry written for a full drive"
  else
    echo "note [$case_name]: no tmpfs mount here (needs root): the full-drive row is skipped"
  fi
  mkdir -p "$c/Occupied" && echo planted >"$c/Occupied/version.dll"
  install_silently "$setup" 1603 '/D=C:\Occupied'
  grep -qF 'exit=1603 C:\Occupied is not empty and holds no installation of the tools (version.dll)' "$log" || fail "no refusal line"
  [ "$(ls "$c/Occupied")" = version.dll ] || fail "written into an occupied folder: $(ls "$c/Occupied")"
  ! reg_has_key 'HKLM\Software\KEVO' || fail "registered into an occupied folder"
  # /D= takes the rest of the command line unquoted: given as typed.
  printf '"Z:%s" /S /LOG=C:\\kevo-setup.log /D=C:\\Program Files\\..\\KEVOTools\r\nexit /b %%errorlevel%%\r\n' \
    "${setup//\//\\}" >"$c/dotdot.bat"
  w cmd /c 'C:\dotdot.bat' >/dev/null || fail "install through Program Files\\.. exited $?"
  inst=$c/KEVOTools inst_win='C:\KEVOTools'
  check_installed
  grep -qF 'access of C:\KEVOTools restricted: owned by administrators' "$log" || fail "no log line for the folder's access"
  sddl=$(w "$KEVO_INSTALLER_HOLD" sddl 'C:\KEVOTools' | tr -d '\r')
  if [[ $sddl == *";;;BA)"* || $sddl == O:BA* ]]; then
    [[ $sddl == O:BA* && $sddl == *"D:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)" ]] || fail "folder security '$sddl'"
  else
    # Debian's Wine 8 accepts but does not keep a file's security descriptor.
    echo "note [$case_name]: this Wine keeps no folder security ($sddl): owner and access not checked"
  fi
  pass "full drive and occupied folder refused untouched; Program Files\\.. judged where it leads"
  ;;
faults)
  register_java
  java_win=$jvm_dir_win\\jvm.dll
  w reg delete 'HKLM\SOFTWARE\JavaSoft' /f /reg:$view >/dev/null
  install_silently "$setup" 0 "/JVM=$java_win"
  grep -qF "exit=0 installed in $inst_win, jvm=$java_win" "$log" || fail "/LOG= lost before a quoted /JVM="
  next=$((p_revision + 1))
  newer=$(variant "$p_major.$p_minor.$next.0" "$image/KEVOValidationInfo.ini")
  # The checker's notice: a version file newer than everything.
  mkdir -p "$work/www/reception/verinfo" && printf '99.0.0.0\r\n' >"$work/www/reception/verinfo/kevosoft.ver"
  python3 -u -m http.server 0 --bind 127.0.0.1 --directory "$work/www" >"$work/www.out" 2>&1 &
  www=$!
  wait_for 30 grep -q 'port' "$work/www.out" || fail "no local web server"
  port=$(sed -n 's/.* port \([0-9]*\) .*/\1/p' "$work/www.out")
  printf '[ConfirmSettingInfo]\r\nurl=http://localhost:%s/\r\n' "$port" >"$inst/KEVOValidationInfo.ini"
  w reg add 'HKCU\SOFTWARE\KEVO' /v TRACE /t REG_DWORD /d 20 /f >/dev/null
  find "$c/users" -name 'KEVOSOFTVERCHK*.log' -delete 2>/dev/null
  w "$inst/KEVOSoftverchk.exe" &
  wait_for 60 xwininfo -name "KEVO利用者ソフト バージョン確認" >/dev/null 2>&1 || fail "the checker showed no notice"
  install_silently "$newer" 0
  kill $www
  grep -q 'closed the version checker' "$log" || fail "no log line for the closed notice"
  # Ended by its event, which reaches a checker on any user's desktop.
  find "$c/users" -name 'KEVOSOFTVERCHK*.log' -exec cat {} + | iconv -f CP932 -t UTF-8 |
    grep -q 'インストーラの終了要求により終了' || fail "the checker was not ended by its event"
  ! xwininfo -name "KEVO利用者ソフト バージョン確認" >/dev/null 2>&1 || fail "the notice stayed"
  expect_value 'HKLM\Software\KEVO' JvmPath "REG_SZ $java_win"
  hold mutex 'Global\KEVOSetup'
  install_silently "$newer" 1618
  release_hold
  grep -q 'exit=1618 another installer or uninstaller of the tools is running' "$log" || fail "no log line for the second installer"
  w "$inst/KEVORWSetting.exe" &
  wait_for 60 xwininfo -name "ICカードリーダライタ設定" >/dev/null 2>&1 || fail "the reader/writer setting did not start"
  quiet_uninstall 1618
  w taskkill /f /im KEVORWSetting.exe >/dev/null 2>&1
  wait_for 30 sh -c '! xwininfo -name "ICカードリーダライタ設定" >/dev/null 2>&1' || fail "the tool did not end"
  quiet_uninstall $in_place_done
  grep -q 'exit=3010 uninstalled from' "$log" || fail "no log line for the restart that finishes the uninstall"
  uninstalled || fail "left after the quiet uninstall: $(ls -A "$inst")"
  pass "log beside quoted options; recorded runtime reused; notice closed; one installer at a time; quiet uninstall 1618 then 3010"
  ;;
temp_links)
  register_java
  # Wine 8 makes no junctions (FSCTL_SET_REPARSE_POINT fails with 50) and
  # CreateSymbolicLinkW reports success but makes nothing, so the links are
  # the host's: Wine shows one to a folder as a reparse point, as Windows
  # does, but one to a file as a plain file, and deleting either deletes its
  # target, which Windows never does. The installer must leave targets
  # alone under both.
  u=${USER:-$(id -un)}
  tmp=$c/users/$u/Temp tmp_win="C:\\users\\$u\\Temp"
  work_key='HKLM\Software\KEVO\WorkFolders'
  mkdir -p "$tmp" "$c/victim" "$c/victim2"
  echo precious >"$c/victim/keep.txt"; echo precious >"$c/victim2/keep.txt"
  # Named like a working folder, with the marker earlier releases went by,
  # a link beside it: never recorded, so never touched.
  mkdir -p "$tmp/nsEvil.tmp" && : >"$tmp/nsEvil.tmp/KEVOSetup.run" && ln -s "$c/victim" "$tmp/nsEvil.tmp/link"
  # Working folders of killed runs (recorded as a run records its own): one
  # whole, one with links planted in it, one replaced by a link.
  mkdir -p "$tmp/nsPlain.tmp" "$tmp/nsKill.tmp"
  echo plug-in >"$tmp/nsPlain.tmp/System.dll"; echo plug-in >"$tmp/nsKill.tmp/System.dll"
  ln -s "$c/victim" "$tmp/nsKill.tmp/dlink"; ln -s "$c/victim/keep.txt" "$tmp/nsKill.tmp/flink"
  ln -s "$c/victim2" "$tmp/nsSwap.tmp"
  for f in nsPlain nsKill nsSwap; do
    w reg add "$work_key" /v "\\\\?\\$tmp_win\\$f.tmp" /d 0.9.0.0 /f /reg:$view >/dev/null
  done
  install_silently "$setup"
  [ "$(cat "$c/victim/keep.txt" "$c/victim2/keep.txt" 2>/dev/null)" = "$(printf 'precious\nprecious')" ] ||
    fail "a link's target was changed: $(ls -la "$c/victim" "$c/victim2")"
  [ -e "$tmp/nsEvil.tmp/KEVOSetup.run" ] && [ -L "$tmp/nsEvil.tmp/link" ] || fail "an unrecorded folder was touched"
  [ ! -e "$tmp/nsPlain.tmp" ] || fail "a killed run's folder stayed: $(ls -A "$tmp/nsPlain.tmp")"
  [ ! -e "$tmp/nsKill.tmp/System.dll" ] && [ -L "$tmp/nsKill.tmp/dlink" ] && [ -L "$tmp/nsKill.tmp/flink" ] ||
    fail "links in a killed run's folder: $(ls -lA "$tmp/nsKill.tmp")"
  grep -qF "left \\\\?\\$tmp_win\\nsKill.tmp: it holds" "$log" || fail "no log line for the folder holding links"
  grep -qF "left \\\\?\\$tmp_win\\nsSwap.tmp alone: it is no longer the folder" "$log" || fail "no log line for the replaced folder"
  ! reg_has_key "$work_key" || fail "working folders still recorded"
  pass "unrecorded folder untouched; recorded one removed; links in or instead of one not followed, targets intact"
  ;;
held)
  register_java
  install_silently "$setup"
  first=$(head -1 "$generated/image-files.txt")
  # Each row: what another program does to a file, the exit and the log
  # line; a refused run leaves the installed version, no staged file and no
  # journal.
  version=$p_revision
  while IFS='|' read -r how file exit line; do
    version=$((version + 1))
    newer=$(variant "$p_major.$p_minor.$version.0" "$image/KEVOValidationInfo.ini")
    : >"$work/hold.out"
    if [ "$how" = scan ]; then
      # As a virus scanner: takes each new file as soon as it is written.
      w "$KEVO_INSTALLER_HOLD" scan "$inst_win\\$file" 3000 >"$work/hold.out" 2>&1 &
    else
      hold file "$inst_win\\$file" $how
    fi
    install_silently "$newer" "$exit"
    [ "$how" = rw ] && release_hold
    [ "$how" = rw ] || wait_for 30 grep -q released "$work/hold.out" || fail "$how $file: the holder never held it: $(cat "$work/hold.out")"
    grep -qF "$line" "$log" || fail "$how $file: no log line '$line'"
    [ "$exit" = 0 ] || version=$((version - 1))
    expect_version_key "$p_major" "$p_minor" "$version"
    [ -z "$(ls "$inst" | grep -e '\.kevonew$' -e journal)" ] || fail "$how $file: left $(ls "$inst")"
    printf '  %-6s %-28s exit %s\n' "$how" "$file" "$exit"
  done <<ROWS
rw|$first|1618|exit=1618 in use: $first
rw|uninstall.exe|1618|exit=1618 in use: uninstall.exe
r 4000|$first|0|waited for $inst_win\\$first, held by another program
scan|$first.kevonew|0|waited for $inst_win\\$first.kevonew
ROWS
  pass "a file shared for reading and writing but not deleting is in use (1618, nothing changed); one held for a moment is waited for"
  ;;
switches)
  register_java
  # Refused before anything is looked at; the log says what is wrong and
  # never repeats a password.
  while IFS='|' read -r arg line; do
    install_silently "$setup" 1639 "$arg"
    grep -qF "exit=1639 invalid command line: $line" "$log" || fail "$arg: no log line '$line'"
  done <<ROWS
/BOGUS|unknown option /BOGUS
/PROXY=proxy.example.jp|/PROXY= needs host:port with a port from 1 to 65535
/PROXY=proxy.example.jp:70000|/PROXY= needs host:port with a port from 1 to 65535
/PROXY=alice:s3cret@proxy.example.jp:8080|/PROXY= takes host:port only, never a user name or password
ROWS
  ! grep -q s3cret "$log" || fail "a password reached the log"
  [ ! -e "$inst" ] && ! reg_has_key 'HKLM\Software\KEVO' || fail "a refused run wrote something"
  # The shipped default with its commented proxy lines made real.
  with_proxy() { # HOST PORT
    sed -e "s/^;\?proxyType=.*/proxyType=2\r/" -e "s/^;\?proxyHost=.*/proxyHost=$1\r/" \
      -e "s/^;\?proxyPort=.*/proxyPort=$2\r/" "$image/KEVOValidationInfo.ini"
  }
  run_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
  newer=$(variant "$p_major.$p_minor.$((p_revision + 1)).0" "$image/KEVOValidationInfo.ini")
  # Each row: a run, the proxy the settings file then names, whether the
  # logon entry is there.
  while IFS='|' read -r exe args host port entry; do
    install_silently "${!exe}" 0 $args
    cmp -s <(with_proxy "$host" "$port") "$inst/KEVOValidationInfo.ini" ||
      fail "$args: settings file $(grep proxy "$inst/KEVOValidationInfo.ini" | tr '\r\n' '  ')"
    if [ "$entry" = yes ]; then
      expect_value "$run_key" KEVOSoftverchk "REG_SZ \"$inst_win\\KEVOSoftverchk.exe\""
      [ -z "$(reg_get 'HKLM\Software\KEVO' NoUpdateCheck)" ] || fail "$args: NoUpdateCheck left"
    else
      [ -z "$(reg_get "$run_key" KEVOSoftverchk)" ] || fail "$args: logon entry despite /NOUPDATECHECK"
      expect_value 'HKLM\Software\KEVO' NoUpdateCheck "REG_DWORD 0x1"
    fi
    printf '  %-8s %-50s proxy %s:%s, logon entry: %s\n' "$exe" "$args" "$host" "$port" "$entry"
  done <<ROWS
setup|/NOUPDATECHECK /PROXY=proxy.example.jp:8080|proxy.example.jp|8080|no
newer||proxy.example.jp|8080|no
newer|/PROXY=[::1]:3128|[::1]|3128|no
newer|/UPDATECHECK|[::1]|3128|yes
ROWS
  u=${USER:-$(id -un)}
  grep -q "KEVOSetup $project_version host=[^ ]* user=$u exit=0 installed" "$log" || fail "no computer and user name in the log"
  # Without /LOG=, the log is the one every account shares.
  rc=$(run "$newer" /S)
  [ "$rc" = 0 ] || fail "run without /LOG= exited $rc"
  grep -q "exit=0 installed in" "$c/ProgramData/KEVO/KEVOSetup.log" || fail "no log in ProgramData\\KEVO"
  pass "invalid options refused with 1639; /NOUPDATECHECK and /PROXY= recorded and kept on upgrade, /UPDATECHECK restores"
  ;;
interrupted)
  # States that stopped runs leave, planted before each run (the kill case
  # reaches them by killing; here each is met head-on).
  register_java
  inst=$c/KEVO inst_win='C:\KEVO'
  first=$(head -1 "$generated/image-files.txt")
  journal() { # VERSION: the journal of a run switching to VERSION, with a staged file
    IFS=. read -r major minor revision _ <<<"$1"
    printf '[switch]\r\nversion=%s\r\nmajor=%s\r\nminor=%s\r\nrevision=%s\r\n' "$1" "$major" "$minor" "$revision" \
      >"$inst/KEVOSetup.journal"
    cp "$image/$first" "$inst/$first.kevonew"
  }
  # A fresh install stopped while it wrote its uninstaller, before its
  # uninstall entry: the folder is no one else's.
  mkdir -p "$inst" && printf 'MZ' >"$inst/uninstall.exe.kevonew"
  install_silently "$setup" 0 '/D=C:\KEVO'
  check_installed
  # A newer installer's switch, stopped: this older one neither finishes it
  # nor goes back over it.
  journal 99.0.0.0
  install_silently "$setup" 1638
  grep -qF 'exit=1638 newer version 99.0.0 is being installed' "$log" || fail "no log line for the newer journal"
  [ -f "$inst/KEVOSetup.journal" ] && [ -f "$inst/$first.kevonew" ] || fail "the newer run's journal or staged file went"
  # A switch to this version stopped while the Version key was half
  # written: the old Minor with the new Major reads as a newer version,
  # but the journal decides.
  journal "$project_version"
  w reg add 'HKLM\Software\KEVO\Version' /v Minor /t REG_DWORD /d $((p_minor + 9)) /f /reg:$view >/dev/null
  install_silently "$setup" 0
  grep -qF "finished the switch to $project_version left by an interrupted run" "$log" || fail "the switch was not finished"
  expect_version_key "$p_major" "$p_minor" "$p_revision"
  [ -z "$(ls "$inst" | grep -e '\.kevonew$' -e journal)" ] || fail "left $(ls "$inst")"
  pass "own leftovers occupy no folder; a newer journal is left alone (1638); the journal, not a half-written Version key, decides"
  ;;
disk_full)
  # Another program fills the drive after the free-space check, while the
  # new files are written beside the old ones: the run ends before the
  # switch, and the old installation stays whole.
  register_java
  mkdir -p "$work/roomy"
  mount -t tmpfs -o size=16m tmpfs "$work/roomy" 2>/dev/null ||
    { echo "SKIPPED: no tmpfs mount here (needs root)"; exit 77; }
  trap 'umount "$work/roomy" 2>/dev/null; end_prefix' EXIT
  ln -sfn "$work/roomy" "$prefix/dosdevices/l:"
  inst=$work/roomy/KEVO inst_win='L:\KEVO'
  install_silently "$(variant 0.9.0.0 "$image/KEVOValidationInfo.ini")" 0 '/D=L:\KEVO'
  printf 'proxyType=2\r\n' >>"$inst/KEVOValidationInfo.ini"
  rm -rf "$work/before" && cp -r "$inst" "$work/before"
  # The test-only hook holds the run after its first staged file until the
  # marker goes.
  hooked=$(variant_tag=-hook variant "$project_version" "$image/KEVOValidationInfo.ini" -DKEVO_KILL_HOOK)
  rm -f "$c/kevo-pause.txt"
  (KEVO_KILL_AT_STEP=2 KEVO_KILL_MARKER='C:\kevo-pause.txt' run "$hooked" /S '/LOG=C:\kevo-setup.log' >"$work/rc") &
  wait_for 120 test -s "$c/kevo-pause.txt" || fail "the run never reached its first staged file"
  ls "$inst" | grep -q '\.kevonew$' || fail "nothing staged at the pause: $(ls "$inst")"
  cat /dev/zero >"$work/roomy/fill" 2>/dev/null
  rm -f "$c/kevo-pause.txt"
  wait
  [ "$(cat "$work/rc")" = 1603 ] || fail "exited $(cat "$work/rc") on a full drive; log: $(tail -3 "$log")"
  grep -q "exit=1603 installation failed in L:.KEVO: " "$log" || fail "no log line for the failed staging"
  rm -f "$work/roomy/fill"
  diff -r "$work/before" "$inst" >/dev/null || fail "the installation changed: $(diff -rq "$work/before" "$inst")"
  expect_version_key 0 9 0
  pass "a drive filled while staging: exit 1603 before the switch, the old installation untouched, nothing staged left"
  ;;
kill)
  . "$here/installer_kill.sh"
  ;;
*)
  fail "unknown case"
  ;;
esac
exit 0

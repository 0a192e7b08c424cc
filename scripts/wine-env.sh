# Sourced by the scripts that run Windows programs: the environment in which
# Wine gives code page 932 and draws windows on the test display. Wine takes
# each process's ANSI code page from its locale: the tests of other code
# pages set KEVO_WINE_LOCALE.
export LANG=${KEVO_WINE_LOCALE:-ja_JP.UTF-8} LC_ALL=${KEVO_WINE_LOCALE:-ja_JP.UTF-8}
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko download prompts while a prefix is created.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export DISPLAY=${KEVO_DISPLAY:-${DISPLAY:-:97}}

kevo_scripts_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# Starts Xvfb on $DISPLAY unless an X server already answers there.
kevo_ensure_display() {
  if xdpyinfo >/dev/null 2>&1; then return 0; fi
  local num=${DISPLAY#:}; num=${num%%.*}
  local lock=/tmp/.kevo-xvfb-$num.lock
  (
    flock 9
    if ! xdpyinfo >/dev/null 2>&1; then
      rm -f /tmp/.X$num-lock
      nohup Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >/tmp/kevo-xvfb-$num.log 2>&1 &
      for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
    fi
  ) 9>"$lock"
}

# kevo_ensure_prefix DIR [win32|win64]: creates the prefix once, with crash
# dialogs off and window decorations drawn, and keeps its wineserver alive.
kevo_ensure_prefix() {
  local prefix=$1 arch=${2:-}
  if [ -z "$arch" ]; then
    case "$prefix" in *64) arch=win64 ;; *) arch=win32 ;; esac
  fi
  export WINEPREFIX=$prefix
  (
    flock 9
    # (The marker's number goes up when the set-up below changes.)
    if [ ! -f "$prefix/.kevo-ready-3" ]; then
      rm -rf "$prefix"
      WINEARCH=$arch wineboot -i >/dev/null 2>&1 </dev/null
      wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
      wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1
      # No window manager runs on the test display: unmanaged windows keep
      # Wine from waiting about two seconds for one whenever a window closes.
      wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
      # Dialogs that ask for "MS UI Gothic" get IPA Gothic's Japanese glyphs.
      wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "MS UI Gothic" /t REG_SZ /d IPAGothic /f >/dev/null 2>&1
      # The caption buttons are drawn with Marlett, which Windows keeps in
      # its fonts folder; Wine finds it only there.
      cp -f /usr/share/wine/fonts/marlett.ttf "$prefix/drive_c/windows/Fonts/" 2>/dev/null
      # The prefix reports Windows 10, as the PCs the tools meet do (Wine 8
      # makes it Windows 7 by default). A test that needs another version
      # sets it for one program (AppDefaults\<exe>\Version).
      wine winecfg -v win10 >/dev/null 2>&1
      wineserver -w
      touch "$prefix/.kevo-ready-3"
    fi
  ) 9>"$prefix.lock"
  # A persistent wineserver makes each program start in tens of milliseconds.
  # (A second start while one runs for this prefix exits with status 2.)
  if WINEPREFIX=$prefix wineserver -p </dev/null >/dev/null 2>&1; then
    # Start the prefix's services now, detached from our output: a service
    # started by a test program would hold the test runner's pipe open.
    WINEPREFIX=$prefix timeout 60 wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
  fi
}

# True when this machine executes 32-bit x86 Linux programs natively, as
# Wine's 32-bit loader needs. Some virtual machines have no 32-bit user mode
# (exec fails with "Exec format error"); an emulator registered for i386
# binaries does not count, because Wine cannot start under it in useful time.
kevo_can_run_win32() {
  local entry
  for entry in /proc/sys/fs/binfmt_misc/*; do
    [ -f "$entry" ] || continue
    if grep -q '^enabled' "$entry" 2>/dev/null && grep -q '^interpreter .*qemu-i386' "$entry" 2>/dev/null; then
      return 1
    fi
  done
  /lib/ld-linux.so.2 --version >/dev/null 2>&1
}

# kevo_use_wine64: "wine", "wineboot" and "winepath" become the 64-bit
# loader's, for the 64-bit test build (preset windows64) in 64-bit prefixes.
# Where the machine also executes 32-bit programs, Debian's "wine" is the
# 32-bit loader, and its builtin tools are the 32-bit ones: "wine reg add"
# in a 64-bit prefix would write the 32-bit view, which the 64-bit programs
# never read. So the 64-bit tree always takes the 64-bit loader.
kevo_use_wine64() {
  export KEVO_WINE_BITS=64
  case ":$PATH:" in
    *":$kevo_scripts_dir/wine64:"*) ;;
    *) export PATH="$kevo_scripts_dir/wine64:$PATH" ;;
  esac
}
# KEVO_WINE_BITS=64: set by the 64-bit tree for its tests (see KevoBuild.cmake).
if [ "${KEVO_WINE_BITS:-}" = 64 ] || ! kevo_can_run_win32; then
  kevo_use_wine64
fi

# kevo_register_java_runtime JVM_DLL: registers a jvm.dll (Unix path) as the
# prefix's Java runtime, the way a Java installer registers one, so that the
# wizard's own runtime search finds it (WINEPREFIX and PATH as for wine).
kevo_register_java_runtime() {
  local key='HKLM\SOFTWARE\JavaSoft\Java Runtime Environment'
  timeout 120 wine reg add "$key" /v CurrentVersion /d 1.8 /f </dev/null >/dev/null &&
    timeout 120 wine reg add "$key\\1.8" /v RuntimeLib /d "$(winepath -w "$1")" /f </dev/null >/dev/null
}

# The kill case of installer_wine_test.sh (sourced there): fresh install,
# upgrade and uninstall, each stopped by SIGKILL of the Windows process at a
# numbered step (installers built with the test-only KEVO_KILL_HOOK wait at
# the step named by KEVO_KILL_AT_STEP). After each kill the state must be the
# old or the new installation or nothing, or a switch that its journal
# records; the next run must finish it. Old and new differ in every file.
register_java
old_image=$work/old-image
rm -rf "$old_image" "$work/old-generated" && cp -r "$image" "$old_image" && cp -r "$generated" "$work/old-generated"
for f in "$old_image"/*; do [ "${f##*.}" = ini ] || printf 'old release' >>"$f"; done
python3 "$source_dir/installer/release_tool.py" nsh --image "$old_image" --files "$generated/image-files.txt" \
  --out "$work/old-generated/KEVOImage.nsh"
old=$(variant_generated=$work/old-generated variant 0.9.0.0 "$image/KEVOValidationInfo.ini" -DKEVO_KILL_HOOK) || fail "$old"
new=$(variant_tag=-hook variant "$project_version" "$image/KEVOValidationInfo.ini" -DKEVO_KILL_HOOK) || fail "$new"
marker=$c/kevo-kill-step.txt
# Outside Program Files, without spaces: the uninstaller's _?= takes the
# rest of its command line unquoted.
inst=$c/KEVO inst_win='C:\KEVO'
un='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\KEVO'
n=$(grep -vc '^KEVOValidationInfo.ini$' "$generated/image-files.txt")

# killed_at STEP EXE ARGS...: runs EXE until it waits at STEP, then kills it.
killed_at() {
  local step=$1 exe=$2 pid; shift 2
  rm -f "$marker"
  KEVO_KILL_AT_STEP=$step KEVO_KILL_MARKER='C:\kevo-kill-step.txt' wine "$exe" "$@" </dev/null >/dev/null 2>&1 &
  pid=$!
  wait_for 120 test -s "$marker" || fail "$step: the run never got there"
  if grep -q total "$marker"; then wait $pid; fail "step $step lies beyond the run ($(cat "$marker"))"; fi
  grep -q "$(basename "$exe")" /proc/$pid/cmdline 2>/dev/null || fail "$step: process $pid is not $(basename "$exe")"
  kill -KILL $pid
  wait $pid 2>/dev/null
}

# The files under their final names: every one whole, of one release (old or
# new), unless a journal records a switch. Prints old, new, none or switching.
files_state() {
  local name seen=""
  while read -r name; do
    [ "$name" = KEVOValidationInfo.ini ] || [ ! -e "$inst/$name" ] && continue
    if cmp -s "$image/$name" "$inst/$name"; then seen="$seen new"
    elif cmp -s "$old_image/$name" "$inst/$name"; then seen="$seen old"
    else fail "$name is neither release's file ($(stat -c %s "$inst/$name") bytes)"
    fi
  done <"$generated/image-files.txt"
  local kinds; kinds=$(tr ' ' '\n' <<<"$seen" | sort -u | grep -c .)
  if [ -e "$inst/KEVOSetup.journal" ]; then echo switching
  elif [ "$kinds" = 0 ]; then echo none
  elif [ "$kinds" = 1 ] && [ "$(tr ' ' '\n' <<<"$seen" | grep -c .)" = "$n" ]; then echo "${seen##* }"
  else fail "files of both releases or missing ones, and no journal:$seen"
  fi
}

# An installed release: its files, and the version registered for it.
expect_release() { # old|new|none
  case $1 in
  old) expect_version_key 0 9 0; expect_value "$un" DisplayVersion "REG_SZ 0.9.0.0" ;;
  new) expect_version_key "$p_major" "$p_minor" "$p_revision"; expect_value "$un" DisplayVersion "REG_SZ $project_version" ;;
  none) ! reg_has_key 'HKLM\Software\KEVO\Version' || fail "a Version key without the files"
        [ -z "$(reg_get 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' KEVOSoftverchk)" ] || fail "logon entry without the files" ;;
  esac
  [ "$1" = none ] || expect_value 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' KEVOSoftverchk "REG_SZ \"$inst_win\\KEVOSoftverchk.exe\""
}

# After a killed uninstall: every entry point left names a file that is there,
# and without the uninstall entry nothing is left.
expect_entry_points_whole() {
  local lnk
  [ -z "$(reg_get 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' KEVOSoftverchk)" ] || [ -f "$inst/KEVOSoftverchk.exe" ] || fail "logon entry names a removed program"
  [ -z "$(reg_default 'HKLM\Software\Microsoft\Windows\CurrentVersion\App Paths\KEVORevoke.exe')" ] || [ -f "$inst/KEVORevoke.exe" ] || fail "App Paths names a removed program"
  for lnk in "$menu"/*.lnk; do [ -e "$lnk" ] && [ ! -f "$inst/KEVORWSetting.exe" ] && fail "shortcut $lnk left without its program"; done
  reg_has_key "$un" || uninstalled || fail "uninstall entry removed before the files: $(ls -A "$inst")"
  [ ! -e "$inst" ] || [ -f "$inst/uninstall.exe" ] || fail "files left without their uninstaller"
}

if [ "${KEVO_KILL_ALL:-0}" = 1 ]; then
  fresh_steps=$(echo $(seq 1 $((2 * n + 9)))) upgrade_steps=$fresh_steps uninstall_steps=$(echo $(seq 1 $((n + 2))))
else
  # Spread over the run: the uninstall entry, staging, the journal, inside
  # the switch, after the switch; entry points, files, the last file.
  fresh_steps="1 $((n / 2)) $((n + 3)) $((n + 8)) $((2 * n + 9))" upgrade_steps=$fresh_steps uninstall_steps="1 3 $((n + 2))"
fi
printf '%-9s %6s  %-10s %s\n' run step killed next-run
table() { printf '%-9s %6s  %-10s %s\n' "$@"; }
run_kills() { # KIND STEPS...
  local kind=$1 step state; shift
  for step in "$@"; do
    case $kind in
    fresh)
      killed_at "$step" "$old" /S '/D=C:\KEVO'
      state=$(files_state) || fail "$state"; case $state in none|old) expect_release "$state" ;; switching) ;; *) fail "fresh install left $state" ;; esac
      # Listed, but not yet working: the entry says so.
      if reg_has_key "$un" && ! reg_has_key 'HKLM\Software\KEVO\Version'; then
        [ "$(display_name)" = 'KEVO利用者ソフト（インストール未完了）' ] || fail "unfinished install listed as '$(display_name)'"
      fi
      install_silently "$old" 0 '/D=C:\KEVO'; [ "$(files_state)" = old ] || fail "not finished"; expect_release old ;;
    upgrade)
      killed_at "$step" "$new" /S
      state=$(files_state) || fail "$state"; case $state in old|new) expect_release "$state" ;; switching) ;; *) fail "upgrade left $state" ;; esac
      install_silently "$new"; [ "$(files_state)" = new ] || fail "not finished"; expect_release new ;;
    uninstall)
      killed_at "$step" "$inst/uninstall.exe" /S "_?=$inst_win"
      expect_entry_points_whole
      state=$(ls "$inst" 2>/dev/null | grep -c .)" files"
      reg_has_key "$un" && quiet_uninstall $in_place_done
      uninstalled || fail "the next uninstall left something" ;;
    esac
    table "$kind" "$step" "$state" finished
  done
}
# Each round leaves what the next one starts from: nothing, old, new, nothing.
for round in $(seq 1 "$(wc -w <<<"$fresh_steps")"); do
  run_kills fresh "$(cut -d' ' -f"$round" <<<"$fresh_steps")"
  run_kills upgrade "$(cut -d' ' -f"$round" <<<"$upgrade_steps")"
  step=$(cut -d' ' -f"$round" <<<"$uninstall_steps")
  if [ -n "$step" ]; then run_kills uninstall "$step"; else quiet_uninstall $in_place_done; fi
done

# Kills at moments no hook step marks (inside a write, a rename, a registry
# call: the run is let go at a step and killed a moment later), and next
# runs by other programs: a newer installer, an older one,
# the uninstaller. KEVO_KILL_SEED repeats a run's moments.
seed=${KEVO_KILL_SEED:-$$}
RANDOM=$seed
killed_inside() { # EXE ARGS...: let go at a random step, killed 0 to 60 ms later, inside what follows it
  local exe=$1 pid step=$((1 + RANDOM % (2 * n + 9))) ms=$((RANDOM % 61)); shift
  rm -f "$marker"
  KEVO_KILL_AT_STEP=$step KEVO_KILL_MARKER='C:\kevo-kill-step.txt' wine "$exe" "$@" </dev/null >/dev/null 2>&1 &
  pid=$!
  wait_for 120 test -s "$marker" || fail "$step: the run never got there"
  rm -f "$marker"
  sleep "0.$(printf %03d $ms)"
  kill -KILL $pid 2>/dev/null
  wait $pid 2>/dev/null
  echo "$step+${ms}ms"
}
newer=$(variant "$p_major.$p_minor.$((p_revision + 1)).0" "$image/KEVOValidationInfo.ini")
at=$(killed_inside "$old" /S '/D=C:\KEVO')
state=$(files_state) || fail "$state"; case $state in none|old|switching) ;; *) fail "fresh install killed after $at left $state" ;; esac
install_silently "$old" 0 '/D=C:\KEVO'; [ "$(files_state)" = old ] || fail "not finished"; expect_release old
table fresh "$at" "$state" "finished by the same installer"
at=$(killed_inside "$new" /S)
state=$(files_state) || fail "$state"; case $state in old|new|switching) ;; *) fail "upgrade killed after $at left $state" ;; esac
install_silently "$newer"; [ "$(files_state)" = new ] || fail "not finished by a newer installer"
expect_version_key "$p_major" "$p_minor" "$((p_revision + 1))"
table upgrade "$at" "$state" "finished by a newer installer"
quiet_uninstall $in_place_done
install_silently "$old" 0 '/D=C:\KEVO'
step=$((n + 5))
killed_at "$step" "$new" /S
[ "$(files_state)" = switching ] || fail "step $step is not inside the switch"
install_silently "$old" 1638
[ "$(files_state)" = switching ] || fail "an older installer touched a newer switch"
table upgrade "$step" switching "older installer: 1638, switch left"
quiet_uninstall $in_place_done
uninstalled || fail "the uninstaller left a switched installation: $(ls -A "$inst")"
table upgrade "$step" switching "removed by the uninstaller"
echo "random moments from seed $seed (KEVO_KILL_SEED=$seed repeats them)"
grep -q 'finished the switch to' "$log" || fail "no run finished a switch from its journal"
stale=$(find "$c/users" -maxdepth 3 -name 'ns*.tmp' 2>/dev/null)
[ -z "$stale" ] || fail "working folders of killed runs left: $stale"
! reg_has_key 'HKLM\Software\KEVO\WorkFolders' || fail "working folders still recorded"
pass "every killed state was whole (old, new, nothing or a journalled switch) and the next run finished it"

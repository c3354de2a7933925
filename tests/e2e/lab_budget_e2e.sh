#!/usr/bin/env bash
# The lab-wide budget under Wine: two PCs (two prefixes, computer names
# LABPC-A and LABPC-B) share one master folder with a usage folder. The pupil
# has 3 minutes a day; pelorus.exe runs on both at once (/minute=2, PC B one
# second later) and both sessions end after 2 minutes each, together at the
# lab's limit, where one PC alone would have allowed 3.
#
#   tests/e2e/lab_budget_e2e.sh BUILD_DIR
#
# BUILD_DIR is a mingw64 build holding pelorus.exe, Tessel.dll, noxadmin.exe,
# demo_pelorus_watch.exe and e2e_start_recorder.exe in bin/. The prefixes have
# no drive Z:; the shared master folder is a folder of this run, linked into
# each prefix as C:\lab. Exit status 0 when every check holds.
set -Eeuo pipefail
# Wine's reg prints its errors on standard output, which the set-up sends to
# /dev/null: a step that fails says at least which one it was.
trap 'echo "lab_budget_e2e.sh: line $LINENO failed with status $?" >&2' ERR

readonly kWine=/usr/lib/wine/wine64
readonly kWineServer=/usr/lib/wine/wineserver64

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd -P)
repo=$(cd "$here/../.." && pwd -P)
bin=$(cd "${1:?usage: lab_budget_e2e.sh BUILD_DIR}/bin" && pwd -P)
work=$(mktemp -d "${TMPDIR:-/tmp}/nox-lab.XXXXXX")
failures=0

Cleanup() {
  for pc in a b; do WINEPREFIX=$work/$pc "$kWineServer" -k 2>/dev/null || true; done
  rm -rf -- "$work"
}
trap Cleanup EXIT

# A program of PC $1 with its current directory in its drive C:.
Win() {
  local pc=$1
  shift
  (cd "$work/$pc/drive_c" && WINEPREFIX=$work/$pc WINEDEBUG=-all "$kWine" "$@") </dev/null
}

Check() {
  local what=$1 expected=$2 actual=$3
  if [[ $expected == "$actual" ]]; then
    echo "ok   $what: $actual"
  else
    echo "FAIL $what: expected \"$expected\", got \"$actual\""
    failures=$((failures + 1))
  fi
}

mkdir -p "$work/lab"
for pc in a b; do
  NOX_BUILD_DIR=$work/unused "$repo/tests/wine/prefix" "$work/$pc" >/dev/null
  drive_c=$work/$pc/drive_c
  mkdir -p "$drive_c/Nox"
  cp "$bin/pelorus.exe" "$bin/Tessel.dll" "$bin/noxadmin.exe" "$bin/demo_pelorus_watch.exe" \
    "$drive_c/Nox/"
  ln -s "$work/lab" "$drive_c/lab"
  # Wine keeps the computer name in a volatile key that wineboot fills when a
  # server starts; with wineboot replaced below, one server must last the run.
  # A server already running (exit status 2; a process of the boot may have
  # started one as it ended) would not last: it gives way to a persistent one.
  if ! WINEPREFIX=$work/$pc "$kWineServer" -p; then
    WINEPREFIX=$work/$pc "$kWineServer" -k 2>/dev/null || true
    WINEPREFIX=$work/$pc "$kWineServer" -w
    WINEPREFIX=$work/$pc "$kWineServer" -p
  fi
  name=LABPC-${pc^^}
  Win "$pc" reg add 'HKLM\System\CurrentControlSet\Control\ComputerName\ActiveComputerName' \
    /v ComputerName /d "$name" /f >/dev/null
  # A log-off runs wineboot.exe, which would end the prefix: a recording
  # stand-in takes its place.
  cp "$bin/e2e_start_recorder.exe" "$drive_c/windows/system32/wineboot.exe"
  Win "$pc" reg add 'HKCU\Software\Wine\DllOverrides' /v wineboot.exe /d native /f >/dev/null
  # What the login writes for the pupil, record 1.
  key='HKLM\Software\Quillon\Netsieve\CurrentVersion'
  Win "$pc" reg add "$key" /v User /d 1 /f >/dev/null
  Win "$pc" reg add "$key" /v UserName /d pupil /f >/dev/null
done

# The administrator's tables on PC A, copied to PC B as the login would copy
# them from the master folder.
Win a 'C:\Nox\noxadmin.exe' user add pupil --minutes 3 >/dev/null
Win a 'C:\Nox\noxadmin.exe' settings set --master-folder 'C:\lab' --lab-budget on >/dev/null
cp "$work/a/drive_c/windows/system32/"{USER.TBL,NoxSettings.TBL} "$work/b/drive_c/windows/system32/"
Check "usage folder made by noxadmin" yes "$([[ -d $work/lab/usage ]] && echo yes || echo no)"

Win a 'C:\Nox\demo_pelorus_watch.exe' 'C:\Nox' 2 1 >"$work/a.log" 2>&1 &
watch_a=$!
sleep 1
Win b 'C:\Nox\demo_pelorus_watch.exe' 'C:\Nox' 2 1 >"$work/b.log" 2>&1 &
watch_b=$!
wait "$watch_a" || true
wait "$watch_b" || true

for pc in a b; do
  name=LABPC-${pc^^}
  echo "-- $name"
  tr -d '\r' <"$work/$pc.log"
  used=$(Win "$pc" 'C:\Nox\noxadmin.exe' user show pupil | tr -d '\r' |
    sed -n 's/^minutes .*used \([-0-9]*\),.*/\1/p')
  Check "$name: minutes in its own USER.TBL" 2 "$used"
  Check "$name: expired message" 1 "$(grep -c 'Your allocated session minutes have expired' "$work/$pc.log")"
  # Windows runs the session end on its own: give the stand-in a moment to note it.
  for _ in $(seq 50); do
    logoff=$(tr -d '\r' <"$work/$pc/drive_c/nox-e2e/starts.log" 2>/dev/null |
      grep -c '^wineboot.exe|.*--kill' || true)
    ((logoff > 0)) && break
    sleep 0.1
  done
  Check "$name: forced log-off asked" 1 "$logoff"
  Check "$name: its usage file" yes "$([[ -f $work/lab/usage/$name.tbl ]] && echo yes || echo no)"
done
usage=$(Win a 'C:\Nox\noxadmin.exe' usage | tr -d '\r')
echo "$usage"
Check "lab total in noxadmin usage" "pupil  (all)    4" "$(grep '(all)' <<<"$usage")"

((failures == 0)) || { echo "$failures check(s) failed"; exit 1; }
echo "lab budget: all checks passed"

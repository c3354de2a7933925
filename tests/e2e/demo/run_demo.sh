#!/usr/bin/env bash
# The demo machine: a Wine prefix with Nox installed and demo tables, one
# login by explorer.exe, what that login changed, and the uninstaller
# Clearway.exe undoing it, in readable form.
#
#   tests/e2e/demo/run_demo.sh BUILD_DIR
#
# BUILD_DIR is a mingw64 build holding explorer.exe, Clearway.exe, snaretry.exe, CLASPS.dll, Tessel.dll,
# noxadmin.exe, e2e_start_recorder.exe, demo_snapshot.exe, pelorus.exe and
# demo_pelorus_watch.exe in bin/. Runs
# headless: windows go to Wine's null graphics driver. The prefix has no
# drive Z:, and every program runs with its current directory in drive_c.
set -euo pipefail

readonly kWine=/usr/lib/wine/wine64
readonly kWineServer=/usr/lib/wine/wineserver64
readonly kLogonName=pupil

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd -P)
repo=$(cd "$here/../../.." && pwd -P)
bin=$(cd "${1:?usage: run_demo.sh BUILD_DIR}/bin" && pwd -P)
work=$(mktemp -d "${TMPDIR:-/tmp}/nox-demo.XXXXXX")
prefix=$work/prefix

Cleanup() {
  WINEPREFIX=$prefix "$kWineServer" -k 2>/dev/null || true
  rm -rf -- "$work"
}
trap Cleanup EXIT

Title() { printf '\n== %s\n' "$*"; }

# A Windows program of the demo machine; current directory C:\.
Win() {
  (cd "$prefix/drive_c" && WINEPREFIX=$prefix WINEDEBUG=-all "$kWine" "$@") </dev/null
}

# Text from a Windows program: CR LF lines become plain lines.
WinText() {
  Win "$@" 2>/dev/null | tr -d '\r'
}

# The registry values that differ between two snapshots, grouped by key:
# "name  before  ->  after".
RegistryChanges() {
  awk -F'|' '
    FNR == NR { if ($1 == "REG") before[$2 "|" $3] = $5; next }
    $1 == "REG" {
      id = $2 "|" $3
      was = (id in before) ? before[id] : "(not set)"
      if (was != $5) printf "%s\t    %-28s %s  ->  %s\n", $2, $3, was, $5
      seen[id] = 1
    }
    END {
      for (id in before) if (!(id in seen)) {
        split(id, part, "|")
        printf "%s\t    %-28s %s  ->  (deleted)\n", part[1], part[2], before[id]
      }
    }' "$1" "$2" | LC_ALL=C sort -t "$(printf '\t')" -k1,1 -s |
    awk -F'\t' '$1 != key { key = $1; print "  " key } { print $2 }'
}

# Wine names every account after the USER of the asking process, and the
# service asks in Wine's services, which inherit the first program's
# environment: the whole machine runs as the logon name.
export USER=$kLogonName

Title "Making the demo machine (a fresh Wine prefix)"
NOX_BUILD_DIR=$work/unused "$repo/tests/wine/prefix" "$prefix" >/dev/null
drive_c=$prefix/drive_c
system=$drive_c/windows/system32
mkdir -p "$drive_c/Nox"
for file in explorer.exe Clearway.exe snaretry.exe CLASPS.dll Tessel.dll noxadmin.exe demo_snapshot.exe; do
  cp "$bin/$file" "$drive_c/Nox/"
done
# Stand-ins for the real Windows shell and the companion program: they note
# how they were started and end.
cp "$bin/e2e_start_recorder.exe" "$drive_c/Nox/pelorus.exe"
cp "$bin/e2e_start_recorder.exe" "$drive_c/windows/explorer.exe"
printf 'Date/Time control panel\r\n' >"$system/Timedate.cpl"
Win reg add 'HKLM\Software\Microsoft\Internet Explorer' /v version /d 5.50.4134.0100 /f >/dev/null
echo "prefix: $prefix (drive Z: removed)"
echo "Nox installed in C:\\Nox; the Windows logon name is \"$kLogonName\""

Title "The administrator's tables (written with noxadmin)"
Admin() { WinText 'C:\Nox\noxadmin.exe' "$@"; }
Admin user add teacher --password chalk --level "Office Low" >/dev/null
Admin user add pupil --level "Education High" --minutes 120 \
  --drives "D=00:00-23:59;E=08:00-16:00" --programs "calc.exe;notepad.exe" \
  --discs "MATHS;ATLAS" >/dev/null
Admin user add guest --password visitor --level "Home Med." --network 2 >/dev/null
Admin user add .Default --password letmein --level "Home High" >/dev/null
Admin user list
echo
echo "What the pupil's level switches on:"
Admin levels "Education High" | sed 's/^/  /'

Title "Registry and files before the login"
Win 'C:\Nox\demo_snapshot.exe' 'C:\MSDOS.SYS' 2>/dev/null | tr -d '\r' | sort >"$work/before"
echo "$(grep -c '^REG|' "$work/before") watched registry values, $(grep -c '^FILE|' "$work/before") watched files"

Title "Windows starts the shell: C:\\Nox\\explorer.exe (logon name $kLogonName)"
status=0
(cd "$drive_c" && USER=$kLogonName WINEPREFIX=$prefix WINEDEBUG=-all timeout 120 \
  "$kWine" 'C:\Nox\explorer.exe') </dev/null >/dev/null 2>&1 || status=$?
echo "explorer.exe ended with exit code $status; no window was shown (automatic login)"
# The stubs run on their own; give them a moment to note their start.
for _ in $(seq 50); do
  [[ $(grep -c . "$drive_c/nox-e2e/starts.log" 2>/dev/null) -ge 2 ]] && break
  sleep 0.1
done

Title "What the login changed in the registry"
Win 'C:\Nox\demo_snapshot.exe' 'C:\MSDOS.SYS' 2>/dev/null | tr -d '\r' | sort >"$work/after"
RegistryChanges "$work/before" "$work/after"

Title "Files"
awk -F'|' '
  FNR == NR { if ($1 == "FILE") before[$2] = $3; next }
  $1 == "FILE" { now[$2] = $3 }
  END {
    for (f in before) if (!(f in now)) printf "  %s is gone\n", f
    for (f in now) {
      if (!(f in before)) printf "  %s appeared (%d bytes)\n", f, now[f]
      else if (before[f] != now[f]) printf "  %s changed (%d -> %d bytes)\n", f, before[f], now[f]
    }
  }' "$work/before" "$work/after" | sort
if [[ -f $system/123456789.123 && ! -f $system/Timedate.cpl ]]; then
  echo "  (Timedate.cpl was renamed to 123456789.123: the Date/Time panel is hidden)"
fi
if [[ -f $drive_c/MSDOS.SYS ]]; then
  echo "  C:\\MSDOS.SYS [Options]:"
  tr -d '\r' <"$drive_c/MSDOS.SYS" | sed -n '/^\[Options\]/,/^\[/p' | grep -v '^\[' | sed 's/^/    /'
fi

Title "Programs the login started"
show_names=([1]="normal" [2]="minimized" [3]="maximized")
# Each stub logs itself once it runs, so the log's order is a race; listed
# by name, the shell comes first, as the login starts it.
while IFS='|' read -r program show command; do
  printf '  %-45s %s window\n' "${command%$'\r'}" "${show_names[$show]:-state $show}"
done < <(tr -d '\r' <"$drive_c/nox-e2e/starts.log" 2>/dev/null | sort -t'|' -k1,1)

Title "The pupil's record after the login (the day's minutes)"
Admin user show pupil | grep -i -E 'minute|last' | sed 's/^/  /'

Title "pelorus.exe keeps the minutes: a 2-minute budget (one demo minute lasts 5 s)"
Admin user set pupil --minutes 2 >/dev/null
cp "$bin/pelorus.exe" "$bin/demo_pelorus_watch.exe" "$drive_c/Nox/"
# Wine logs off by running wineboot.exe, which would end the demo machine:
# the recording stand-in takes its place and notes how it was asked.
cp "$bin/e2e_start_recorder.exe" "$system/wineboot.exe"
Win reg add 'HKCU\Software\Wine\DllOverrides' /v wineboot.exe /d native /f >/dev/null 2>&1
echo "The login wrote \"User\" = $(Win reg query 'HKLM\Software\Quillon\Netsieve\CurrentVersion' /v User 2>/dev/null |
  tr -d '\r' | awk '$1 == "User" { print $3 }') (the pupil's record); pelorus.exe counts into it:"
WinText 'C:\Nox\demo_pelorus_watch.exe' 'C:\Nox' 5 2 || true
# Windows runs the session end on its own: give the stand-in a moment to note it.
for _ in $(seq 50); do
  logoff=$(tr -d '\r' <"$drive_c/nox-e2e/starts.log" | awk -F'|' '$1 == "wineboot.exe" { print $3 }' | tail -1)
  [[ -n $logoff ]] && break
  sleep 0.1
done
echo "  Windows was asked to log off: ${logoff:-(nothing recorded)}"
Admin user show pupil | grep -i -E '^minutes' | sed 's/^/  /'

Title "Windows 10/11 with standard accounts: the login through NoxService"
cp "$bin/NoxService.exe" "$drive_c/Nox/"
Win 'C:\Nox\NoxService.exe' /install 2>&1 | tr -d '\r' | sed 's/^/  /'
Win reg add 'HKLM\Software\Quillon\Nox\Service' /v MinuteSeconds /t REG_DWORD /d 5 /f >/dev/null 2>&1
Win net start NoxService >/dev/null 2>&1 || true
echo "  NoxService installed and started (LocalSystem; the pipe \\.\pipe\NoxService)"
# The pupil's restrictions are taken away first, and the login program gets
# no CLASPS.dll, through which it writes every value itself: all that comes
# back is the service's doing.
Win reg delete 'HKCU\Software\Microsoft\Windows\CurrentVersion\Policies' /f >/dev/null 2>&1 || true
mv "$drive_c/Nox/CLASPS.dll" "$drive_c/Nox/CLASPS.dll.aside"
Admin user set pupil --minutes 120 >/dev/null
: >"$drive_c/nox-e2e/starts.log"
Win 'C:\Nox\demo_snapshot.exe' 'C:\MSDOS.SYS' 2>/dev/null | tr -d '\r' | sort >"$work/service.before"
status=0
(cd "$drive_c" && USER=$kLogonName WINEPREFIX=$prefix WINEDEBUG=-all timeout 120 \
  "$kWine" 'C:\Nox\explorer.exe') </dev/null >/dev/null 2>&1 || status=$?
for _ in $(seq 50); do
  [[ $(grep -c . "$drive_c/nox-e2e/starts.log" 2>/dev/null) -ge 2 ]] && break
  sleep 0.1
done
Win 'C:\Nox\demo_snapshot.exe' 'C:\MSDOS.SYS' 2>/dev/null | tr -d '\r' | sort >"$work/service.after"
echo "  explorer.exe (without CLASPS.dll) ended with exit code $status; the shell's stand-in noted its start:"
tr -d '\r' <"$drive_c/nox-e2e/starts.log" | cut -d'|' -f3 | sort | sed 's/^/    /'
echo "  $(RegistryChanges "$work/service.before" "$work/service.after" | grep -c -- '->') registry values written back by the service into the pupil's hive, for example:"
RegistryChanges "$work/service.before" "$work/service.after" | grep -- '->' | sed -n 1,5p
sleep 11
echo "  Two demo minutes later, with no pelorus.exe running, the service has counted:"
Admin user show pupil | grep -i -E '^minutes' | sed 's/^/    /'
Win net stop NoxService >/dev/null 2>&1 || true
Win 'C:\Nox\NoxService.exe' /uninstall 2>&1 | tr -d '\r' | sed 's/^/  /'
mv "$drive_c/Nox/CLASPS.dll.aside" "$drive_c/Nox/CLASPS.dll"
echo "  NoxService stopped and removed"

Title "The administrator stores the uninstaller's password (noxadmin, through Tessel.dll)"
Admin password set demo-admin | sed 's/^/  /'
ls "$system" | grep -i -E '^([0-9]+\.(tbl|kwt|tbb|kwb|pmk|pmb)|user\.(tbl|tbb|cur)|pwd\.tbl|noxsettings\.tbl)$' |
  sort >"$work/tables.before"
Win 'C:\Nox\demo_snapshot.exe' 'C:\MSDOS.SYS' 2>/dev/null | tr -d '\r' | sort >"$work/login"

Title "The uninstaller: C:\\Nox\\Clearway.exe demo-admin"
status=0
(cd "$drive_c" && WINEPREFIX=$prefix WINEDEBUG=-all timeout 120 \
  "$kWine" 'C:\Nox\Clearway.exe' demo-admin) </dev/null >/dev/null 2>&1 || status=$?
echo "Clearway.exe ended with exit code $status; no message box (the password was right)"

Title "What Clearway changed back in the registry"
Win 'C:\Nox\demo_snapshot.exe' 'C:\MSDOS.SYS' 2>/dev/null | tr -d '\r' | sort >"$work/uninstalled"
RegistryChanges "$work/login" "$work/uninstalled"

Title "The registry after the uninstall, against the snapshot before the first login"
# Left out: Nox's own keys (who logged on last, the service's settings) and
# the folder cache that Wine keeps in "Shell Folders" itself.
Comparable() {
  grep '^REG|' "$1" | grep -v -e '^REG|HKLM\\Software\\Quillon' |
    grep -v -E '^REG\|HKCU\\[^|]*\\Shell Folders\|(Cache|Cookies|History)\|'
}
changed=$(diff <(Comparable "$work/before") <(Comparable "$work/uninstalled") | grep -c '^[<>]' || true)
if [[ $changed == 0 ]]; then
  echo "  all $(Comparable "$work/before" | grep -c .) watched values are as they were before Nox"
else
  echo "  $changed lines differ from before Nox:"
  diff <(Comparable "$work/before") <(Comparable "$work/uninstalled") | grep '^[<>]' | sed 's/^/    /'
fi

Title "Table files Clearway removed from the system directory"
ls "$system" | grep -i -E '^([0-9]+\.(tbl|kwt|tbb|kwb|pmk|pmb)|user\.(tbl|tbb|cur)|pwd\.tbl|noxsettings\.tbl)$' |
  sort >"$work/tables.after"
comm -23 "$work/tables.before" "$work/tables.after" | sed 's/^/  /'
remaining=$(comm -13 /dev/null "$work/tables.after" | tr '\n' ' ')
echo "  (still there: ${remaining:-none})"
if [[ -f $system/Timedate.cpl && ! -f $system/123456789.123 ]]; then
  echo "  (123456789.123 is Timedate.cpl again: the Date/Time panel is back)"
fi

Title "The uninstaller's error trap at work: snaretry.exe /depth 2 53"
printf '[preferences]\r\nSilent Run=1\r\n[log file]\r\nWrite To Disk=1\r\nCapture To Disk=1\r\nLog File=snare.log\r\n[include]\r\nResources=0\r\nMemory=0\r\nUser=0\r\n' \
  >"$drive_c/Nox/SNCLIENT.INI"
Win 'C:\Nox\snaretry.exe' /depth 2 53 >/dev/null 2>&1 || true
echo "  SNCLIENT.INI: Silent Run=1, Write To Disk=1, Capture To Disk=1, Log File=snare.log"
echo "  C:\Nox\snare.log (traced calls, the trapped error and its error log):"
tr -d '\r' <"$drive_c/Nox/snare.log" | sed '/^$/d; s/^/    /'
echo
echo "nox demo: done"

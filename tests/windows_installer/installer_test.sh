#!/bin/sh
# The Windows installer under wine, in a fresh prefix, on the X display that xvfb-run gives it:
# - it carries the program's version in its name and properties and installs silently (/S) into
#   the user's programs folder, with Start-menu entries and an entry under "Приложения и
#   возможности";
# - the installed programs start, show their windows and close (the whole-program test's check of
#   the shipped programs, run on the installed folder);
# - while the program runs, neither an uninstall nor a new installation goes ahead: each says so
#   and stops with exit code 2;
# - a second installation upgrades in place and keeps the data and the autostart entry;
# - a silent uninstall removes the program, its entries and its autostart entry, and keeps
#   %LOCALAPPDATA%\meteostation.
#   installer_test.sh WINE PREFIX INSTALLER TEST-PROGRAM VERSION SCREENSHOT-FOLDER
set -eu
wine=$1
prefix=$2
installer=$3
test_program=$4
version=$5
screenshots=$6
wineserver="$(dirname "$wine")/wineserver"
failures=0
fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}
check() { # check DESCRIPTION COMMAND...
  what=$1
  shift
  if "$@"; then echo "ok: $what"; else fail "$what"; fi
}

[ -f "$installer" ] || { echo "FAILED: no installer at $installer (cmake --build . --target meteo_installer)"; exit 1; }
"$(dirname "$0")/../wine/fresh_prefix.sh" "$wine" "$prefix"
export WINEPREFIX="$prefix" WINEDEBUG=-all
user=$(ls "$prefix/drive_c/users" | grep -v -x -e Public -e Default | head -n 1)
local_data="$prefix/drive_c/users/$user/AppData/Local"
programs="$local_data/Programs/meteostation"
windows_programs="C:\\users\\$user\\AppData\\Local\\Programs\\meteostation"
data="$local_data/meteostation"
menu="$prefix/drive_c/users/$user/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Метеостанция"
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\meteostation'
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'

# reg_value KEY NAME: the value's data as `reg query` shows it, or nothing.
reg_value() {
  "$wine" reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_[A-Z_]* *//p"
}
# run_installer ARGUMENTS...: runs the installer and waits for every process it started.
run_and_wait() {
  status=0
  "$wine" "$@" || status=$?
  "$wineserver" -w
  return $status
}

# The version in the file's name and in its properties (the version resource, UTF-16 text).
case "$(basename "$installer")" in
  *"-$version-"*) echo "ok: the installer's name carries $version" ;;
  *) fail "the installer's name $(basename "$installer") lacks $version" ;;
esac
check "the installer's properties give version $version" \
  sh -c "strings -el '$installer' | grep -A1 -x ProductVersion | grep -q -x '$version'"

# A silent installation.
check "the silent installation ends well" run_and_wait "$installer" /S
for file in meteostation.exe meteostation-demo.exe meteostation-hid-list.exe uninstall.exe platforms/qwindows.dll; do
  check "installed: $file" test -f "$programs/$file"
done
check "Start menu: Метеостанция" test -f "$menu/Метеостанция.lnk"
check "Start menu: Метеостанция (демонстрация)" test -f "$menu/Метеостанция (демонстрация).lnk"
check "listed under Приложения и возможности with version $version" test "$(reg_value "$uninstall_key" DisplayVersion)" = "$version"
check "the entry's uninstaller is the installed one" \
  test "$(reg_value "$uninstall_key" UninstallString)" = "\"$windows_programs\\uninstall.exe\""

# The installed programs start, show their windows and close, writing into the data folder.
mkdir -p "$screenshots"
status=0
WINEPATH="$windows_programs" METEO_INSTALLED="$windows_programs" \
  METEO_SCREENSHOTS="Z:$(printf '%s' "$screenshots" | tr / '\\')" \
  "$wine" "$test_program" --gtest_filter='ProgramUnderWine.TheShippedPrograms*' || status=$?
"$wineserver" -w
check "the installed programs start, show their windows and close" test "$status" = 0
check "the program wrote its history into the data folder" test -f "$data/met.mtb"

# While the program runs: no uninstall, no installation. Its lock file in the data folder says
# when it has started.
"$wine" "$windows_programs\\meteostation.exe" &
program=$!
waited=0
while [ ! -f "$data/.meteostation.lock" ] && [ $waited -lt 600 ]; do
  sleep 0.1
  waited=$((waited + 1))
done
check "the installed program runs" test -f "$data/.meteostation.lock"
status=0
"$wine" "$programs/uninstall.exe" /S "_?=$windows_programs" || status=$?
check "an uninstall while the program runs stops with code 2 (got $status)" test "$status" = 2
check "... and leaves the program in place" test -f "$programs/meteostation.exe"
status=0
"$wine" "$installer" /S || status=$?
check "an installation while the program runs stops with code 2 (got $status)" test "$status" = 2
kill "$program" 2>/dev/null || true
wait "$program" 2>/dev/null || true
"$wineserver" -k 2>/dev/null || true
"$wineserver" -w

# A second installation upgrades in place: the data and the autostart entry stay.
"$wine" reg add "$run_key" /v meteostation /d "\"$windows_programs\\meteostation.exe\" --tray" /f >/dev/null 2>&1
cp "$data/met.mtb" "$prefix/met.mtb.before" || fail "no history in the data folder to keep"
check "a second installation upgrades in place" run_and_wait "$installer" /S
check "... keeping the data" cmp -s "$data/met.mtb" "$prefix/met.mtb.before"
check "... keeping the autostart entry" test -n "$(reg_value "$run_key" meteostation)"
check "... with the program in place" test -f "$programs/meteostation.exe"

# A silent uninstall: the program, its entries and its autostart entry go; the data stays.
check "the silent uninstall ends well" run_and_wait "$programs/uninstall.exe" /S
check "the program's folder is gone" test ! -e "$programs"
check "the Start-menu entries are gone" test ! -e "$menu"
check "the entry under Приложения и возможности is gone" test -z "$(reg_value "$uninstall_key" DisplayVersion)"
check "the autostart entry is gone" test -z "$(reg_value "$run_key" meteostation)"
check "the data folder stays with its history" cmp -s "$data/met.mtb" "$prefix/met.mtb.before"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"

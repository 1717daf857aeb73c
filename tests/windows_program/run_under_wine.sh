#!/bin/sh
# Runs the whole-program test under wine in a fresh wine prefix of its own, on the X display that
# xvfb-run gives it.
#   run_under_wine.sh WINE PREFIX TEST-PROGRAM INSTALLED-FOLDER SCREENSHOT-FOLDER
set -eu
wine=$1
prefix=$2
test=$3
installed=$4
screenshots=$5
"$(dirname "$0")/../wine/fresh_prefix.sh" "$wine" "$prefix"
mkdir -p "$screenshots"
rm -f "$screenshots"/*.png
# Wine reaches the whole file system as drive Z:.
windows_path() { printf 'Z:%s' "$1" | tr / '\\'; }
export WINEPREFIX="$prefix" WINEDEBUG=-all
# The test program finds Qt's libraries in the installed folder.
export WINEPATH="$(windows_path "$installed")"
export METEO_INSTALLED="$(windows_path "$installed")" METEO_SCREENSHOTS="$(windows_path "$screenshots")"
status=0
"$wine" "$test" || status=$?
"$(dirname "$wine")/wineserver" -w 2>/dev/null || true
echo "screenshots: $screenshots"
exit $status

#!/bin/sh
# Makes a fresh wine prefix for one run of the Windows tests, so that nothing of an earlier run (a
# registry entry, a file in the user's folders, a running wine server) can change its outcome.
#   fresh_prefix.sh WINE PREFIX [DISPLAY-DRIVER]
# DISPLAY-DRIVER "null" gives windows without any X server (hidden windows only).
set -eu
wine=$1
prefix=$2
driver=${3:-}
export WINEPREFIX="$prefix" WINEDEBUG=-all
wineserver="$(dirname "$wine")/wineserver"
[ -x "$wineserver" ] || wineserver=wineserver
if [ -d "$prefix" ]; then
  "$wineserver" -k 2>/dev/null || true
  "$wineserver" -w 2>/dev/null || true
  rm -rf "$prefix"
fi
# No Mono and no Gecko: the tests need neither, and there is no network to fetch them.
WINEDLLOVERRIDES="mscoree,mshtml=" "$wine" wineboot --init >/dev/null 2>&1
if [ -n "$driver" ]; then
  "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d "$driver" /f >/dev/null 2>&1
fi
"$wineserver" -w
echo "wine prefix ready: $prefix"

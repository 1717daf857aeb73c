#!/bin/sh
# Under an X server of its own (xvfb-run): starts the demo as packaged and checks that its window
# carries the window class of its desktop entry and the icon, by which task bars group and show it,
# and that it found its publishing module where the package put it.
#   check_window_identity.sh PROGRAM SCRATCH_FOLDER
set -eu
program=$1
scratch=$2
fail() { echo "FAIL: $*"; exit 1; }

XDG_DATA_HOME="$scratch/data" "$program" >"$scratch/demo.log" 2>&1 &
demo=$!
trap 'kill $demo 2>/dev/null && wait $demo || true' EXIT
deadline=$(($(date +%s) + 60))
window=""
while [ -z "$window" ]; do
  kill -0 $demo 2>/dev/null || { cat "$scratch/demo.log"; fail "the demo ended before showing its window"; }
  [ "$(date +%s)" -lt "$deadline" ] || fail "the demo showed no window within 60 s"
  sleep 0.2
  window=$(xwininfo -root -tree | awk '/"Метеостанция \(демонстрация\)": \("/ { print $1; exit }')
done
class=$(xprop -id "$window" WM_CLASS)
[ "$class" = 'WM_CLASS(STRING) = "meteostation-demo", "meteostation-demo"' ] || fail "window class: $class"
# A small icon for title bars and a large one for docks, from the program itself.
icons=$(xprop -len 1000000 -id "$window" _NET_WM_ICON | grep -o 'Icon ([0-9]* x [0-9]*)' | tr '\n' ' ')
case "$icons" in *"Icon (16 x 16)"*"Icon (256 x 256)"*) ;; *) fail "window icon: ${icons:-none}" ;; esac
echo "window: $class, $icons"
# The stand-in station's window comes with the rest of the start, publishing included.
until xwininfo -root -tree | grep -q '"Имитатор метеостанции — '; do
  kill -0 $demo 2>/dev/null || { cat "$scratch/demo.log"; fail "the demo ended before its station's window"; }
  [ "$(date +%s)" -lt "$deadline" ] || fail "the demo showed no station window within 60 s"
  sleep 0.2
done
if grep -q 'Публикация недоступна' "$scratch/demo.log"; then
  cat "$scratch/demo.log"
  fail "publishing unavailable"
fi

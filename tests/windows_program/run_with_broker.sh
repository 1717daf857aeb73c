#!/bin/sh
# Runs the libraries' test under wine from a copy of the installed folder (so the DLLs the zip ships
# are the only ones it finds), with a mosquitto broker of its own listening on 127.0.0.1.
#   run_with_broker.sh WINE WINE-PREFIX TEST-PROGRAM INSTALLED-FOLDER SCRATCH-FOLDER BROKER
set -eu
wine=$1
prefix=$2
test=$3
installed=$4
scratch=$5
broker=$6
rm -rf "$scratch"
mkdir -p "$scratch"
cp -R "$installed" "$scratch/folder"
cp "$test" "$scratch/folder/"

# A port chosen here may be taken by the time the broker binds it: then it says so and ends, and
# another is tried. Ready once it says it is running; the test's client retries within its wait.
pid=""
trap '[ -z "$pid" ] || kill "$pid" 2>/dev/null || true' EXIT
for attempt in 1 2 3 4 5 6 7 8 9 10; do
  port=$((20000 + ($$ * 31 + attempt * 7919) % 40000))
  printf 'listener %s 127.0.0.1\nallow_anonymous true\n' "$port" >"$scratch/broker.conf"
  "$broker" -c "$scratch/broker.conf" -v >"$scratch/broker.log" 2>&1 &
  pid=$!
  waited=0
  while kill -0 "$pid" 2>/dev/null && ! grep -q ' running$' "$scratch/broker.log" && [ $waited -lt 300 ]; do
    sleep 0.1
    waited=$((waited + 1))
  done
  grep -q ' running$' "$scratch/broker.log" && kill -0 "$pid" 2>/dev/null && break
  kill "$pid" 2>/dev/null || true
  pid=""
done
if [ -z "$pid" ]; then
  echo "the mosquitto broker did not start:" >&2
  cat "$scratch/broker.log" >&2
  exit 1
fi

status=0
WINEPREFIX="$prefix" WINEDEBUG=-all METEO_MQTT_PORT=$port "$wine" "$scratch/folder/$(basename "$test")" || status=$?
"$(dirname "$wine")/wineserver" -w 2>/dev/null || true
[ $status = 0 ] || { echo "broker's log:"; cat "$scratch/broker.log"; }
exit $status

#!/bin/sh
# The shipped demo under wine serves the web page, and the Linux chromium loads it: the demo starts
# from the installed folder with the page on, its stand-in station streams, and the records page,
# filled by its scripts from the Windows program's API, carries the reading the API gives.
#   web_page_under_wine.sh WINE PREFIX INSTALLED-FOLDER SCRATCH-FOLDER CHROMIUM
# Run on an X display of its own (xvfb-run).
set -eu
wine=$1
prefix=$2
installed=$3
scratch=$4
chromium=$5
"$(dirname "$0")/../wine/fresh_prefix.sh" "$wine" "$prefix"
export WINEPREFIX="$prefix" WINEDEBUG=-all
wineserver="$(dirname "$wine")/wineserver"
rm -rf "$scratch"
mkdir -p "$scratch"

fail() {
  echo "ОШИБКА: $*" >&2
  exit 1
}
# Polls `check` (a shell command) until it holds, for up to two minutes: the demo's first start in a
# fresh wine prefix is slow on a busy machine, and nothing here waits longer than it must.
wait_for() {
  waited=0
  until eval "$1"; do
    [ $waited -lt 1200 ] || return 1
    sleep 0.1
    waited=$((waited + 1))
  done
}

# The demo's data folder, %LOCALAPPDATA%\meteostation\demo, as a Linux path.
local_app_data=$("$wine" cmd /c echo %LOCALAPPDATA% 2>/dev/null | tr -d '\r')
folder="$("$wine" winepath -u "$local_app_data" 2>/dev/null | tr -d '\r')/meteostation/demo"
mkdir -p "$folder"
# A port nothing listens on yet (ss, from iproute2), so that a server of another test is not taken
# for the demo's.
port=$((20000 + ($$ * 31) % 40000))
while ss -Hltn "sport = :$port" 2>/dev/null | grep -q .; do port=$((port + 1)); done
printf '[web]\nenabled=true\nport=%s\n' "$port" >"$folder/publish.ini"

address="http://127.0.0.1:$port"
demo=""
trap '[ -z "$demo" ] || kill "$demo" 2>/dev/null || true; "$wineserver" -k 2>/dev/null || true' EXIT
# Starts the shipped demo and waits until its page answers from the Windows program with the
# stand-in station streaming.
start_demo() {
  "$wine" "$installed/meteostation-demo.exe" >>"$scratch/demo.log" 2>&1 &
  demo=$!
  wait_for "curl -s -m 5 '$address/api/v1/current' >'$scratch/current.json' &&
    grep -q '\"state\":\"подключена\"' '$scratch/current.json'" ||
    fail "страница демонстрации под wine не ответила на $address: $(cat "$scratch/current.json" 2>/dev/null)" \
      "$(ss -Hltnp "sport = :$port" 2>/dev/null) $(tail -5 "$scratch/demo.log")"
}

# The first run ends as a user closes the window: the demo keeps its last reading in the archive,
# which the second run's records page then shows.
start_demo
"$wine" taskkill /im meteostation-demo.exe >/dev/null 2>&1 || fail "taskkill не закрыл демонстрацию"
wait "$demo" || fail "демонстрация под wine закрылась с ошибкой"
demo=""
start_demo
echo "API: $(cat "$scratch/current.json")"
# The archive's highest outdoor temperature.
record="s/.*\"outdoor\":{\"high\":{\"time\":\"[^\"]*\",\"value\":\\([-0-9.]*\\)}.*/\\1/p"
wait_for "curl -s -m 5 '$address/api/v1/records' >'$scratch/records.json' &&
  [ -n \"\$(sed -n '$record' '$scratch/records.json')\" ]" || fail "в архиве демонстрации под wine нет рекордов"
highest=$(sed -n "$record" "$scratch/records.json")

# Read-only: anything but GET and HEAD is refused.
status=$(curl -s -o /dev/null -w '%{http_code}' -m 10 -X POST "$address/api/v1/current")
[ "$status" = 405 ] || fail "POST получил $status вместо 405"
curl -s -D "$scratch/headers.txt" -o /dev/null -m 10 "$address/"
grep -qi "^Content-Security-Policy: default-src 'self'" "$scratch/headers.txt" ||
  fail "у страницы нет заголовка Content-Security-Policy"

# Chromium runs the records page's scripts against the Windows program's API; the page streams
# nothing, so the dump comes once its requests are answered.
"$chromium" --headless --no-sandbox --disable-gpu --user-data-dir="$scratch/profile" --dump-dom \
  --virtual-time-budget=5000 "$address/records" >"$scratch/records.html" 2>"$scratch/chromium.log" ||
  fail "chromium не открыл $address/records: $(tail -3 "$scratch/chromium.log")"
grep -q "На улице: за всё время" "$scratch/records.html" || fail "в странице рекордов нет строки «На улице»"
grep -q "<td>${highest}°C" "$scratch/records.html" ||
  fail "в странице рекордов нет наибольшей температуры на улице ${highest}°C, которую даёт API"
# A picture to look at, beside the test's other files.
"$chromium" --headless --no-sandbox --disable-gpu --user-data-dir="$scratch/profile" --window-size=420,900 \
  --virtual-time-budget=5000 --screenshot="$scratch/records.png" "$address/records" >/dev/null 2>&1 || true
echo "Страница демонстрации под wine открыта в chromium: $address (снимок: $scratch/records.png)"

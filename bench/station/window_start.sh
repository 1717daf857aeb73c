#!/bin/sh
# Process start to the first painted window, offscreen: the program's window (bench_window_start)
# beside a bare Qt window (bench_bare_window). Prints the median wall time of each over RUNS runs
# (after one warm-up) and their ratio.
#   bench/station/window_start.sh [BUILD_DIR] [RUNS]
set -eu
build=$(cd "${1:-build}" && pwd)
runs=${2:-21}
program="$build/bench/station/bench_window_start"
bare="$build/bench/station/bench_bare_window"
for exe in "$program" "$bare"; do
    [ -x "$exe" ] || { echo "missing $exe (build the bench_window_start and bench_bare_window targets)" >&2; exit 2; }
done
export QT_QPA_PLATFORM=offscreen
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" # the window looks for met.mtb in the current directory

# Milliseconds of one whole run.
run_ms() {
    start=$(date +%s%N)
    "$1" >/dev/null 2>&1
    end=$(date +%s%N)
    echo $(( (end - start) / 1000 ))
}

"$program" >/dev/null 2>&1; "$bare" >/dev/null 2>&1
: >"$work/a"; : >"$work/b"
i=0
while [ "$i" -lt "$runs" ]; do
    run_ms "$program" >>"$work/a"
    run_ms "$bare" >>"$work/b"
    i=$((i + 1))
done
median() { sort -n "$1" | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
a=$(median "$work/a")
b=$(median "$work/b")
awk -v a="$a" -v b="$b" -v n="$runs" 'BEGIN {
    printf "window start, median of %d runs: program %.1f ms, bare Qt window %.1f ms, ratio %.2f (goal at most 1.5)\n", n, a / 1000, b / 1000, a / b
}'

#!/bin/sh
# Process start to the first painted window, offscreen: the program's window (bench_window_start)
# and the demo's (bench_demo_start) beside a bare Qt tab window (bench_bare_window), the three timed
# in turn in every round. Each program prints the time from its launch to its flushed first paint
# (what it does after that and at its end is not counted). Prints the median of each over RUNS
# rounds (after one warm-up) and the median of the rounds' ratios: each round's windows start in the
# same seconds, so the machine's drift between rounds leaves the ratio alone.
#   bench/station/window_start.sh [BUILD_DIR] [RUNS]
set -eu
build=$(cd "${1:-build}" && pwd)
runs=${2:-31}
program="$build/bench/station/bench_window_start"
demo="$build/bench/station/bench_demo_start"
bare="$build/bench/station/bench_bare_window"
for exe in "$program" "$demo" "$bare"; do
    [ -x "$exe" ] || { echo "missing $exe (build the bench_window_start, bench_demo_start and bench_bare_window targets)" >&2; exit 2; }
done
export QT_QPA_PLATFORM=offscreen
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" # the windows keep their files (met.mtb, the archive) in the current directory

# Microseconds from the launch to the first paint of one run.
run_us() {
    METEO_LAUNCH_NS=$(date +%s%N) "$1" 2>/dev/null | awk '/^painted / { printf "%d\n", $2 * 1000 }'
}

median() { sort -n "$1" | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

for exe in "$program" "$demo" "$bare"; do "$exe" >/dev/null 2>&1; done
: >"$work/program"; : >"$work/demo"; : >"$work/bare"
i=0
while [ "$i" -lt "$runs" ]; do
    run_us "$program" >>"$work/program"
    run_us "$demo" >>"$work/demo"
    run_us "$bare" >>"$work/bare"
    i=$((i + 1))
done
b=$(median "$work/bare")
for name in program demo; do
    paste "$work/$name" "$work/bare" | awk '{ printf "%.6f\n", $1 / $2 }' >"$work/$name.ratio"
    awk -v a="$(median "$work/$name")" -v b="$b" -v r="$(median "$work/$name.ratio")" -v n="$runs" -v name="$name" 'BEGIN {
        printf "%s window start, median of %d runs: %.1f ms, bare Qt window %.1f ms, ratio %.2f (median of the rounds; of the medians %.2f; goal at most 1.3)\n", name, n, a / 1000, b / 1000, r, a / b
    }'
done
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"

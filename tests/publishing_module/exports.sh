#!/bin/sh
# The publishing module exports its one entry point and nothing else: every other symbol of the
# static libraries it is made of stays hidden, so the module's copies of them never take the place
# of the program's own when the program loads it. What GNU ld defines in every shared object (the
# ends of its data: __bss_start, _edata, _end) is there too.
#   exports.sh NM MODULE
set -eu
nm=$1
module=$2
expected='MeteoCreatePublishing'
toolchain='__bss_start _edata _end'
exports=$("$nm" -D --defined-only --format=posix "$module" | cut -d' ' -f1) || {
  echo "$nm could not read $module" >&2
  exit 1
}
status=0
for symbol in $exports; do
  case " $expected $toolchain " in
    *" $symbol "*) ;;
    *) echo "exported, but must stay hidden: $symbol" >&2; status=1 ;;
  esac
done
echo "$exports" | grep -qxF "$expected" || { echo "not exported: $expected" >&2; status=1; }
[ "$status" -eq 0 ] && echo "$module exports $expected alone"
exit "$status"

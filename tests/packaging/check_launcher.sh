#!/bin/sh
# The launcher makes the user's data folder, the user's alone, and starts the program inside it.
set -eu
launcher=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/bin"
cp "$launcher" "$scratch/bin/meteostation-launcher"
printf '#!/bin/sh\npwd > "%s/started-in"\necho "$@" > "%s/args"\n' "$scratch" "$scratch" > "$scratch/bin/fake-program"
chmod +x "$scratch/bin/fake-program" "$scratch/bin/meteostation-launcher"

fail() { echo "FAIL: $*"; exit 1; }

# With XDG_DATA_HOME set.
XDG_DATA_HOME="$scratch/xdg" HOME="$scratch/home" "$scratch/bin/meteostation-launcher" fake-program one
[ "$(cat "$scratch/started-in")" = "$scratch/xdg/meteostation" ] || fail "not started in \$XDG_DATA_HOME/meteostation: $(cat "$scratch/started-in")"
[ "$(cat "$scratch/args")" = "one" ] || fail "arguments not passed on"

# The data folder is the user's alone whatever the umask, also one an earlier start left open.
mode() { stat -c %a "$1"; }
[ "$(mode "$scratch/xdg/meteostation")" = 700 ] || fail "data folder made $(mode "$scratch/xdg/meteostation")"
chmod 0777 "$scratch/xdg/meteostation"
(umask 000 && XDG_DATA_HOME="$scratch/xdg" "$scratch/bin/meteostation-launcher" fake-program)
[ "$(mode "$scratch/xdg/meteostation")" = 700 ] || fail "open data folder left $(mode "$scratch/xdg/meteostation")"
(umask 000 && XDG_DATA_HOME="$scratch/fresh" "$scratch/bin/meteostation-launcher" fake-program)
[ "$(mode "$scratch/fresh/meteostation")" = 700 ] || fail "data folder made $(mode "$scratch/fresh/meteostation") under umask 000"

# Started by a relative path: the program beside the launcher is still found.
(cd "$scratch" && XDG_DATA_HOME="$scratch/xdg" ./bin/meteostation-launcher fake-program two)
[ "$(cat "$scratch/args")" = "two" ] || fail "program beside the launcher not found when started by a relative path"

# Without it: ~/.local/share/meteostation.
env -u XDG_DATA_HOME HOME="$scratch/home" "$scratch/bin/meteostation-launcher" fake-program
[ "$(cat "$scratch/started-in")" = "$scratch/home/.local/share/meteostation" ] || fail "not started in ~/.local/share/meteostation"

# A folder that cannot be made is an error, not a start somewhere else.
touch "$scratch/file"
if XDG_DATA_HOME="$scratch/file" "$scratch/bin/meteostation-launcher" fake-program 2>/dev/null; then
  fail "started although the data folder could not be made"
fi
echo "launcher OK"

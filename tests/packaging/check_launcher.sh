#!/bin/sh
# The launcher makes the user's data folder and starts the program inside it.
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

# Shared by the scripts that build for Windows: the cache folder, missing Debian packages, and
# Debian's own source of a package. Sourced, not run.
cache=${METEO_QT_WINDOWS_CACHE:-$HOME/.cache/meteostation/qt-windows}
if [ "$(id -u)" = 0 ]; then sudo=""; else sudo="sudo"; fi

# cache_lock NAME: waits while another run builds NAME into the cache, then keeps others out until
# this script ends. Several developers and CI share the cache on one machine, and a second run
# empties the build folder the first is configuring (Qt's then fails with "Evaluation file
# .../preliminary_pc_for_Qt6Platform_step1.pc cannot be read").
cache_lock() {
  mkdir -p "$cache"
  exec 9>"$cache/.$1.lock"
  if ! flock -n 9; then
    echo "В $cache уже идёт сборка $1 другим запуском; жду её окончания" >&2
    flock 9
  fi
}

# The Windows Qt: its prefix in the cache (named after the host's Qt version, whose source it is
# built from) and the modules and TLS backend it is built with. The prefix's stamp file .complete
# names them, so a cache built with fewer is noticed and built again.
qt_windows_prefix() {
  echo "$cache/qt-$(dpkg-query -W -f='${Version}' qt6-base-dev | sed 's/[-+].*//')"
}
qt_windows_features="Core Gui Widgets Network, TLS: Schannel"

# qt_windows_ready PREFIX: whether the Windows Qt there is whole and has those features.
qt_windows_ready() {
  [ "$(cat "$1/.complete" 2>/dev/null)" = "$qt_windows_features" ]
}

# install_missing PACKAGE...: installs those of the packages that are not installed yet.
install_missing() {
  need=""
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || need="$need $p"
  done
  if [ -n "$need" ]; then
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $need >&2
  fi
}

# source_version BINARY: the version of the source package the installed binary package was built
# from, e.g. "6.4.2+dfsg-10" for qt6-base-dev.
source_version() {
  dpkg-query -W -f='${source:Version}' "$1"
}

# upstream_version BINARY: that version without the epoch and Debian's revision ("6.4.2+dfsg"),
# as in the name of the unpacked source folder.
upstream_version() {
  v=$(source_version "$1")
  v=${v#*:}
  echo "${v%-*}"
}

# deb_src_entries: apt's "deb" entries as "deb-src" entries: the same addresses, suites, components
# and keys, one-line entries as one-line ones ("deb [options] uri suite components" style), deb822
# stanzas as stanzas; entries that are switched off ("Enabled: no") are left out. Prints two parts
# separated by a line "--": the one-line entries, then the stanzas.
deb_src_entries() {
  eval "$(apt-config shell apt_list Dir::Etc::sourcelist/f apt_parts Dir::Etc::sourceparts/d)"
  # apt reads only *.list and *.sources in the parts folder; anything else there is not in use.
  set -- "$apt_list" "$apt_parts"*.list
  for f in "$@"; do
    [ -f "$f" ] && sed -n 's/^[[:space:]]*deb[[:space:]]\{1,\}/deb-src /p' "$f"
  done
  echo "--"
  set --
  for f in "$apt_parts"*.sources; do [ -f "$f" ] && set -- "$@" "$f"; done
  [ $# = 0 ] && return 0
  awk '
    function flush() { if (keep && !off) printf "%s\n", text; text = ""; keep = 0; off = 0 }
    FNR == 1 { flush() }
    /^[[:space:]]*#/ { next }
    /^[[:space:]]*$/ { flush(); next }
    {
      if (match($0, /^[Tt][Yy][Pp][Ee][Ss]:/)) {
        n = split(substr($0, RSTART + RLENGTH), types, /[[:space:]]+/)
        for (i = 1; i <= n; i++) if (types[i] == "deb") keep = 1
        $0 = "Types: deb-src"
      } else if ($0 ~ /^[Ee][Nn][Aa][Bb][Ll][Ee][Dd]:[[:space:]]*[Nn][Oo]/) off = 1
      text = text $0 "\n"
    }
    END { flush() }' "$@"
}

# debian_source BINARY [dpkg-source options]: unpacks Debian's source of the installed binary
# package, at the installed version, into the cache once and prints its folder.
# The system's apt sources are left as they are: when they hold no deb-src entry for the package,
# apt reads a list of its own in a temporary folder, made of the machine's own deb entries, and the
# folder is removed when the download is done or stopped.
debian_source() (
  binary=$1
  shift
  package=$(dpkg-query -W -f='${source:Package}' "$binary")
  version=$(source_version "$binary")
  src=$cache/$package-$(upstream_version "$binary")
  if [ -d "$src" ]; then echo "$src"; exit 0; fi
  mkdir -p "$cache"
  cd "$cache"
  apt_options=""
  if ! apt-cache showsrc "$package" 2>/dev/null | grep -qx "Version: $version"; then
    apt_state=$(mktemp -d "${TMPDIR:-/tmp}/meteostation-apt.XXXXXX")
    trap 'rm -rf "$apt_state"' EXIT
    trap 'exit 130' INT TERM HUP
    # apt's download helper runs as its own user when started by root: it must reach the folder.
    chmod 755 "$apt_state"
    mkdir -p "$apt_state/parts" "$apt_state/lists/partial" "$apt_state/archives/partial"
    entries=$(deb_src_entries)
    printf '%s\n' "$entries" | sed '/^--$/,$d' >"$apt_state/parts/machine.list"
    printf '%s\n' "$entries" | sed -n '/^--$/,$p' | sed 1d >"$apt_state/parts/machine.sources"
    uris=$(printf '%s\n' "$entries" | sed -n 's/^deb-src[[:space:]]*\(\[[^]]*\][[:space:]]*\)\{0,1\}\([^[:space:]]*\).*/\2/p
      s/^[Uu][Rr][Ii][Ss]:[[:space:]]*//p' | tr '\n' ' ')
    if [ -z "$uris" ]; then
      echo "В источниках apt этой машины нет ни одной строки deb: исходники $package взять неоткуда" >&2
      exit 1
    fi
    echo "Исходники $package $version берутся оттуда же, откуда пакеты этой машины (её строки deb):" \
      "$uris" >&2
    echo "для этого apt читает временный список deb-src в $apt_state; источники apt системы не" \
      "меняются, папка удаляется по окончании." >&2
    apt_options="-o Dir::Etc::sourcelist=- -o Dir::Etc::sourceparts=$apt_state/parts
      -o Dir::State::Lists=$apt_state/lists -o Dir::Cache=$apt_state -o Dir::Cache::pkgcache=
      -o Dir::Cache::srcpkgcache="
    # shellcheck disable=SC2086 # the options are words without spaces
    apt-get -qq $apt_options update >&2 ||
      { echo "Не удалось прочитать списки исходников ($uris)" >&2; exit 1; }
  fi
  # shellcheck disable=SC2086
  apt-get -qq $apt_options source --download-only "$package=$version" >&2 ||
    { echo "Не удалось скачать исходники $package $version" >&2; exit 1; }
  # Unpacked beside and renamed when whole, so a stopped unpacking is never taken for a source.
  rm -rf "$src.part"
  dpkg-source -x "$@" "${package}_${version#*:}.dsc" "$src.part" >&2 ||
    { echo "Не удалось распаковать исходники $package $version" >&2; exit 1; }
  mv "$src.part" "$src"
  echo "$src"
)

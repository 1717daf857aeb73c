# Shared by the scripts that build for Windows: the cache folder, missing Debian packages, and
# Debian's own source of a package. Sourced, not run.
cache=${METEO_QT_WINDOWS_CACHE:-$HOME/.cache/meteostation/qt-windows}
if [ "$(id -u)" = 0 ]; then sudo=""; else sudo="sudo"; fi

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

# debian_source PACKAGE [dpkg-source options]: unpacks Debian's source of the package into the cache
# once and prints its folder. A deb-src line is added to apt's sources if none is there.
debian_source() {
  package=$1
  shift
  mkdir -p "$cache"
  src=$(ls -d "$cache/$package"-[0-9]*/ 2>/dev/null | head -n 1 || true)
  if [ -z "$src" ]; then
    if ! grep -rqs '^Types:.*deb-src\|^deb-src' /etc/apt/sources.list /etc/apt/sources.list.d/; then
      printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: bookworm bookworm-updates\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' |
        $sudo tee /etc/apt/sources.list.d/meteostation-src.sources >/dev/null
      $sudo apt-get update -qq
    fi
    (cd "$cache" && apt-get source -qq --download-only "$package" >&2 &&
      dpkg-source -x "$@" "$(ls "$package"_*.dsc | head -n 1)" >&2) ||
      { echo "Не удалось получить исходники $package" >&2; return 1; }
    src=$(ls -d "$cache/$package"-[0-9]*/ | head -n 1)
  fi
  echo "${src%/}"
}

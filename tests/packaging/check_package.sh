#!/bin/sh
# Builds the .deb from the build folder, unpacks it into a scratch root and checks what lands where,
# that the programs are stripped, that the libraries of publishing are needed by its module alone,
# that lintian and desktop-file-validate find nothing to warn of, and the packaged demo's window class
# and icon.
set -eu
build=$1
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
# Where the programs in /usr/bin find the publishing module they load.
module=usr/lib/meteostation/meteostation-publishing.so

cd "$build"
cpack -G DEB -B "$scratch/out" >"$scratch/cpack.log" 2>&1 || { cat "$scratch/cpack.log"; fail "cpack"; }
deb=$(ls "$scratch"/out/meteostation_*.deb)
dpkg-deb -x "$deb" "$scratch/root"
dpkg-deb -e "$deb" "$scratch/control"

for f in usr/bin/meteostation usr/bin/meteostation-demo usr/bin/meteostation-launcher usr/bin/meteostation-hid-list \
         usr/share/applications/meteostation.desktop usr/share/applications/meteostation-demo.desktop \
         usr/share/icons/hicolor/scalable/apps/meteostation.svg \
         usr/lib/udev/rules.d/70-meteostation.rules usr/share/doc/meteostation/README.md \
         usr/share/doc/meteostation/copyright usr/share/doc/meteostation/changelog.gz usr/share/man/man1/meteostation.1.gz \
         usr/share/man/ru/man1/meteostation.1.gz usr/share/man/ru/man1/meteostation-hid-list.1.gz "$module"; do
  [ -e "$scratch/root/$f" ] || fail "missing /$f"
done
for f in usr/bin/meteostation usr/bin/meteostation-demo usr/bin/meteostation-launcher usr/bin/meteostation-hid-list; do
  [ -x "$scratch/root/$f" ] || fail "/$f is not executable"
done
for f in usr/bin/meteostation usr/bin/meteostation-demo usr/bin/meteostation-hid-list "$module"; do
  file -b "$scratch/root/$f" | grep -q ', stripped' || fail "/$f is not stripped: $(file -b "$scratch/root/$f")"
done
# The programs start without the network, MQTT and password-store libraries: publishing is loaded
# after their first picture.
for f in usr/bin/meteostation usr/bin/meteostation-demo; do
  needed=$(readelf -d "$scratch/root/$f" | grep NEEDED)
  for library in libQt6Network libmosquitto libqt6keychain; do
    case "$needed" in *"$library"*) fail "/$f needs $library, which only the publishing module may" ;; esac
  done
done
readelf -d "$scratch/root/$module" | grep NEEDED | grep -q libmosquitto || fail "/$module does not need libmosquitto"

grep -q 'ATTRS{idVendor}=="2112", ATTRS{idProduct}=="1212", TAG+="uaccess"' "$scratch/root/usr/lib/udev/rules.d/70-meteostation.rules" \
  || fail "udev rule"
grep -q '^Name=Метеостанция$' "$scratch/root/usr/share/applications/meteostation.desktop" || fail "desktop name"
grep -q '^Categories=Utility;$' "$scratch/root/usr/share/applications/meteostation.desktop" || fail "desktop categories"
grep -q '^Exec=meteostation-launcher meteostation$' "$scratch/root/usr/share/applications/meteostation.desktop" || fail "desktop Exec"
# The demo keeps to a folder of its own, so it needs no launcher.
grep -q '^Exec=meteostation-demo$' "$scratch/root/usr/share/applications/meteostation-demo.desktop" || fail "demo desktop Exec"
for f in meteostation meteostation-demo; do
  grep -q "^StartupWMClass=$f\$" "$scratch/root/usr/share/applications/$f.desktop" || fail "$f.desktop: window class"
  out=$(desktop-file-validate "$scratch/root/usr/share/applications/$f.desktop" 2>&1) || fail "$f.desktop: $out"
  [ -z "$out" ] || fail "$f.desktop: $out"
done

depends=$(dpkg-deb -f "$deb" Depends)
for d in libudev1 libqt6widgets6 libqt6gui6 libqt6core6 libqt6network6 libmosquitto1 libqt6keychain1; do
  echo "$depends" | grep -q "$d" || fail "Depends lacks $d: $depends"
done
grep -q 'udevadm control --reload-rules' "$scratch/control/postinst" || fail "postinst does not reload the udev rules"
[ -x "$scratch/control/postinst" ] || fail "postinst not executable"
xvfb-run -a sh "$here/check_window_identity.sh" "$scratch/root/usr/bin/meteostation-demo" "$scratch" ||
  fail "window identity"
# Errors and warnings fail; what lintian merely mentions (I:) is left to it.
lintian --fail-on error,warning "$deb" >"$scratch/lintian.log" 2>&1 || { cat "$scratch/lintian.log"; fail "lintian"; }
echo "package OK: $(basename "$deb")"
echo "Depends: $depends"

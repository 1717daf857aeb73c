#!/bin/bash
# Runs one program inside a stock Debian 12 kernel booted by qemu, with a busybox initramfs that holds
# the program, the shared libraries it needs and the kernel modules for uhid and hidraw. The host needs
# no USB, no uhid and no installed kernel: the kernel package is downloaded once into a cache folder.
#
# Usage: vm_run.sh [options] [--] PROGRAM [ARGUMENTS...]
#   --cache DIR        where the kernel package is downloaded and unpacked
#                      (default: $METEO_VM_CACHE, else ./vm-cache)
#   --work DIR         folder for the initramfs (default: a fresh folder under the cache, removed afterwards)
#   --module NAME      load this kernel module (and what it depends on) before the program; repeatable;
#                      the default set is uhid and hid-generic
#   --file SRC[:DEST]  put a further file into the VM (at DEST, default the same path); ELF files bring
#                      their shared libraries along; repeatable
#   --library SONAME   put a shared library that the program loads at run time (dlopen) into the VM,
#                      with the libraries it needs; repeatable (e.g. --library libudev.so.1)
#   --env NAME=VALUE   environment variable for the program; repeatable
#   --timeout SECONDS  limit for the whole VM run (default: $METEO_VM_TIMEOUT, else 600: generous, as
#                      software emulation on a busy machine is slow; the run ends when the program does)
#   --memory MB        memory of the VM (default 512)
#   --keep             keep the work folder
#   --verbose          show the kernel's boot messages
# Environment: METEO_VM_KERNEL_DEB=path of a linux-image-*.deb to use instead of downloading one;
#   METEO_VM_ACCEL=kvm|tcg|kvm:tcg chooses qemu's accelerator (default tcg).
#
# Exit status: the program's own exit status; 77 when the VM cannot be run here (no qemu, no busybox,
# no kernel package, not an x86-64 host), so test drivers can skip; 124 when the VM ran out of time;
# 125 when the VM ended without reporting the program's status (kernel panic, init failure).
set -u -o pipefail

readonly SkipStatus=77 TimeoutStatus=124 NoStatus=125
readonly StatusMarker="METEO-VM-EXIT-STATUS="

say() { echo "vm_run: $*" >&2; }
skip() { say "skipped: $*"; exit $SkipStatus; }
fail() { say "error: $*"; exit $NoStatus; }

cache="${METEO_VM_CACHE:-$PWD/vm-cache}"
work=""
modules=()
extra_files=()
libraries=()
envs=()
timeout_s="${METEO_VM_TIMEOUT:-600}"
memory=512
keep=0
verbose=0

while [ $# -gt 0 ]; do
  case "$1" in
    --cache) cache="$2"; shift 2 ;;
    --work) work="$2"; shift 2 ;;
    --module) modules+=("$2"); shift 2 ;;
    --file) extra_files+=("$2"); shift 2 ;;
    --library) libraries+=("$2"); shift 2 ;;
    --env)
      case "$2" in [A-Za-z_]*=*) envs+=("$2") ;; *) fail "--env wants NAME=VALUE, got '$2'" ;; esac
      shift 2 ;;
    --timeout) timeout_s="$2"; shift 2 ;;
    --memory) memory="$2"; shift 2 ;;
    --keep) keep=1; shift ;;
    --verbose) verbose=1; shift ;;
    --) shift; break ;;
    -*) fail "unknown option $1" ;;
    *) break ;;
  esac
done
[ $# -ge 1 ] || fail "no program given (usage: vm_run.sh [options] [--] PROGRAM [ARGUMENTS...])"
program="$1"; shift
[ -f "$program" ] && [ -x "$program" ] || fail "$program is not an executable file"
program="$(realpath "$program")"
case "$timeout_s" in ''|*[!0-9]*) fail "--timeout wants whole seconds" ;; esac
case "$memory" in ''|*[!0-9]*) fail "--memory wants megabytes" ;; esac
[ ${#modules[@]} -gt 0 ] || modules=(uhid hid-generic)

# ---- what the host must offer ----------------------------------------------------------------------
[ "$(uname -m)" = x86_64 ] || skip "the kernel and the program are x86-64, this host is $(uname -m)"
command -v qemu-system-x86_64 >/dev/null || skip "qemu-system-x86_64 is missing (package qemu-system-x86)"
busybox=""
for b in /bin/busybox /usr/bin/busybox; do
  # Only a static busybox runs in the initramfs without libraries of its own.
  if [ -x "$b" ] && ! ldd "$b" >/dev/null 2>&1; then busybox="$b"; break; fi
done
[ -n "$busybox" ] || skip "no static busybox (package busybox-static)"
command -v ldd >/dev/null || skip "ldd is missing"
command -v dpkg-deb >/dev/null || skip "dpkg-deb is missing"

mkdir -p "$cache" || fail "cannot create $cache"
cache="$(realpath "$cache")"

# ---- the kernel: the package that linux-image-amd64 currently points at -----------------------------
# Unpacked once per version into $cache/<package>; a lock keeps parallel runs from unpacking twice.
unpack_deb() { # <deb> <target dir>
  local tmp="$2.tmp.$$"
  rm -rf "$tmp" && mkdir -p "$tmp" && dpkg-deb -x "$1" "$tmp" && rm -rf "$2" && mv "$tmp" "$2"
}

obtain_kernel() {
  local pkg deb dir
  if [ -n "${METEO_VM_KERNEL_DEB:-}" ]; then
    [ -f "$METEO_VM_KERNEL_DEB" ] || return 1
    deb="$(realpath "$METEO_VM_KERNEL_DEB")"
    dir="$cache/$(basename "$deb" .deb)"
    [ -d "$dir/boot" ] || unpack_deb "$deb" "$dir" || return 1
    echo "$dir"; return 0
  fi
  pkg="$(apt-cache depends linux-image-amd64 2>/dev/null | awk '$1 == "Depends:" && $2 ~ /^linux-image-/ {print $2; exit}')"
  if [ -n "$pkg" ]; then
    dir="$cache/$pkg"
    if [ ! -d "$dir/boot" ]; then
      mkdir -p "$cache/download"
      deb="$(ls -t "$cache/download/${pkg}_"*.deb 2>/dev/null | head -n 1)"
      if [ -z "$deb" ]; then
        say "downloading $pkg"
        (cd "$cache/download" && apt-get download "$pkg" >/dev/null 2>"$cache/download/apt.log") ||
          say "apt-get download $pkg failed: $(tail -n 1 "$cache/download/apt.log")"
        deb="$(ls -t "$cache/download/${pkg}_"*.deb 2>/dev/null | head -n 1)"
      fi
      # The unpacked tree is all that is used later; the package itself would only take space.
      [ -n "$deb" ] && unpack_deb "$deb" "$dir" && rm -f "$deb"
    fi
    [ -d "$dir/boot" ] && { echo "$dir"; return 0; }
  fi
  # No package index or no network: an earlier download still serves.
  dir="$(ls -d "$cache"/linux-image-*/ 2>/dev/null | grep -v '\.tmp\.' | sort -V | tail -n 1)"
  [ -n "$dir" ] && [ -d "$dir/boot" ] && { echo "${dir%/}"; return 0; }
  return 1
}

exec 9>"$cache/.lock"
flock 9 2>/dev/null || true
kernel_dir="$(obtain_kernel)" || skip "no Debian kernel package (apt-get download linux-image-6.1.0-*-amd64 failed and $cache holds none)"
vmlinuz="$(ls "$kernel_dir"/boot/vmlinuz-* 2>/dev/null | head -n 1)"
[ -n "$vmlinuz" ] || skip "$kernel_dir holds no kernel image"
kver="${vmlinuz##*/vmlinuz-}"

# Under emulation, unpacking the compressed kernel and the real-mode start take more than half of the
# boot. The uncompressed ELF kernel starts straight at its PVH entry, so it is unpacked once on the host.
extract_vmlinux() { # <bzImage> <target>
  local magic off tool i
  local -a magics=($'\xfd7zXZ' $'\x28\xb5\x2f\xfd' $'\x1f\x8b\x08') tools=("xz -dc" "zstd -dcq" "gzip -dc")
  for i in 0 1 2; do
    magic="${magics[$i]}"; tool="${tools[$i]}"
    command -v "${tool%% *}" >/dev/null || continue
    while read -r off; do
      tail -c "+$((off + 1))" "$1" | $tool > "$2.tmp.$$" 2>/dev/null
      if [ "$(head -c 4 "$2.tmp.$$" 2>/dev/null)" = $'\x7fELF' ]; then mv "$2.tmp.$$" "$2"; return 0; fi
    done < <(LC_ALL=C grep -abo "$magic" "$1" | cut -d: -f1 | head -n 5)
  done
  rm -f "$2.tmp.$$"; return 1
}
kernel="$kernel_dir/vmlinux"
if [ ! -s "$kernel" ]; then
  extract_vmlinux "$vmlinuz" "$kernel" || say "cannot unpack $vmlinuz, booting it compressed (slower)"
fi
flock -u 9 2>/dev/null || true
# Only a kernel with a PVH entry note (Xen note 18) can be started uncompressed.
if [ ! -s "$kernel" ] || { command -v readelf >/dev/null && ! readelf -n "$kernel" 2>/dev/null | grep -q '(0x00000012)'; }; then
  kernel="$vmlinuz"
fi
moddir="$kernel_dir/lib/modules/$kver"

# ---- the initramfs -----------------------------------------------------------------------------------
if [ -z "$work" ]; then
  work="$(mktemp -d "$cache/run.XXXXXX")" || fail "cannot create a work folder"
else
  rm -rf "$work" && mkdir -p "$work" || fail "cannot create $work"
fi
work="$(realpath "$work")"
[ $keep = 1 ] || trap 'rm -rf "$work"' EXIT
root="$work/root"
mkdir -p "$root"/{bin,dev,proc,sys,run,tmp,etc,test/bin,lib/modules} || fail "cannot fill $root"

cp "$busybox" "$root/bin/busybox"
ln -s busybox "$root/bin/sh"  # the other applets are linked by /init

# Copies a file to the same absolute path inside the VM (or to <dest>); for an ELF file also every
# library ldd names and the dynamic loader, each at the path the host resolves it to, so RUNPATHs
# into the build tree keep working.
declare -A copied=()
add_file() { # <source> [<dest>]
  local src="$1" dest="${2:-$1}"
  [ -n "${copied[$dest]:-}" ] && return 0
  copied[$dest]=1
  mkdir -p "$root$(dirname "$dest")" || fail "cannot create the folder of $dest"
  if head -c 4 "$src" 2>/dev/null | grep -q $'^\x7fELF'; then
    # Debug sections are of no use in the VM and only lengthen the boot.
    { command -v strip >/dev/null && strip --strip-debug -o "$root$dest" "$src" 2>/dev/null; } ||
      cp -L "$src" "$root$dest" || fail "cannot copy $src"
    local line lib
    while read -r line; do
      case "$line" in
        *"=> not found"*) fail "$src needs ${line%% *}, which ldd cannot find" ;;
        *"=> /"*) lib="${line#*=> }"; lib="${lib%% (*}" ;;
        /*) lib="${line%% (*}" ;;
        *) continue ;;
      esac
      add_file "$lib"
    done < <(ldd "$src" 2>/dev/null)
  else
    cp -L "$src" "$root$dest" || fail "cannot copy $src"
  fi
}

add_file "$program" "/test/bin/$(basename "$program")"
for item in "${extra_files[@]}"; do
  src="${item%%:*}"; dest="${item#*:}"; [ "$dest" = "$item" ] && dest="$src"
  [ -e "$src" ] || fail "--file $src does not exist"
  case "$dest" in /*) ;; *) dest="/test/$dest" ;; esac
  if [ -d "$src" ]; then
    mkdir -p "$root$dest" && cp -rL "$src/." "$root$dest/" || fail "cannot copy $src"
  else
    add_file "$(realpath "$src")" "$dest"
  fi
done

# Libraries loaded at run time do not show in ldd: found through the loader's cache or its usual folders.
for soname in "${libraries[@]}"; do
  lib="$(/sbin/ldconfig -p 2>/dev/null | awk -v n="$soname" '$1 == n && /x86-64/ { print $NF; exit }')"
  for d in /lib/x86_64-linux-gnu /usr/lib/x86_64-linux-gnu /usr/local/lib; do
    [ -n "$lib" ] || { [ -e "$d/$soname" ] && lib="$d/$soname"; }
  done
  [ -n "$lib" ] || fail "--library $soname is not installed on this host"
  add_file "$lib"
done

# A Qt program gets the offscreen and minimal platform plugins, a UTF-8 locale and a few fonts.
uses_qt_gui=0
for f in "${!copied[@]}"; do case "$f" in */libQt6Gui.so*) uses_qt_gui=1 ;; esac; done
if [ $uses_qt_gui = 1 ]; then
  plugins="$(qtpaths6 --query QT_INSTALL_PLUGINS 2>/dev/null)"
  [ -d "$plugins" ] || plugins=/usr/lib/x86_64-linux-gnu/qt6/plugins
  for p in libqoffscreen.so libqminimal.so; do
    [ -f "$plugins/platforms/$p" ] && add_file "$plugins/platforms/$p"
  done
  [ -d /usr/lib/locale/C.utf8 ] && mkdir -p "$root/usr/lib/locale" && cp -r /usr/lib/locale/C.utf8 "$root/usr/lib/locale/"
  [ -d /etc/fonts ] && cp -rL /etc/fonts "$root/etc/" 2>/dev/null
  for font in /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf /usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf \
              /usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf \
              /usr/share/fonts/truetype/liberation2/LiberationSans-Bold.ttf \
              /usr/share/fonts/truetype/liberation2/LiberationSerif-Regular.ttf; do
    [ -f "$font" ] && add_file "$font"
  done
  envs=("QT_QPA_PLATFORM=offscreen" "${envs[@]}")
fi

# Kernel modules: the wanted ones after everything they depend on, resolved from the modules' own
# "depends=" entries (the package carries no modules.dep). Built-in ones need nothing.
declare -A module_path=() module_done=()
while IFS= read -r ko; do
  name="${ko##*/}"; name="${name%.ko}"; module_path[${name//-/_}]="$ko"
done < <(find "$moddir/kernel" -name '*.ko')
load_order=()
resolve_module() { # <name>
  local key="${1//-/_}" dep deps
  [ -n "${module_done[$key]:-}" ] && return 0
  module_done[$key]=1
  if [ -z "${module_path[$key]:-}" ]; then
    grep -q "/${key}.ko\$\|/${1}.ko\$" "$moddir/modules.builtin" 2>/dev/null && return 0
    fail "kernel $kver has no module $1 (neither a file under $moddir/kernel nor built in)"
  fi
  deps="$(tr '\0' '\n' < "${module_path[$key]}" | grep -a -m 1 '^depends=' | cut -d= -f2)"
  for dep in ${deps//,/ }; do resolve_module "$dep"; done
  load_order+=("$key")
}
for m in "${modules[@]}"; do resolve_module "$m"; done
: > "$root/test/modules"
for key in "${load_order[@]}"; do
  cp "${module_path[$key]}" "$root/lib/modules/$key.ko" || fail "cannot copy module $key"
  echo "$key" >> "$root/test/modules"
done

# The program's command line and environment, quoted for the initramfs shell.
quote() { printf "'%s'" "$(printf '%s' "$1" | sed "s/'/'\\\\''/g")"; }
{
  echo "cd /test/work"
  for e in "${envs[@]}"; do echo "export ${e%%=*}=$(quote "${e#*=}")"; done
  printf 'exec %s' "$(quote "/test/bin/$(basename "$program")")"
  for a in "$@"; do printf ' %s' "$(quote "$a")"; done
  echo
} > "$root/test/run.sh"

cat > "$root/init" <<'EOF'
#!/bin/sh
/bin/busybox --install -s /bin
export PATH=/bin HOME=/root LANG=C.UTF-8 XDG_RUNTIME_DIR=/run/user/0
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mount -t tmpfs -o mode=0755 tmpfs /run
mount -t tmpfs tmpfs /tmp
mkdir -p /run/user/0 /test/work /root && chmod 0700 /run/user/0
for m in $(cat /test/modules); do
  insmod "/lib/modules/$m.ko" || echo "METEO-VM: insmod $m failed"
done
echo "METEO-VM: running $(sed -n '$p' /test/run.sh)"
sh /test/run.sh
status=$?
# On a line of its own even when the program's last line has no line end.
echo
echo "METEO-VM-EXIT-STATUS=$status"
sync
poweroff -f
EOF
chmod 0755 "$root/init"

(cd "$root" && find . -mindepth 1 | "$busybox" cpio -o -H newc -R 0:0 2>/dev/null) > "$work/initramfs.cpio" ||
  fail "cannot pack the initramfs"

# ---- boot ---------------------------------------------------------------------------------------------
# Software emulation by default: /dev/kvm may exist without working (nested guests hang in it).
accel="${METEO_VM_ACCEL:-tcg}"
# no_timer_check: on a busy host the emulated timer can miss the kernel's short boot-time test of
# it, which then panics ("IO-APIC + timer doesn't work!") although the timer works.
cmdline="console=ttyS0 panic=-1 rdinit=/init mitigations=off no_timer_check"
[ $verbose = 1 ] || cmdline="$cmdline quiet loglevel=3"
log="$work/console.log"
say "booting $kver ($(du -h "$work/initramfs.cpio" | cut -f1) initramfs, accel $accel, modules: ${load_order[*]})"
started=$(date +%s.%N)
timeout -k 5 "$timeout_s" qemu-system-x86_64 \
  -machine q35,accel="$accel" -cpu max -smp 1 -m "$memory" \
  -nodefaults -no-user-config -display none -serial stdio -no-reboot \
  -kernel "$kernel" -initrd "$work/initramfs.cpio" -append "$cmdline" \
  < /dev/null 2>&1 | tr -d '\r' | tee "$log"
qemu_status=${PIPESTATUS[0]}
say "VM ran $(awk -v a="$started" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }') s"

[ "$qemu_status" = 124 ] || [ "$qemu_status" = 137 ] && { say "the VM ran out of time (${timeout_s} s)"; exit $TimeoutStatus; }
status="$(grep -a -o "^${StatusMarker}[0-9]*" "$log" | tail -n 1 | cut -d= -f2)"
[ -n "$status" ] || { say "the VM ended (qemu status $qemu_status) without reporting the program's status"; exit $NoStatus; }
exit "$status"

#!/bin/sh
# The Windows scripts take Debian's sources from the machine's own apt entries: every "deb" entry
# apt reads, one-line or deb822, becomes the same entry for sources, and nothing else does.
#   check_debian_sources.sh SCRIPTS-FOLDER
set -eu
scripts=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/parts"
cat >"$work/sources.list" <<'LIST'
# a comment, and a source entry that is there already
deb http://mirror.test/archive bookworm main contrib
  deb [arch=amd64 signed-by=/usr/share/keyrings/test.gpg] http://mirror.test/security bookworm-security main
deb-src http://mirror.test/archive bookworm main
#deb http://commented.test/ x main
LIST
# The last stanza of a file without a blank line after it, a switched-off one, one for sources only,
# a key written into the entry over several lines.
printf 'Types: deb deb-src\nURIs: http://a.test/\nSuites: s\nComponents: main' >"$work/parts/a.sources"
cat >"$work/parts/b.sources" <<'STANZAS'
Types: deb
URIs: http://off.test/
Suites: s
Enabled: no

# a comment between stanzas
types: deb-src
URIs: http://sources-only.test/
Suites: s

Types: deb
URIs: http://b.test/
Suites: s2
Components: main
Signed-By:
 -----BEGIN PGP PUBLIC KEY BLOCK-----
 .
 abc
STANZAS
# Files that apt does not read.
echo 'deb http://ignored.test/ x main' >"$work/parts/c.list.disabled"
echo 'Types: deb' >"$work/parts/d.sources.save"
printf 'Dir::Etc::sourcelist "%s/sources.list";\nDir::Etc::sourceparts "%s/parts";\n' "$work" "$work" >"$work/apt.conf"

APT_CONFIG=$work/apt.conf sh -c ". '$scripts/windows-common.sh'; deb_src_entries" >"$work/got"
cat >"$work/expected" <<'EXPECTED'
deb-src http://mirror.test/archive bookworm main contrib
deb-src [arch=amd64 signed-by=/usr/share/keyrings/test.gpg] http://mirror.test/security bookworm-security main
--
Types: deb-src
URIs: http://a.test/
Suites: s
Components: main

Types: deb-src
URIs: http://b.test/
Suites: s2
Components: main
Signed-By:
 -----BEGIN PGP PUBLIC KEY BLOCK-----
 .
 abc

EXPECTED
if ! diff -u "$work/expected" "$work/got"; then
  echo "FAIL: the deb-src entries made of the machine's deb entries differ (- expected, + made)"
  exit 1
fi
echo "PASS: the machine's deb entries become the same deb-src entries"

#!/usr/bin/env bash
# Makes the packages and checks what a user unpacks: the .deb of a release
# build holds both tools, stripped, their man pages and changelog compressed
# as Debian wants them (gzip -9n, the version of the package), the Debian
# copyright file with the licence of LICENSE, and the README; its vantrel
# writes the tables of 96 byte for byte, and lintian finds nothing wrong but
# the placeholder maintainer, if it still is one. The vantrel-dev .deb holds
# the public headers and nothing else of src/, libvantrel.a, the CMake
# package and vantrel.pc of the package's version, for /usr, and its own
# copyright file and changelog; the example builds against its files with
# CMake and with pkg-config, and lintian says of it what it says of the
# other. The .zip of the Windows build holds both .exe files, stripped, the
# README and LICENSE.
# Usage: tests/package_check.sh RELEASE_BUILD_DIR [WINDOWS_BUILD_DIR]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
release=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() { echo "FAILED: $*"; exit 1; }

# A program without symbol table or debugging sections (ELF or PE).
check_stripped() {
  objdump -t "$1" | grep -qx 'no symbols' || fail "$2 has a symbol table"
  ! objdump -h "$1" | grep -q ' \.debug' || fail "$2 has debugging sections"
}

# Compressed as gzip -9n does it: best compression, no name, no time.
check_gzip_9n() {
  gzip -dc "$1" | gzip -9n | cmp -s - "$1" || fail "$2 is not compressed with gzip -9n"
}

# The licence text (everything from "Permission") of LICENSE, and of the
# Debian copyright file's License paragraph: " ." lines are empty ones.
license_text() { sed -n '/^Permission/,$p' "$root/LICENSE"; }
copyright_license_text() {
  sed -n '/^ Permission/,/^[^ ]/p' "$1" | sed '/^[^ ]/d; s/^ //; s/^\.$//'
}

(cd "$release" && cpack -G DEB >/dev/null)
deb=$(ls "$release"/vantrel_*.deb)
name=$(basename "$deb")
version=$(dpkg-deb -f "$deb" Version)
maintainer=$(dpkg-deb -f "$deb" Maintainer)
dpkg-deb -x "$deb" "$work/deb"
doc=usr/share/doc/vantrel
man=usr/share/man/man1
for file in usr/bin/vantrel usr/bin/vantrel-inspect "$man/vantrel.1.gz" \
    "$man/vantrel-inspect.1.gz" "$doc/README.md" "$doc/copyright" "$doc/changelog.gz"; do
  [ -e "$work/deb/$file" ] || fail "$name lacks $file"
done

for program in vantrel vantrel-inspect; do
  check_stripped "$work/deb/usr/bin/$program" "$name's $program"
done

uncompressed=$(find "$work/deb/usr/share/man" -type f ! -name '*.gz')
[ -z "$uncompressed" ] || fail "$name has uncompressed man pages: $uncompressed"
for page in vantrel.1 vantrel-inspect.1; do
  check_gzip_9n "$work/deb/$man/$page.gz" "$name's $page.gz"
  th=$(gzip -dc "$work/deb/$man/$page.gz" | sed -n '/^\.TH /{p;q}')
  [[ $th == *"\"vantrel $version\""* ]] || fail "$name's $page.gz is not of vantrel $version: $th"
  ! gzip -dc "$work/deb/$man/$page.gz" | grep -q '@[A-Z_]*@' || fail "$name's $page.gz has a @VARIABLE@ left"
done

changelog="$work/deb/$doc/changelog.gz"
check_gzip_9n "$changelog" "$name's changelog.gz"
first=$(gzip -dc "$changelog" | head -n 1)
[[ $first == "vantrel ($version) "*"; urgency="* ]] ||
  fail "$name's changelog does not open with version $version: $first"
signature=$(gzip -dc "$changelog" | sed -n 's/^ -- //p' | head -n 1)
[[ $signature == "$maintainer  "* ]] ||
  fail "$name's changelog is signed \"$signature\", not by $maintainer"

copyright="$work/deb/$doc/copyright"
[ "$(head -n 1 "$copyright")" = \
  "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" ] ||
  fail "$name's copyright file is not in Debian's machine-readable format"
cmp -s <(license_text) <(copyright_license_text "$copyright") ||
  fail "$name's copyright file does not hold the licence of LICENSE"

mkdir "$work/run"
(cd "$work/run" && "$work/deb/usr/bin/vantrel" 96 >/dev/null) || [ $? -eq 1 ]
cmp "$work/run/LOS.TDF" "$root/tests/data/los96.tdf"
(cd "$work/run" && "$work/deb/usr/bin/vantrel-inspect" check >/dev/null)

# Lintian: no error and no warning. The default maintainer is a placeholder
# whose address lintian calls bogus, in the control file and the changelog;
# that alone is let through, and only while it is the default.
check_lintian() {
  local deb=$1 name options
  name=$(basename "$deb")
  if ! command -v lintian >/dev/null; then
    echo "skipped: lintian is not installed"
    return
  fi
  options=(--fail-on error,warning)
  [ "$(id -u)" -ne 0 ] || options+=(--allow-root)
  if [ "$(dpkg-deb -f "$deb" Maintainer)" = "vantrel maintainer not set <maintainer@not-set>" ]; then
    options+=(--suppress-tags bogus-mail-host,bogus-mail-host-in-debian-changelog)
    echo "note: $name has the placeholder maintainer; set VANTREL_MAINTAINER to publish it"
  fi
  lintian "${options[@]}" "$deb" || fail "lintian finds faults in $name"
}
check_lintian "$deb"
echo "ok: $name"

deb=$(ls "$release"/vantrel-dev_*.deb)
name=$(basename "$deb")
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "$name is not of version $version"
dpkg-deb -x "$deb" "$work/dev"
lib=usr/lib/$(g++ -print-multiarch)
doc=usr/share/doc/vantrel-dev
expected=$( (cd "$root" && printf 'usr/%s\n' include/vantrel/*.h
  printf '%s\n' "$lib/libvantrel.a" "$lib/pkgconfig/vantrel.pc" "$doc/copyright" \
    "$doc/changelog.gz" "$lib/cmake/vantrel/vantrelConfig.cmake" \
    "$lib/cmake/vantrel/vantrelConfigVersion.cmake" "$lib/cmake/vantrel/vantrelTargets.cmake" \
    "$lib/cmake/vantrel/vantrelTargets-release.cmake") | sort)
found=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\.\//, "", $6); print $6 }' | sort)
diff -u <(echo "$expected") <(echo "$found") ||
  fail "$name does not hold exactly the headers, library, CMake package and vantrel.pc"

cmp -s "$work/dev/$doc/copyright" "$work/deb/usr/share/doc/vantrel/copyright" ||
  fail "$name's copyright file is not vantrel's"
cmp -s "$work/dev/$doc/changelog.gz" "$work/deb/usr/share/doc/vantrel/changelog.gz" ||
  fail "$name's changelog is not vantrel's"
pc="$work/dev/$lib/pkgconfig/vantrel.pc"
grep -qx 'prefix=/usr' "$pc" || fail "$name's vantrel.pc is not for /usr: $(grep '^prefix=' "$pc")"
grep -qx "Version: $version" "$pc" || fail "$name's vantrel.pc is not of version $version"
grep -q "^set(PACKAGE_VERSION \"$version\")" "$work/dev/$lib/cmake/vantrel/vantrelConfigVersion.cmake" ||
  fail "$name's vantrelConfigVersion.cmake is not of version $version"
PKG_CONFIG_SYSROOT_DIR="$work/dev" "$root/tests/example_check.sh" "$work/dev/usr" ||
  fail "the example does not build against $name"
check_lintian "$deb"
echo "ok: $name"

if [ $# -ge 2 ]; then
  windows=$(realpath "$2")
  (cd "$windows" && cpack -G ZIP >/dev/null)
  zip=$(ls "$windows"/vantrel-*.zip)
  name=$(basename "$zip")
  mkdir "$work/zip"
  (cd "$work/zip" && cmake -E tar xf "$zip")
  top=$(ls -d "$work"/zip/vantrel-*)
  for file in vantrel.exe vantrel-inspect.exe README.md LICENSE; do
    [ -e "$top/$file" ] || fail "$name lacks $file beside the programs"
  done
  for program in vantrel.exe vantrel-inspect.exe; do
    check_stripped "$top/$program" "$name's $program"
  done
  cmp -s "$top/LICENSE" "$root/LICENSE" || fail "$name's LICENSE differs from LICENSE"
  echo "ok: $name"
fi

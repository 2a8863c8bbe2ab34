#!/usr/bin/env bash
# Makes the packages and checks what a user unpacks. A release build's
# `cpack -G DEB` makes three .debs, each holding exactly its files:
#   vantrel: both tools, stripped, their man pages and changelog compressed
#     as Debian wants them (gzip -9n, the version of the package), the Debian
#     copyright file with the licence of LICENSE, and the README; its vantrel
#     writes the tables of 96 byte for byte;
#   libvantrel1: libvantrel.so.1 -> libvantrel.so.1.2.0, stripped, of SONAME
#     libvantrel.so.1, exporting the C API (vantrel_*) and the C++ API
#     (vantrel::) alone, versioned; a shlibs file, dpkg's ldconfig trigger
#     and no maintainer script; Depends read off the library;
#   libvantrel-dev: the public headers and nothing else of src/, version.h,
#     the libvantrel.so link, libvantrel.a, the CMake package and vantrel.pc
#     of the package's version; Depends on libvantrel1 of its version, and
#     Replaces, Breaks and Provides vantrel-dev, which it takes over.
# Where the release build has the Python module, a fourth, python3-vantrel,
# holds it (see below).
# The libraries carry vantrel's copyright file and changelog in their own
# doc directories. The two library packages, unpacked and moved anywhere,
# build the example with CMake and with pkg-config (vantrel.pc finds its
# prefix from where it lies); installed into a scratch dpkg database over a
# vantrel-dev 1.0.0, they take its place as apt would. lintian finds nothing
# wrong in any of them but the placeholder maintainer, if it still is one.
# The .zip of the Windows build holds both .exe files, stripped, the README
# and LICENSE.
# Usage: tests/package_check.sh RELEASE_BUILD_DIR [WINDOWS_BUILD_DIR]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
release=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() { echo "FAILED: $*"; exit 1; }

# A program or library without symbol table or debugging sections (ELF or PE).
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

# Every file and link of a .deb, one a line, sorted: "path" or
# "path -> target".
deb_files() {
  dpkg-deb -c "$1" | awk '$1 !~ /^d/ {
    sub(/^\.\//, "", $6); print $6 ($7 == "->" ? " -> " $8 : "") }' | sort
}
check_files() {
  diff -u <(echo "$2" | sort) <(deb_files "$1") ||
    fail "$(basename "$1") does not hold exactly its files (-: missing, +: not expected)"
}

# A control field of a .deb, exactly.
check_field() {
  local value
  value=$(dpkg-deb -f "$1" "$2")
  [ "$value" = "$3" ] || fail "$(basename "$1")'s $2 is \"$value\", not \"$3\""
}

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

rm -f "$release"/*.deb
if ! (cd "$release" && cpack -G DEB) >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log"
  fail "cpack -G DEB fails"
fi
made=$(cd "$release" && ls -- *.deb | sed 's/_.*//' | tr '\n' ' ')
# python3-vantrel is made where the release build has the Python module.
if compgen -G "$release/python/vantrel/_vantrel*" >/dev/null; then
  expected="libvantrel-dev libvantrel1 python3-vantrel vantrel "
else
  expected="libvantrel-dev libvantrel1 vantrel "
fi
[ "$made" = "$expected" ] || fail "cpack makes the packages $made, not $expected"
lib=usr/lib/$(g++ -print-multiarch)

# vantrel: the tools.
deb=$(ls "$release"/vantrel_*.deb)
name=$(basename "$deb")
version=$(dpkg-deb -f "$deb" Version)
maintainer=$(dpkg-deb -f "$deb" Maintainer)
dpkg-deb -x "$deb" "$work/deb"
doc=usr/share/doc/vantrel
man=usr/share/man/man1
check_files "$deb" "$(printf '%s\n' usr/bin/vantrel usr/bin/vantrel-inspect \
  "$man/vantrel.1.gz" "$man/vantrel-inspect.1.gz" "$doc/README.md" "$doc/copyright" \
  "$doc/changelog.gz" "$doc"/docs/{coverage12,table12,view,view-symmetric}.svg \
  "$doc"/docs/{room,corridor}-walls-{seen,facing,unseen}.svg)"

for program in vantrel vantrel-inspect; do
  check_stripped "$work/deb/usr/bin/$program" "$name's $program"
done

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
check_lintian "$deb"
echo "ok: $name"

# The library packages are unpacked into one tree, $work/lib/usr, as they
# are installed together. Each has vantrel's copyright file and changelog.
check_docs() {
  for file in copyright changelog.gz; do
    cmp -s "$work/lib/usr/share/doc/$2/$file" "$work/deb/$doc/$file" ||
      fail "$1's $file is not vantrel's"
  done
}

# libvantrel1: the shared library.
deb=$(ls "$release"/libvantrel1_*.deb)
name=$(basename "$deb")
check_field "$deb" Version "$version"
dpkg-deb -x "$deb" "$work/lib"
check_files "$deb" "$(printf '%s\n' "$lib/libvantrel.so.1 -> libvantrel.so.1.2.0" \
  "$lib/libvantrel.so.1.2.0" usr/share/doc/libvantrel1/{copyright,changelog.gz})"
check_docs "$name" libvantrel1
so="$work/lib/$lib/libvantrel.so.1.2.0"
check_stripped "$so" "$name's libvantrel.so.1.2.0"
soname=$(objdump -p "$so" | awk '$1 == "SONAME" { print $2 }')
[ "$soname" = libvantrel.so.1 ] || fail "$name's library has the SONAME \"$soname\", not libvantrel.so.1"

# Exported: the C API, the C++ API (its functions, and the type information
# and virtual tables of its classes), each of version VANTREL_1, and the
# version itself. Nothing of the C++ runtime, no instantiation of a
# template of std, no internal of the library.
nm -D --defined-only "$so" | c++filt | cut -d ' ' -f 3- | sort -u >"$work/exported"
grep -qx 'vantrel_version@@VANTREL_1' "$work/exported" &&
  grep -qx 'vantrel::make_table(int)@@VANTREL_1' "$work/exported" ||
  fail "$name's library does not export vantrel_version and vantrel::make_table"
foreign=$(grep -v -E -e '^VANTREL_1$' \
  -e '^(vantrel_[A-Za-z0-9_]*|((typeinfo|typeinfo name|vtable) for )?vantrel::.*)@@VANTREL_1$' \
  "$work/exported" || true)
[ -z "$foreign" ] || fail "$name's library exports what is not its API:
$foreign"
# The names, not the parameter types, where a function's name ends at "(".
internal=$(sed 's/(.*//' "$work/exported" |
  grep -E 'vantrel::compute_walk|vantrel::shown|walk_line|EndpointList|std::' || true)
[ -z "$internal" ] || fail "$name's library exports internals:
$internal"

dpkg-deb -e "$deb" "$work/control"
for script in preinst postinst prerm postrm; do
  [ ! -e "$work/control/$script" ] || fail "$name has a $script script"
done
[ "$(cat "$work/control/shlibs" 2>/dev/null)" = "libvantrel 1 libvantrel1 (= $version)" ] ||
  fail "$name's shlibs file is not \"libvantrel 1 libvantrel1 (= $version)\""
[ "$(cat "$work/control/triggers" 2>/dev/null)" = "activate-noawait ldconfig" ] ||
  fail "$name does not activate dpkg's ldconfig trigger"
depends=$(dpkg-deb -f "$deb" Depends)
[[ $depends == *"libc6 (>= "* && $depends == *"libstdc++6 (>= "* ]] ||
  fail "$name's Depends is \"$depends\", not what dpkg-shlibdeps reads off the library"
check_lintian "$deb"
echo "ok: $name"

# libvantrel-dev: building against the library.
lib_deb=$deb
deb=$(ls "$release"/libvantrel-dev_*.deb)
name=$(basename "$deb")
check_field "$deb" Version "$version"
check_field "$deb" Depends "libvantrel1 (= $version)"
check_field "$deb" Replaces "vantrel-dev (<< 1.1.0~)"
check_field "$deb" Breaks "vantrel-dev (<< 1.1.0~)"
check_field "$deb" Provides "vantrel-dev (= $version)"
dpkg-deb -x "$deb" "$work/lib"
check_files "$deb" "$( (cd "$root" && printf 'usr/%s\n' include/vantrel/*.h)
  printf '%s\n' usr/include/vantrel/version.h "$lib/libvantrel.a" \
    "$lib/libvantrel.so -> libvantrel.so.1" "$lib/pkgconfig/vantrel.pc" \
    "$lib/cmake/vantrel/vantrelConfig.cmake" "$lib/cmake/vantrel/vantrelConfigVersion.cmake" \
    "$lib/cmake/vantrel/vantrelTargets.cmake" "$lib/cmake/vantrel/vantrelTargets-release.cmake" \
    usr/share/doc/libvantrel-dev/{copyright,changelog.gz})"
check_docs "$name" libvantrel-dev
grep -qx "#define VANTREL_VERSION_STRING \"$version\"" "$work/lib/usr/include/vantrel/version.h" ||
  fail "$name's vantrel/version.h is not of version $version"
pc="$work/lib/$lib/pkgconfig/vantrel.pc"
# shellcheck disable=SC2016 # pkg-config's variable, as written in the file
grep -qx 'prefix=${pcfiledir}/../../..' "$pc" ||
  fail "$name's vantrel.pc does not find its prefix from where it lies: $(grep '^prefix=' "$pc")"
grep -qx "Version: $version" "$pc" || fail "$name's vantrel.pc is not of version $version"
grep -q "^set(PACKAGE_VERSION \"$version\")" "$work/lib/$lib/cmake/vantrel/vantrelConfigVersion.cmake" ||
  fail "$name's vantrelConfigVersion.cmake is not of version $version"
check_lintian "$deb"

# Both library packages, moved to another directory than where they were
# unpacked: the CMake package and vantrel.pc find the files beside them.
# The library is not in the dynamic linker's cache there.
mv "$work/lib" "$work/moved"
LD_LIBRARY_PATH="$work/moved/$lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" \
  "$root/tests/example_check.sh" "$work/moved/usr" ||
  fail "the example does not build against $name and libvantrel1 moved to another directory"
echo "ok: $name"

# The upgrade from vantrel-dev 1.0.0, which held the headers and the static
# library, in a scratch dpkg database, as apt makes it: unpacking libvantrel1
# and libvantrel-dev takes vantrel-dev's files (Replaces) and deconfigures it
# (Breaks); vantrel-dev is removed and the new packages are configured. The
# database knows the packages libvantrel1 depends on at the versions
# installed here.
arch=$(dpkg-deb -f "$deb" Architecture)
old="$work/vantrel-dev"
mkdir -p "$old/DEBIAN" "$old/usr/include/vantrel" "$old/$lib"
echo '// vantrel 1.0.0' >"$old/usr/include/vantrel/table.h"
echo '!<arch>' >"$old/$lib/libvantrel.a"
printf 'Package: vantrel-dev\nVersion: 1.0.0\nArchitecture: %s\nMaintainer: %s\nDescription: %s\n' \
  "$arch" "$maintainer" "libvantrel 1.0.0: headers and static library" >"$old/DEBIAN/control"
dpkg-deb --root-owner-group --build "$old" "$work/vantrel-dev_1.0.0.deb" >/dev/null
target="$work/target"
admin="$target/var/lib/dpkg"
mkdir -p "$admin/info" "$admin/updates" "$admin/triggers"
touch "$admin/available" "$admin/status"
for package in $(dpkg-deb -f "$lib_deb" Depends | sed 's/([^)]*)//g; s/[,|]/ /g'); do
  printf 'Package: %s\nStatus: install ok installed\nVersion: %s\nArchitecture: %s\nMaintainer: %s\nDescription: %s\n\n' \
    "$package" "$(dpkg-query -W -f '${Version}' "$package")" "$arch" "$maintainer" \
    "this system's $package" >>"$admin/status"
  touch "$admin/info/$package.list"
done
scratch_dpkg() {
  local options=(--root="$target" --log="$work/dpkg.log")
  [ "$(id -u)" -eq 0 ] || options+=(--force-not-root)
  if ! PATH="$PATH:/usr/sbin:/sbin" dpkg "${options[@]}" "$@" >"$work/dpkg.out" 2>&1; then
    cat "$work/dpkg.out"
    fail "dpkg $* fails in the scratch database"
  fi
}
scratch_dpkg --install "$work/vantrel-dev_1.0.0.deb"
scratch_dpkg --auto-deconfigure --unpack "$lib_deb" "$deb"
scratch_dpkg --remove vantrel-dev
scratch_dpkg --configure --pending
installed=$(dpkg-query --admindir="$admin" -W -f '${Package} ${db:Status-Status} ${Version}\n' \
  libvantrel1 libvantrel-dev vantrel-dev 2>/dev/null | sed 's/ *$//' || true)
[ "$installed" = "libvantrel-dev installed $version
libvantrel1 installed $version
vantrel-dev not-installed" ] ||
  fail "after the upgrade from vantrel-dev 1.0.0 the scratch database holds:
$installed"
owner=$(dpkg-query --admindir="$admin" -S /usr/include/vantrel/table.h)
[ "$owner" = "libvantrel-dev: /usr/include/vantrel/table.h" ] ||
  fail "after the upgrade vantrel/table.h belongs to ${owner%%:*}"
cmp -s "$target/usr/include/vantrel/table.h" "$root/include/vantrel/table.h" &&
  [ -f "$target/$lib/libvantrel.so.1.2.0" ] ||
  fail "after the upgrade the scratch root lacks the new vantrel/table.h or libvantrel.so.1.2.0"
echo "ok: the upgrade from vantrel-dev 1.0.0"

# python3-vantrel: the Python module, stripped, with the library linked in
# and nothing of it exported; Depends on the Python it is built for, numpy
# and what dpkg-shlibdeps reads off the module. Unpacked, it imports under
# that Python with nothing else on the path but the system's packages.
# tests/python_check.sh runs the module's tests against it.
if [ -n "$(ls "$release"/python3-vantrel_*.deb 2>/dev/null)" ]; then
  deb=$(ls "$release"/python3-vantrel_*.deb)
  name=$(basename "$deb")
  check_field "$deb" Version "$version"
  check_field "$deb" Section python
  python=$(sed -n 's/^Python3_EXECUTABLE:[A-Z]*=//p' "$release/CMakeCache.txt")
  py_version=$("$python" -c 'import sys; print("%d.%d" % sys.version_info[:2])')
  ext=$("$python" -c 'import sysconfig; print(sysconfig.get_config_var("EXT_SUFFIX"))')
  pkg=usr/lib/python3/dist-packages/vantrel
  check_files "$deb" "$(printf '%s\n' "$pkg/_vantrel$ext" "$pkg"/{__init__.py,__init__.pyi,py.typed} \
    usr/share/doc/python3-vantrel/{copyright,changelog.gz})"
  dpkg-deb -x "$deb" "$work/python"
  check_stripped "$work/python/$pkg/_vantrel$ext" "$name's module"
  exported=$(nm -D --defined-only "$work/python/$pkg/_vantrel$ext" | awk '{ print $3 }')
  [ "$exported" = PyInit__vantrel ] || fail "$name's module exports more than PyInit__vantrel:
$exported"
  for file in copyright changelog.gz; do
    cmp -s "$work/python/usr/share/doc/python3-vantrel/$file" "$work/deb/$doc/$file" ||
      fail "$name's $file is not vantrel's"
  done
  depends=$(dpkg-deb -f "$deb" Depends)
  next=${py_version%.*}.$((${py_version#*.} + 1))
  [[ $depends == *"python3 (>= $py_version), python3 (<< $next), python3-numpy"* &&
    $depends == *"libc6 (>= "* && $depends == *"libstdc++6 (>= "* ]] ||
    fail "$name's Depends is \"$depends\""
  (cd "$work" && PYTHONPATH="$work/python/usr/lib/python3/dist-packages" "$python" -c '
import numpy, vantrel
assert vantrel.__file__.startswith("'"$work"'/python/"), vantrel.__file__
assert vantrel.__version__ == "'"$version"'"
view = vantrel.Sight(3).compute(numpy.zeros((7, 7), bool), (3, 3))
assert view[3, 6] and view[0, 3] and not view[0, 0]') ||
    fail "$name's module does not import, or computes no view"
  check_lintian "$deb"
  echo "ok: $name"
fi

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

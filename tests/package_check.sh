#!/usr/bin/env bash
# Makes the packages and checks what a user unpacks: the .deb of a release
# build holds both tools, their man pages and the README, and its vantrel
# writes the tables of 96 byte for byte; the .zip of the Windows build holds
# both .exe files and the README.
# Usage: tests/package_check.sh RELEASE_BUILD_DIR [WINDOWS_BUILD_DIR]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
release=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

(cd "$release" && cpack -G DEB >/dev/null)
deb=$(ls "$release"/vantrel_*.deb)
dpkg-deb -x "$deb" "$work/deb"
for file in usr/bin/vantrel usr/bin/vantrel-inspect usr/share/man/man1/vantrel.1 \
    usr/share/man/man1/vantrel-inspect.1 usr/share/doc/vantrel/README.md; do
  [ -e "$work/deb/$file" ] || { echo "FAILED: $(basename "$deb") lacks $file"; exit 1; }
done
mkdir "$work/run"
(cd "$work/run" && "$work/deb/usr/bin/vantrel" 96 >/dev/null) || [ $? -eq 1 ]
cmp "$work/run/LOS.TDF" "$root/tests/data/los96.tdf"
(cd "$work/run" && "$work/deb/usr/bin/vantrel-inspect" check >/dev/null)
echo "ok: $(basename "$deb")"

if [ $# -ge 2 ]; then
  windows=$(realpath "$2")
  (cd "$windows" && cpack -G ZIP >/dev/null)
  zip=$(ls "$windows"/vantrel-*.zip)
  names=$(cmake -E tar tf "$zip")
  for file in vantrel.exe vantrel-inspect.exe README.md; do
    grep -q "/$file\$" <<<"$names" || { echo "FAILED: $(basename "$zip") lacks $file"; exit 1; }
  done
  echo "ok: $(basename "$zip")"
fi

#!/usr/bin/env bash
# Runs a vantrel built for another processor under qemu-user beside the
# native build and checks that it gives the same: the same LOS.TDF bytes,
# console text, messages and exit status; and that the other processor's
# vantrel-inspect finds the native file exact.
# Usage: tests/cross_check.sh NATIVE_BUILD_DIR CROSS_BUILD_DIR QEMU
#   (QEMU: qemu-aarch64-static and the like, from Debian's qemu-user-static)
set -euo pipefail

native=$(realpath "$1")
cross=$(realpath "$2")
qemu=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

. "$(dirname "$0")/check_report.sh"
check() {  # check NAME ARGS...
  local name=$1
  shift
  local n="$work/native" c="$work/cross" status_n status_c
  rm -rf "$n" "$c"
  mkdir -p "$n" "$c"
  status_n=0; (cd "$n" && "$native/vantrel" "$@" >stdout 2>stderr) || status_n=$?
  status_c=0; (cd "$c" && "$qemu" "$cross/vantrel" "$@" >stdout 2>stderr) || status_c=$?
  local problems=()
  [ "$status_n" = "$status_c" ] || problems+=("status $status_c, native $status_n")
  for file in LOS.TDF stdout stderr; do
    if [ -e "$n/$file" ] || [ -e "$c/$file" ]; then
      cmp -s "$n/$file" "$c/$file" || problems+=("$file differs")
    fi
  done
  report "$name" "${problems[@]}"
}

check "usage, no argument"
check "usage, abc" abc
check "MaxLos 96" 96
check "MaxLos 3200" 3200
check "MaxLos 9600" 9600
problems=()
(cd "$work/native" && "$qemu" "$cross/vantrel-inspect" check LOS.TDF >/dev/null) ||
  problems+=("it does not find the file exact")
report "vantrel-inspect check of the native 9600 file" "${problems[@]}"
check "MaxLos -64" -64
check "MaxLos 1482881 (refused)" 1482881


report_totals

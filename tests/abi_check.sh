#!/usr/bin/env bash
# Checks that libvantrel.so.1 of a build keeps the ABI recorded in
# abi/libvantrel.so.1.abi: abidiff compares the two and this fails on a
# change that breaks programs linked against the recorded library (a symbol
# removed, a type or signature changed), printing abidiff's report. A
# compatible change (a function added) passes, with the report and a
# reminder to record it. The ABI is read from the library's debugging
# information, so the build is a RelWithDebInfo one, such as build/test;
# its types are the ones the public headers (include/vantrel/ and the
# build's version.h) define. File names are recorded relative to the
# source tree, so that the record is the same from any checkout.
# Usage: tests/abi_check.sh BUILD_DIR [--update]
#   --update records the build's ABI as the new baseline instead.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "$1")
update=${2:-}
baseline="$root/abi/libvantrel.so.1.abi"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() { echo "FAILED: $*"; exit 1; }

[ -z "$update" ] || [ "$update" = --update ] || fail "unknown option $update; usage: $0 BUILD_DIR [--update]"
library="$build/src/libvantrel.so.1"
[ -f "$library" ] || fail "$build has no src/libvantrel.so.1: build the shared library first"
[[ $(objdump -h "$library") == *" .debug_info "* ]] ||
  fail "$library has no debugging information: check a RelWithDebInfo build, such as build/test"

abidw --no-corpus-path --no-comp-dir-path --no-show-locs --type-id-style hash \
  --drop-private-types --headers-dir "$root/include" --headers-dir "$build/include" \
  "$library" | sed "s|'$root/|'|g" >"$work/libvantrel.so.1.abi"

if [ "$update" = --update ]; then
  mkdir -p "$(dirname "$baseline")"
  cp "$work/libvantrel.so.1.abi" "$baseline"
  echo "recorded: the ABI of $library in ${baseline#"$root"/}"
  exit 0
fi

[ -f "$baseline" ] || fail "no baseline ${baseline#"$root"/}: record one with $0 BUILD_DIR --update"
status=0
abidiff --no-show-locs "$baseline" "$work/libvantrel.so.1.abi" >"$work/report" 2>&1 || status=$?
# abidiff's status is a set of bits: 1 an error, 2 a usage error, 4 a
# change of the ABI, 8 an incompatible one.
if (( status & 3 )); then
  cat "$work/report"
  fail "abidiff could not compare the ABI (status $status)"
fi
if (( status & 8 )); then
  cat "$work/report"
  fail "libvantrel.so.1 breaks the ABI of ${baseline#"$root"/}: keep it, or make it libvantrel.so.2"
fi
if (( status & 4 )); then
  cat "$work/report"
  echo "note: compatible changes of the ABI; record them with $0 BUILD_DIR --update"
fi
echo "ok: libvantrel.so.1 keeps the ABI of ${baseline#"$root"/}"

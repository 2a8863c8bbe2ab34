#!/usr/bin/env bash
# Runs vantrel.exe under wine and the native vantrel side by side and checks
# that a Windows user gets the same: the same LOS.TDF bytes, the same console
# text with each "\n" shown as CR LF, the same exit status.
# Given vantrel-inspect.exe too, checks that it finds the native file of
# 6400 exact and draws the same picture of a table as the native build.
# Usage: tests/windows_check.sh NATIVE_VANTREL VANTREL_EXE [VANTREL_INSPECT_EXE]
set -euo pipefail

native=$(realpath "$1")
exe=$(realpath "$2")
inspect_exe=${3:+$(realpath "$3")}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export WINEPREFIX="$work/wineprefix" WINEDEBUG=-all
wine wineboot --init >/dev/null 2>&1 || true

# What stands in the directory before a run: nothing, a directory named
# LOS.TDF (cannot be opened), an existing, longer LOS.TDF (must be
# replaced by the new file, with nothing else left beside it), or a
# LOS.TDF with a second name (written in place, so both show the tables).
setup=none
prepare() {
  case $setup in
    directory) mkdir "$1/LOS.TDF" ;;
    longer) head -c 100000 /dev/zero | tr '\0' '#' >"$1/LOS.TDF" ;;
    hardlink) printf old >"$1/LOS.TDF" && ln "$1/LOS.TDF" "$1/other.tdf" ;;
  esac
}

. "$(dirname "$0")/check_report.sh"
check() {  # check NAME ARGS...
  local name=$1
  shift
  local n="$work/native" w="$work/windows" status_n status_w
  rm -rf "$n" "$w"
  mkdir -p "$n" "$w"
  prepare "$n"
  prepare "$w"
  status_n=0; (cd "$n" && "$native" "$@" >stdout 2>stderr) || status_n=$?
  status_w=0; (cd "$w" && wine "$exe" "$@" >stdout 2>stderr) || status_w=$?
  local problems=()
  [ "$status_n" = "$status_w" ] || problems+=("status $status_w, native $status_n")
  if [ -f "$n/LOS.TDF" ] || [ -f "$w/LOS.TDF" ]; then
    cmp -s "$n/LOS.TDF" "$w/LOS.TDF" || problems+=("LOS.TDF differs")
  fi
  local names
  names=$(cd "$w" && ls -A | tr '\n' ' ')
  case "$names" in
    "LOS.TDF stderr stdout " | "stderr stdout ") ;;
    "LOS.TDF other.tdf stderr stdout ")
      # Other names of the file see the new tables: written in place.
      cmp -s "$w/LOS.TDF" "$w/other.tdf" || problems+=("other.tdf was not written through")
      ;;
    *) problems+=("left behind: $names") ;;
  esac
  perl -pe 's/\n/\r\n/g' "$n/stdout" >"$n/stdout.crlf"
  cmp -s "$n/stdout.crlf" "$w/stdout" || problems+=("console text differs")
  # Messages may be worded by each system's C library; both or neither.
  [ -s "$n/stderr" ] && native_said=yes || native_said=no
  [ -s "$w/stderr" ] && windows_said=yes || windows_said=no
  [ "$native_said" = "$windows_said" ] || problems+=("error message on one side only")
  report "$name" "${problems[@]}"
}

check "usage, no argument"
check "usage, 0" 0
check "usage, abc" abc
check "MaxLos 1" 1
check "MaxLos 96" 96
check "MaxLos 33" 33
check "MaxLos '  +64px'" "  +64px"
check "MaxLos -64" -64
check "MaxLos 3200" 3200
check "MaxLos 6400" 6400
if [ -n "$inspect_exe" ]; then
  native_inspect=$(dirname "$native")/vantrel-inspect
  problems=()
  (cd "$work/native" && wine "$inspect_exe" check LOS.TDF >/dev/null 2>&1 &&
    wine "$inspect_exe" draw LOS.TDF --table 50 -o windows.svg >/dev/null 2>&1 &&
    "$native_inspect" draw LOS.TDF --table 50 -o native.svg >/dev/null &&
    cmp -s windows.svg native.svg) || problems+=("check failed or picture differs")
  report "vantrel-inspect.exe checks the file of 6400 and draws Table 50" "${problems[@]}"
fi
check "MaxLos 4294967328 (wraps to 32)" 4294967328
check "MaxLos 1482881 (refused)" 1482881
check "MaxLos 1482880 (cannot fit on the disk)" 1482880
setup=longer check "an existing LOS.TDF replaced" 96
setup=longer check "an existing LOS.TDF, refused MaxLos" 1482881
setup=directory check "LOS.TDF cannot be opened" 96
setup=hardlink check "a hard-linked LOS.TDF written in place" 3200

report_totals

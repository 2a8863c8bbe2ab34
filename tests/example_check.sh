#!/usr/bin/env bash
# Builds examples/see.cpp, and its twin in C through the C API, see.c,
# against an installed libvantrel as a user would, outside this source tree:
# once with CMake (find_package(vantrel) and the target vantrel::vantrel,
# which must bring the include directory and C++20 by itself) and once with
# pkg-config and the compiler alone, warnings as errors, see.c as C99 and
# see.cpp also with -fno-exceptions; every program must print
# tests/data/see.txt.
# Usage: tests/example_check.sh PREFIX
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
prefix=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() { echo "FAILED: $*"; exit 1; }

cp -R "$root/examples" "$work/examples"
expected="$root/tests/data/see.txt"

if ! { cmake -S "$work/examples" -B "$work/cmake" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" &&
    cmake --build "$work/cmake"; } >"$work/cmake.log" 2>&1; then
  cat "$work/cmake.log"
  fail "the example does not build with find_package(vantrel)"
fi
found=$(sed -n 's/^vantrel_DIR:PATH=//p' "$work/cmake/CMakeCache.txt")
[[ $found == "$prefix/"* ]] || fail "find_package(vantrel) found $found, not the package under $prefix"
for program in see see-no-exceptions see-c; do
  "$work/cmake/$program" >"$work/cmake.txt"
  diff -u "$expected" "$work/cmake.txt" || fail "$program built with CMake prints otherwise"
done
echo "ok: the examples built with CMake"

pc=$(find "$prefix" -name vantrel.pc -path '*/pkgconfig/*')
[ -n "$pc" ] || fail "no vantrel.pc under $prefix"
export PKG_CONFIG_PATH
PKG_CONFIG_PATH=$(dirname "$pc")
read -r -a flags <<<"$(pkg-config --cflags --libs vantrel)"
"${CXX:-g++}" -std=c++20 -Wall -Wextra -Wconversion -Wsign-conversion -Werror \
  "$work/examples/see.cpp" "${flags[@]}" -o "$work/see" ||
  fail "the example does not build with pkg-config's flags: ${flags[*]}"
# As engines built without exceptions build it.
"${CXX:-g++}" -std=c++20 -fno-exceptions -Wall -Wextra -Werror \
  "$work/examples/see.cpp" "${flags[@]}" -o "$work/see-no-exceptions" ||
  fail "the example does not build with -fno-exceptions"
"${CC:-cc}" -std=c99 -pedantic -Wall -Wextra -Werror \
  "$work/examples/see.c" "${flags[@]}" -o "$work/see-c" ||
  fail "the C example does not build with pkg-config's flags: ${flags[*]}"
# Linked as pkg-config says, without a run path: the library is found where
# the prefix keeps it.
libdir=$(pkg-config --variable=libdir vantrel)
for program in see see-no-exceptions see-c; do
  LD_LIBRARY_PATH="$libdir${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" "$work/$program" \
    >"$work/pkg-config.txt"
  diff -u "$expected" "$work/pkg-config.txt" ||
    fail "$program built with pkg-config prints otherwise"
done
echo "ok: the examples built with pkg-config (${flags[*]})"

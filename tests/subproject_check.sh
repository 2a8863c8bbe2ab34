#!/usr/bin/env bash
# Vendors this source tree into a small game with a test of its own,
# outside the tree, as an engine would: with add_subdirectory and with
# FetchContent (SOURCE_DIR, no network), each configured first for static
# libraries and then again for shared ones (-DBUILD_SHARED_LIBS=ON), or the
# other way round. Each time:
#   - it configures with CLI11 and GoogleTest out of reach, since neither is
#     needed;
#   - the build has no target of vantrel's but vantrel_* ones, and builds no
#     program of vantrel's; ctest finds the game's test alone;
#   - vantrel writes no CPackConfig.cmake into the game's build tree;
#   - the game links vantrel::vantrel, the library as BUILD_SHARED_LIBS asks,
#     and runs;
#   - `cmake --install` installs the game and the library's files alone: the
#     headers, the library, the CMake package and vantrel.pc.
# It prints how long each configuration and build took.
# Usage: tests/subproject_check.sh
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() { echo "FAILED: $*"; exit 1; }

mkdir "$work/game"
cat >"$work/game/CMakeLists.txt" <<'EOF'
cmake_minimum_required(VERSION 3.25)
project(game LANGUAGES CXX)
# CTest without its dashboard targets (Nightly, Experimental, ...).
set_property(GLOBAL PROPERTY CTEST_TARGETS_ADDED 1)
include(CTest)
if(GAME_VENDORS_WITH STREQUAL "FetchContent")
  include(FetchContent)
  FetchContent_Declare(vantrel SOURCE_DIR ${VANTREL_SOURCE_DIR})
  FetchContent_MakeAvailable(vantrel)
else()
  add_subdirectory(${VANTREL_SOURCE_DIR} vantrel)
endif()
add_executable(game game.cpp)
target_link_libraries(game PRIVATE vantrel::vantrel)
add_test(NAME game COMMAND game)
install(TARGETS game)
EOF
cat >"$work/game/game.cpp" <<'EOF'
#include <cstdio>

#include <vantrel/table.h>
#include <vantrel/version.h>

int main() {
  const vantrel::Table table = vantrel::make_table(2);
  std::printf("%s %zu\n", vantrel_version_string(), table.lines().size());
  return 0;
}
EOF
version=$(sed -n 's/^project(vantrel VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
headers=$(cd "$root/include" && printf 'include/%s\n' vantrel/*.h)

for run in add_subdirectory:OFF add_subdirectory:ON FetchContent:ON FetchContent:OFF; do
  how=${run%:*}
  shared=${run#*:}
  case="$how -DBUILD_SHARED_LIBS=$shared"
  build="$work/build-$how"
  start=$(date +%s.%N)
  if ! cmake -S "$work/game" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DVANTREL_SOURCE_DIR="$root" -DGAME_VENDORS_WITH="$how" -DBUILD_SHARED_LIBS="$shared" \
      -DCMAKE_DISABLE_FIND_PACKAGE_CLI11=ON -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON \
      >"$work/configure.log" 2>&1; then
    cat "$work/configure.log"
    fail "$case: the game does not configure without CLI11 and GoogleTest"
  fi
  configured=$(date +%s.%N)
  if ! cmake --build "$build" >"$work/build.log" 2>&1; then
    cat "$work/build.log"
    fail "$case: the game does not build"
  fi
  built=$(date +%s.%N)

  # The targets: the game's, CMake's own (all, install, test, ...) and, of
  # vantrel, vantrel_* alone; the ones Ninja lists at the top, and the
  # ones that compile or link something, named in their rules.
  targets=$( { cmake --build "$build" --target help | sed -n 's/^\([^/ ]*\): .*/\1/p'
    cmake --build "$build" -- -t targets all | sed -n 's/.*: [A-Z_]*__\(.*\)_Release$/\1/p'; } |
    sort -u | grep -v -x -E 'game|vantrel_[A-Za-z0-9_]*|all|clean|help|install|test|edit_cache|rebuild_cache|list_install_components|build\.ninja|libvantrel\.(a|so[.0-9]*)' || true)
  [ -z "$targets" ] || fail "$case: vantrel adds the targets: $targets"
  programs=$(find "$build" -type f \( -name vantrel -o -name vantrel-inspect -o -name '*_test' \
    -o -name '*_tests' -o -name CPackConfig.cmake -o -name CPackSourceConfig.cmake \))
  [ -z "$programs" ] || fail "$case: vantrel builds or writes what the game did not ask for:
$programs"
  tests=$(ctest --test-dir "$build" -N | sed -n 's/^ *Test *#[0-9]*: //p')
  [ "$tests" = game ] || fail "$case: ctest finds the tests: $tests"

  [ "$("$build/game")" = "$version 2" ] || fail "$case: the game prints otherwise: $("$build/game")"
  if [ "$shared" = ON ]; then
    readelf -d "$build/game" | grep -q 'NEEDED.*\[libvantrel\.so\.1\]' ||
      fail "$case: the game does not link libvantrel.so.1"
  else
    ! readelf -d "$build/game" | grep -q 'libvantrel' ||
      fail "$case: the game links the shared library, not libvantrel.a"
  fi

  libdir=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:PATH=//p' "$build/CMakeCache.txt")
  rm -rf "$work/prefix"
  cmake --install "$build" --prefix "$work/prefix" >/dev/null
  if [ "$shared" = ON ]; then
    libraries=$(printf '%s\n' "$libdir/libvantrel.so" "$libdir/libvantrel.so.1" \
      "$libdir/libvantrel.so.$version")
  else
    libraries="$libdir/libvantrel.a"
  fi
  expected=$(printf '%s\n' bin/game "$headers" include/vantrel/version.h "$libraries" \
    "$libdir/pkgconfig/vantrel.pc" "$libdir"/cmake/vantrel/vantrel{Config,ConfigVersion,Targets,Targets-release}.cmake |
    sort)
  installed=$(cd "$work/prefix" && find . ! -type d | sed 's|^\./||' | sort)
  diff -u <(echo "$expected") <(echo "$installed") ||
    fail "$case: cmake --install does not install exactly the game and the library's files (-: missing, +: not expected)"

  awk -v c="$case" -v s="$start" -v m="$configured" -v e="$built" \
    'BEGIN { printf "ok: %s: configured in %.1f s, built in %.1f s\n", c, m - s, e - m }'
done

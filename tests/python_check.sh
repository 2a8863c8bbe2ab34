#!/usr/bin/env bash
# Installs the Python module both ways a user does, each into a place of its
# own so that neither can hide the other, and runs its tests against each,
# from a directory where the sources' python/vantrel cannot be imported:
#   - pip: a clean copy of the source tree installed with
#     `pip install --no-build-isolation .` (offline, no index) into a
#     virtual environment of /usr/bin/python3 with --system-site-packages;
#   - the .deb: python3-vantrel of a release build (made by cpack when it
#     is not there yet) unpacked into a scratch root and put alone before
#     the system's packages, under python3 -I (no PYTHONPATH, no user site,
#     no current directory).
# Usage: tests/python_check.sh RELEASE_BUILD_DIR
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
release=$(realpath "$1")
python=/usr/bin/python3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() { echo "FAILED: $*"; exit 1; }

# The tests alone, where they are run.
mkdir "$work/run"
cp -r "$root/python/tests" "$work/run/tests"

echo "-- pip install . in a virtual environment"
mkdir "$work/source"
tar -C "$root" --exclude=./build --exclude=./.git --exclude='*.egg-info' \
  --exclude=__pycache__ -cf - . | tar -C "$work/source" -xf -
"$python" -m venv --system-site-packages "$work/venv"
if ! (cd "$work/source" && "$work/venv/bin/pip" install --no-build-isolation --no-index \
    --disable-pip-version-check .) >"$work/pip.log" 2>&1; then
  cat "$work/pip.log"
  fail "pip install . fails"
fi
(cd "$work/run" && "$work/venv/bin/python" -c '
import sys, vantrel
assert vantrel.__file__.startswith(sys.prefix), vantrel.__file__') ||
  fail "the virtual environment does not import its own vantrel"
(cd "$work/run" && "$work/venv/bin/python" -m pytest -q -p no:cacheprovider tests)

echo "-- python3-vantrel unpacked"
if [ -z "$(ls "$release"/python3-vantrel_*.deb 2>/dev/null)" ]; then
  (cd "$release" && cpack -G DEB >/dev/null)
fi
dpkg-deb -x "$(ls "$release"/python3-vantrel_*.deb)" "$work/deb"
site="$work/deb/usr/lib/python3/dist-packages"
(cd "$work/run" && "$python" -I -c '
import sys
sys.path.insert(0, sys.argv[1])
import pytest, vantrel
assert vantrel.__file__.startswith(sys.argv[1]), vantrel.__file__
sys.exit(pytest.main(["-q", "-p", "no:cacheprovider", "tests"]))' "$site")
echo "ok: the Python module, installed by pip and from python3-vantrel"

#!/usr/bin/env bash
# vantrel's field of view through the shared library against the static
# one: fov_bench and fov_bench_static (preset bench) run by turns, as
# separate processes, vantrel's timings alone; per case and form, the median
# over the rounds of each and the ratio shared / static. Where fov_bench
# times the C API too, its ratio to the C++ call of the same library is
# printed as well.
# Usage: bench/fov_link.sh [rounds]   (default 7)
set -euo pipefail

rounds=${1:-7}
root=$(cd "$(dirname "$0")/.." && pwd)
(cd "$root" && cmake --workflow --preset bench >/dev/null)
bench=$root/build/bench/bench

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for round in $(seq "$rounds"); do
  # Each first in every other round, so that neither gains by its place.
  order="shared static"
  [ $((round % 2)) -eq 0 ] && order="static shared"
  for kind in $order; do
    program=$bench/fov_bench
    [ "$kind" = static ] && program=$bench/fov_bench_static
    "$program" --benchmark_filter='^fov/.*/vantrel' --benchmark_min_time=0.2 \
      --benchmark_out="$work/$kind-$round.json" --benchmark_out_format=json >/dev/null
  done
  echo "round $round of $rounds done" >&2
done

python3 - "$work" "$rounds" <<'PY'
import json, statistics, sys
from collections import defaultdict

work, rounds = sys.argv[1], int(sys.argv[2])
times = defaultdict(list)  # (kind, case, form) -> ns per computation
for kind in ("shared", "static"):
    for r in range(1, rounds + 1):
        with open(f"{work}/{kind}-{r}.json") as f:
            for b in json.load(f)["benchmarks"]:
                _, radius, opacity, form = b["name"].split("/")
                times[(kind, f"{radius}/{opacity}", form)].append(b["cpu_time"])
cases = sorted({c for _, c, _ in times}, key=lambda c: (int(c[1:c.index("/")]), c))
forms = sorted({f for _, _, f in times})
median = lambda k, c, f: statistics.median(times[(k, c, f)])
print(f"ns per computation, median of {rounds} rounds (CPU time); ratio shared / static")
print(f"| {'form':30} | {'case':12} | {'shared':>8} | {'static':>8} | {'ratio':>6} |")
for f in forms:
    for c in cases:
        s, t = median("shared", c, f), median("static", c, f)
        print(f"| {f:30} | {c:12} | {s:8.0f} | {t:8.0f} | {s / t:6.3f} |")
if "vantrel_c_api" in forms:
    print("\nC API / C++ call (bytes), the shared library")
    for c in cases:
        s, t = median("shared", c, "vantrel_c_api"), median("shared", c, "vantrel")
        print(f"| {c:12} | {s:8.0f} | {t:8.0f} | {s / t:6.3f} |")
PY

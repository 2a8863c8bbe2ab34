#!/usr/bin/env bash
# Builds the release vantrel and measures it three ways:
#   - CPU instructions per byte of LOS.TDF at MaxLos 3200 (callgrind, whole
#     process, repeatable);
#   - wall time at MaxLos 12800 against cp copying the same LOS.TDF, run
#     alternately, both into fresh files; the median of the pairs' ratios;
#   - peak resident memory at MaxLos 12800;
#   - vantrel-inspect checking that 12800 file: its wall time against
#     writing it (the median of the same pairs' ratios) and its peak memory.
# Needs valgrind and GNU time (Debian packages valgrind, time).
# Usage: bench/run.sh [pairs]   (default 9)
set -euo pipefail

pairs=${1:-9}
root=$(cd "$(dirname "$0")/.." && pwd)
(cd "$root" && cmake --workflow --preset release >/dev/null)
tool=$root/build/release/vantrel
inspect=$root/build/release/vantrel-inspect

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

now() { date +%s%N; }
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# vantrel ends a good run with status 1.
run_tool() { "$tool" "$1" >/dev/null || [ $? -eq 1 ]; }

valgrind --tool=callgrind --callgrind-out-file=/dev/null "$tool" 3200 \
  >/dev/null 2>callgrind.log || [ $? -eq 1 ]
instructions=$(sed -n 's/.*Collected : \([0-9]*\).*/\1/p' callgrind.log)
bytes_3200=$(stat -c %s LOS.TDF)

ratios=()
tool_ms=()
cp_ms=()
check_ms=()
check_ratios=()
# Each side starts with no dirty pages waiting to be written back, so that
# neither pays for the other's writeback.
for _ in $(seq "$pairs"); do
  rm -f LOS.TDF copy.tdf
  sync
  start=$(now); run_tool 12800; middle=$(now)
  sync
  cp_start=$(now); cp LOS.TDF copy.tdf; end=$(now)
  sync
  check_start=$(now); "$inspect" check LOS.TDF >/dev/null; check_end=$(now)
  check_ms+=("$(( (check_end - check_start) / 1000000 ))")
  tool_ms+=("$(( (middle - start) / 1000000 ))")
  cp_ms+=("$(( (end - cp_start) / 1000000 ))")
  ratios+=("$(awk -v t="$((middle - start))" -v c="$((end - cp_start))" 'BEGIN { print t / c }')")
  check_ratios+=("$(awk -v c="$((check_end - check_start))" -v t="$((middle - start))" 'BEGIN { print c / t }')")
done
bytes_12800=$(stat -c %s LOS.TDF)
rm -f copy.tdf
/usr/bin/time -f '%M' -o check_peak.txt "$inspect" check LOS.TDF >/dev/null
rm -f LOS.TDF
/usr/bin/time -f '%M' -o peak.txt "$tool" 12800 >/dev/null || true

printf '%-34s %s\n' "instructions per byte (3200)" \
  "$(awk -v i="$instructions" -v b="$bytes_3200" 'BEGIN { printf "%.2f  (%d instructions, %d bytes)", i / b, i, b }')"
printf '%-34s %s\n' "wall time / cp (12800, median)" \
  "$(printf '%s\n' "${ratios[@]}" | median | awk '{ printf "%.2f", $1 }')  (vantrel $(printf '%s\n' "${tool_ms[@]}" | median) ms, cp $(printf '%s\n' "${cp_ms[@]}" | median) ms, $bytes_12800 bytes, $pairs pairs)"
printf '%-34s %s\n' "peak memory (12800)" "$(awk -v k="$(tail -n 1 peak.txt)" 'BEGIN { printf "%.1f MiB", k / 1024 }')"
tool_median=$(printf '%s\n' "${tool_ms[@]}" | median)
check_median=$(printf '%s\n' "${check_ms[@]}" | median)
printf '%-34s %s\n' "check / write (12800, median)" \
  "$(printf '%s\n' "${check_ratios[@]}" | median | awk '{ printf "%.2f", $1 }')  (check $check_median ms, write $tool_median ms)"
printf '%-34s %s\n' "check peak memory (12800)" "$(awk -v k="$(tail -n 1 check_peak.txt)" 'BEGIN { printf "%.1f MiB", k / 1024 }')"

# The counting and reporting that the side-by-side check scripts share.
# Source it, call `report NAME [PROBLEM...]` once per case (no problem: the
# case passed), and end with `report_totals`, whose status is the verdict.
total=0
failures=0

report() {
  local name=$1
  shift
  total=$((total + 1))
  if [ $# -eq 0 ]; then
    echo "ok: $name"
  else
    echo "FAILED: $name: $*"
    failures=$((failures + 1))
  fi
}

report_totals() {
  echo "$((total - failures)) passed, $failures failed"
  [ "$failures" -eq 0 ]
}

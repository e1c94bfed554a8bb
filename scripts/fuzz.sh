#!/usr/bin/env bash
# Runs every fuzz target of a `fuzz` preset build for a given time each, one
# after the other: seeds from the target's own encoder (--write-seeds) plus
# the corpus kept from earlier runs in BUILD/fuzz-corpus.  Prints the
# executions of each target; a finding (crash, sanitizer report, leak,
# timeout, property violation) stops the run with its input saved in
# BUILD/fuzz-artifacts.  FUZZ_RUNS=N ends a target earlier, after N
# executions; FUZZ_NICE (default 10) is the niceness of the runs.
#   scripts/fuzz.sh BUILD_DIR SECONDS [TARGET...]
set -euo pipefail
build=$1
seconds=$2
shift 2
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for t in "$build"/fuzz/fuzz_*; do [ -x "$t" ] && targets+=("$(basename "$t")"); done
fi
mkdir -p "$build/fuzz-artifacts"
runs_cap=()
[ -n "${FUZZ_RUNS:-}" ] && runs_cap=(-runs="$FUZZ_RUNS")
status=0
for t in "${targets[@]}"; do
  seeds="$build/fuzz-seeds/$t"
  corpus="$build/fuzz-corpus/$t"
  rm -rf "$seeds"
  mkdir -p "$seeds" "$corpus"
  "$build/fuzz/$t" --write-seeds "$seeds" >/dev/null
  log="$build/fuzz-artifacts/$t.log"
  start=$(date +%s)
  if nice -n "${FUZZ_NICE:-10}" "$build/fuzz/$t" "$corpus" "$seeds" -max_total_time="$seconds" "${runs_cap[@]}" \
       -timeout=60 -rss_limit_mb=2048 \
       -max_len=65536 -print_final_stats=1 -artifact_prefix="$build/fuzz-artifacts/$t-" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "$t: $runs executions in $(( $(date +%s) - start ))s, no finding"
  else
    echo "$t: FINDING (see $log)"
    grep -E "ERROR|SUMMARY|violated|runtime error" "$log" | head -5 || true
    status=1
  fi
done
exit $status

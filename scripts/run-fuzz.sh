#!/usr/bin/env bash
# Runs each fuzz target of a fuzz-preset build for a bounded time, starting from its seed corpus, and
# prints its executions in all and per second; the targets run side by side. Fails when a target finds
# a fault.
# Usage: scripts/run-fuzz.sh BUILD_DIR SECONDS TARGET...
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$1
seconds=$2
shift 2

# The setup-file target saves a file per input: on a real disk fsync would bound the rate, so the
# targets' scratch files go to a RAM disk when there is one.
scratch_parent=${TMPDIR:-/tmp}
[ -d /dev/shm ] && [ -w /dev/shm ] && scratch_parent=/dev/shm
scratch=$(mktemp -d "$scratch_parent/zrv-fuzz.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

# One target: a libFuzzer run from its seed corpus; new inputs go to the scratch corpus, the seed corpus
# in the tree is only read.
fuzz_one() {
  local target=$1 work=$scratch/$1 artifacts=$build/fuzz-artifacts/$1
  mkdir -p "$work/corpus" "$artifacts"
  TMPDIR=$work "$build/tests/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="$artifacts/" "$work/corpus" "$root/tests/fuzz/corpus/$target" >"$work/log" 2>&1
}

# The targets run side by side: each is single-threaded.
declare -A pids=()
for target in "$@"; do
  fuzz_one "$target" &
  pids[$target]=$!
done
status=0
for target in "$@"; do
  log=$scratch/$target/log
  if ! wait "${pids[$target]}"; then
    tail -n 40 "$log" >&2
    echo "fuzz: $target found a fault; the input is in $build/fuzz-artifacts/$target/" >&2
    status=1
    continue
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  printf 'fuzz: %-16s %10s executions in %s s, %6s per second\n' "$target" "$runs" "$seconds" "$rate"
done
exit $status

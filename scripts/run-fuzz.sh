#!/usr/bin/env bash
# Runs each fuzz target of a fuzz-preset build for a bounded time, starting from its seed corpus, and
# prints its executions in all and per second. Fails when a target finds a fault.
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

for target in "$@"; do
  work=$scratch/$target
  artifacts=$build/fuzz-artifacts/$target
  mkdir -p "$work/corpus" "$artifacts"
  # New inputs go to the scratch corpus; the seed corpus in the tree is only read.
  if ! TMPDIR=$work "$build/tests/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix="$artifacts/" "$work/corpus" "$root/tests/fuzz/corpus/$target" >"$work/log" 2>&1; then
    tail -n 40 "$work/log" >&2
    echo "fuzz: $target found a fault; the input is in $artifacts/" >&2
    exit 1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$work/log")
  printf 'fuzz: %-16s %10s executions in %s s, %6s per second\n' "$target" "$runs" "$seconds" "$rate"
done

#!/usr/bin/env bash
# Times the zrvlink program against zrvlink-sim on pseudo-terminals: one read, one write, and one
# process writing four ports in parallel. Each figure is a whole program run (start, transfer, files,
# end), repeated RUNS times; prints mean, fastest and slowest in milliseconds.
# Usage: scripts/bench-zrvlink.sh [BUILD_DIR] [RUNS]    (default: build/native-release 20)
set -euo pipefail
build=${1:-build/native-release} runs=${2:-20}
zrvlink=$build/cli/zrvlink sim=$build/sim/zrvlink-sim
[ -x "$zrvlink" ] && [ -x "$sim" ] || { echo "bench-zrvlink: build zrvlink and zrvlink-sim in $build first" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/zrv-bench-cli.XXXXXX")
sims=()
cleanup() {
  for pid in "${sims[@]}"; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

for i in 1 2 3 4; do
  "$sim" --link "$work/pty$i" >/dev/null 2>&1 &
  sims+=($!)
done
for i in 1 2 3 4; do
  for _ in $(seq 100); do [ -e "$work/pty$i" ] && break; sleep 0.05; done
  [ -e "$work/pty$i" ] || { echo "bench-zrvlink: simulator $i did not start" >&2; exit 1; }
done

# A configuration that sends every command a write has: baud rate, network, 32 named destinations.
{
  printf 'BaudRate=57600\r\nIPAddress=192.168.0.10\r\nSubnetMask=255.255.255.0\r\nGateway=192.168.0.1\r\n'
  for i in $(seq 0 31); do printf 'Target%d=1,10.0.0.%d,5A52562D%02X\r\n' "$i" "$i" "$i"; done
} >"$work/config.dat"

# Runs the command RUNS times; prints the label and the figures. A failing run ends the benchmark.
measure() {
  local label=$1 start end
  shift
  for _ in $(seq "$runs"); do
    start=$(date +%s%N)
    "$@" >/dev/null || { echo "bench-zrvlink: '$*' failed" >&2; exit 1; }
    end=$(date +%s%N)
    echo $(((end - start) / 1000))
  done | awk -v label="$label" '{ sum += $1; if (NR == 1 || $1 < min) min = $1; if ($1 > max) max = $1 }
    END { printf "%-34s %8.1f %8.1f %8.1f\n", label, sum / NR / 1000, min / 1000, max / 1000 }'
}

echo "zrvlink against zrvlink-sim ($build), $runs runs each"
printf "%-34s %8s %8s %8s\n" "" "mean ms" "fastest" "slowest"
measure "read, one port, to stdout" "$zrvlink" read --port "$work/pty1"
measure "read, one port, into a file" "$zrvlink" read --port "$work/pty1" --output "$work/read.dat"
measure "write, one port" "$zrvlink" write "$work/config.dat" --port "$work/pty1"
measure "write, four ports in parallel" "$zrvlink" write "$work/config.dat" \
  --port "$work/pty1" --port "$work/pty2" --port "$work/pty3" --port "$work/pty4"
measure "write --verify, one port" "$zrvlink" write "$work/config.dat" --port "$work/pty1" --verify

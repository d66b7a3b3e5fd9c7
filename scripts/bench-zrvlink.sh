#!/usr/bin/env bash
# Times the zrvlink program against zrvlink-sim on pseudo-terminals: one read, one write, one process
# writing four ports in parallel, and the provisioning station setting up one unit on one device and
# eight units on eight devices that answer each command after 2 ms. Each figure is a whole program run
# (start, transfers, files, end), repeated RUNS times; prints mean, fastest and slowest in
# milliseconds, and how the station's eight compare with its one.
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

# pty1-4 answer at once; slow1-8 after 2 ms, as a real device on a USB serial line might.
links=()
for i in 1 2 3 4; do
  "$sim" --link "$work/pty$i" >/dev/null 2>&1 &
  sims+=($!) links+=("$work/pty$i")
done
for i in 1 2 3 4 5 6 7 8; do
  "$sim" --link "$work/slow$i" --delay 2 >/dev/null 2>&1 &
  sims+=($!) links+=("$work/slow$i")
done
for link in "${links[@]}"; do
  for _ in $(seq 100); do [ -e "$link" ] && break; sleep 0.05; done
  [ -e "$link" ] || { echo "bench-zrvlink: simulator $link did not start" >&2; exit 1; }
done

# A configuration that sends every command a write has: baud rate, network, 32 named destinations.
{
  printf 'BaudRate=57600\r\nIPAddress=192.168.0.10\r\nSubnetMask=255.255.255.0\r\nGateway=192.168.0.1\r\n'
  for i in $(seq 0 31); do printf 'Target%d=1,10.0.0.%d,5A52562D%02X\r\n' "$i" "$i" "$i"; done
} >"$work/config.dat"

# Runs the command RUNS times; prints the label and the figures. A failing run ends the benchmark.
# Before each run the station's record is removed: every run starts a plan afresh.
measure() {
  local label=$1 start end
  shift
  for _ in $(seq "$runs"); do
    rm -f "$work/record.csv"
    start=$(date +%s%N)
    "$@" >/dev/null || { echo "bench-zrvlink: '$*' failed" >&2; exit 1; }
    end=$(date +%s%N)
    echo $(((end - start) / 1000))
  done | awk -v label="$label" '{ sum += $1; if (NR == 1 || $1 < min) min = $1; if ($1 > max) max = $1 }
    END { printf "%-40s %8.1f %8.1f %8.1f\n", label, sum / NR / 1000, min / 1000, max / 1000 }'
}

echo "zrvlink against zrvlink-sim ($build), $runs runs each"
printf "%-40s %8s %8s %8s\n" "" "mean ms" "fastest" "slowest"
measure "read, one port, to stdout" "$zrvlink" read --port "$work/pty1"
measure "read, one port, into a file" "$zrvlink" read --port "$work/pty1" --output "$work/read.dat"
measure "write, one port" "$zrvlink" write "$work/config.dat" --port "$work/pty1"
measure "write, four ports in parallel" "$zrvlink" write "$work/config.dat" \
  --port "$work/pty1" --port "$work/pty2" --port "$work/pty3" --port "$work/pty4"
measure "write --verify, one port" "$zrvlink" write "$work/config.dat" --port "$work/pty1" --verify

# The station: read, write and verify per unit, the record on disk after every row.
station() { # FIRST-LAST PORT...
  local range=$1 args=()
  shift
  for port in "$@"; do args+=(--port "$port"); done
  "$zrvlink" provision --template "$work/config.dat" --ip-range "$range" --record "$work/record.csv" --once \
    "${args[@]}"
}
one=$(measure "station, 1 unit, 1 device (2 ms/reply)" station 192.168.0.101-192.168.0.101 "$work/slow1")
eight=$(measure "station, 8 units, 8 devices (2 ms/reply)" station 192.168.0.101-192.168.0.108 \
  "$work"/slow{1,2,3,4,5,6,7,8})
printf '%s\n%s\n' "$one" "$eight"
awk -v one="$one" -v eight="$eight" 'BEGIN {
  split(one, a, "  +"); split(eight, b, "  +")
  printf "station: eight units take %.2f times as long as one (goal: at most 1.5)\n", b[2] / a[2] }'

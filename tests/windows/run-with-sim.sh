#!/usr/bin/env bash
# Runs a Windows test program with zrvlink-sim attached as COM<n>: starts the simulator (a Linux
# program from the native build), maps its pty into the Wine prefix, runs the program under Wine with
# ZRV_COM_PORT set, and stops the simulator. Needs the Wine session of scripts/with-wine.sh.
# Usage: run-with-sim.sh SIM_PROGRAM PORT_NUMBER TEST_PROGRAM [ARG...]
set -euo pipefail
sim=$1 port=$2 program=$3
shift 3
[ -n "${WINEPREFIX:-}" ] || { echo "run-with-sim: no Wine session (scripts/with-wine.sh)" >&2; exit 2; }
[ -x "$sim" ] || { echo "run-with-sim: no simulator at $sim (build the native preset first)" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/zrv-sim.XXXXXX")
sim_pid=""
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null || true
  rm -f "$WINEPREFIX/dosdevices/com$port"
  rm -rf "$work"
}
trap cleanup EXIT

"$sim" --link "$work/pty" --log "$work/received.log" >"$work/sim.out" 2>"$work/sim.err" &
sim_pid=$!
for _ in $(seq 100); do
  [ -e "$work/pty" ] && break
  sleep 0.05
done
[ -e "$work/pty" ] || { echo "run-with-sim: the simulator did not start" >&2; cat "$work/sim.err" >&2; exit 1; }
ln -sf "$work/pty" "$WINEPREFIX/dosdevices/com$port"

ZRV_COM_PORT=$port /usr/lib/wine/wine64 "$program" "$@"

#!/usr/bin/env bash
# Runs a Windows test program with zrvlink-sim attached as COM<n>: starts the simulator (a Linux
# program from the native build), maps its pty into the Wine prefix, runs the program under Wine with
# ZRV_COM_PORT set, and stops the simulator. Needs the Wine session of scripts/with-wine.sh.
# ZRV_SIM_OPTIONS, when set, holds options for the simulator (split at blanks).
# Usage: run-with-sim.sh SIM_PROGRAM PORT_NUMBER TEST_PROGRAM [ARG...]
set -euo pipefail
sim=$1 port=$2 program=$3
shift 3
[ -n "${WINEPREFIX:-}" ] || { echo "run-with-sim: no Wine session (scripts/with-wine.sh)" >&2; exit 2; }
[ -x "$sim" ] || { echo "run-with-sim: no simulator at $sim (build the native preset first)" >&2; exit 2; }
# shellcheck source=../../scripts/attach-sim.sh
source "$(dirname "$0")/../../scripts/attach-sim.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/zrv-sim.XXXXXX")
cleanup() {
  zrv_stop_sims
  rm -f "$WINEPREFIX/dosdevices/com$port"
  rm -rf "$work"
}
trap cleanup EXIT

# shellcheck source=../../scripts/wine-server.sh
source "$(dirname "$0")/../../scripts/wine-server.sh"
zrv_wine_server_up
# shellcheck disable=SC2086 # one word per option
zrv_attach_sim "$sim" "$work" "$port" ${ZRV_SIM_OPTIONS:-}
ZRV_COM_PORT=$port /usr/lib/wine/wine64 "$program" "$@"

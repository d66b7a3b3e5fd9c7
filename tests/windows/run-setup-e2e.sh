#!/usr/bin/env bash
# Runs the end-to-end tests of ZRVLinkSetup.exe: starts one zrvlink-sim per role (a Linux program from
# the native build), maps each pty into the Wine prefix as a COM port and runs the test driver under
# Wine. Needs the Wine session of scripts/with-wine.sh.
# Usage: run-setup-e2e.sh SIM_PROGRAM TEST_DRIVER SETUP_EXE DEVICE_START_FILE [ARG...]
set -euo pipefail
sim=$1 driver=$2 setup=$3 device_start=$4
shift 4
[ -n "${WINEPREFIX:-}" ] || { echo "run-setup-e2e: no Wine session (scripts/with-wine.sh)" >&2; exit 2; }
[ -x "$sim" ] || { echo "run-setup-e2e: no simulator at $sim (build the native preset first)" >&2; exit 2; }
# shellcheck source=../../scripts/attach-sim.sh
source "$(dirname "$0")/../../scripts/attach-sim.sh"

# Wine's drive Z: is the Linux root.
windows_path() { local p=${1//\//\\}; echo "Z:$p"; }

work=$(mktemp -d "${TMPDIR:-/tmp}/zrv-setup-e2e.XXXXXX")
# Screenshots of the tests, when they take any.
[ -z "${ZRV_ARTIFACTS:-}" ] || mkdir -p "$ZRV_ARTIFACTS"
cleanup() {
  /usr/lib/wine/wineserver -k 2>/dev/null || true
  zrv_stop_sims
  rm -f "$WINEPREFIX"/dosdevices/com{7,8,9,10,13,14}
  rm -rf "$work"
}
trap cleanup EXIT

# shellcheck source=../../scripts/wine-server.sh
source "$(dirname "$0")/../../scripts/wine-server.sh"
zrv_wine_server_up
zrv_attach_sim "$sim" "$work" 7 --load "$device_start"
zrv_attach_sim "$sim" "$work" 8 --delay-command vers:600 --delay-command save:1500 --garbage --byte-by-byte
zrv_attach_sim "$sim" "$work" 9 --silent-after 40
zrv_attach_sim "$sim" "$work" 10 --save-reply NG
zrv_attach_sim "$sim" "$work" 13 --silent-after 0
zrv_attach_sim "$sim" "$work" 14 --close-after 40

# COM11 is listed as a serial port by the tests but mapped to nothing: it cannot be opened. The dialog
# tests compare what COM7 is read to hold with its start file.
ZRV_PORT_LOADED=7 ZRV_PORT_FRESH=8 ZRV_PORT_STOPS=9 ZRV_PORT_BADSAVE=10 ZRV_PORT_UNMAPPED=11 \
  ZRV_PORT_SILENT=13 ZRV_PORT_UNPLUGGED=14 \
  ZRV_SETUP_EXE=$(windows_path "$setup") ZRV_DEVICE_START=$(windows_path "$device_start") \
  /usr/lib/wine/wine64 "$driver" "$@"

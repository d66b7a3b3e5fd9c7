#!/usr/bin/env bash
# Runs a Wine test program of port detection and the Win32 portkit: writes the device's USB instances
# with `reg add` (one present, one unplugged, one of another USB device), maps zrvlink-sim's pty as COM<n>
# (and, for the other USB device, as COM<n+1>) and runs the program. A simulator whose read takes long
# (0.4 s per reply: about 40 s) is mapped as COM<n+2> (ZRV_LONG_PORT), and one that takes no data
# (--stall-after 0) as COM<n+6>. Wine lists the ports of HKLM\Software\Wine\Ports in the serial-port
# map when its server starts, so the server restarts after the change, in a copy of the session's prefix
# that no other test uses.
# Usage: run-detect.sh SIM_PROGRAM PORT_NUMBER TEST_PROGRAM
set -euo pipefail
sim=$1 port=$2 program=$3
other=$((port + 1)) long=$((port + 2)) stalled=$((port + 6))
export ZRV_SERIAL=ZRV0012345
wine=/usr/lib/wine/wine64 wineserver=/usr/lib/wine/wineserver
[ -n "${WINEPREFIX:-}" ] || { echo "run-detect: no Wine session (scripts/with-wine.sh)" >&2; exit 2; }
[ -x "$sim" ] || { echo "run-detect: no simulator at $sim (build the native preset first)" >&2; exit 2; }

# shellcheck source=../../scripts/attach-sim.sh
source "$(dirname "$0")/../../scripts/attach-sim.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/zrv-detect.XXXXXX")
cleanup() {
  [ "$WINEPREFIX" = "$work/prefix" ] && "$wineserver" -k 2>/dev/null || true
  zrv_stop_sims
  rm -rf "$work"
}
trap cleanup EXIT
cp -a "$WINEPREFIX" "$work/prefix"
export WINEPREFIX=$work/prefix
zrv_attach_sim "$sim" "$work" "$port"
zrv_attach_sim "$sim" "$work" "$long" --delay 400
zrv_attach_sim "$sim" "$work" "$stalled" --stall-after 0
export ZRV_LONG_PORT=$long

reg() { "$wine" reg "$@" >/dev/null; }
# shellcheck source=../../scripts/wine-server.sh
source "$(dirname "$0")/../../scripts/wine-server.sh"
restart() {
  "$wineserver" -k 2>/dev/null || true
  zrv_wine_server_up
}
usb='HKLM\SYSTEM\CurrentControlSet\Enum\USB'
# The present instance has a serial number (ZRV_SERIAL); the unplugged one an ID that Windows made up.
reg add "$usb\\VID_FE5A&PID_0016\\$ZRV_SERIAL\\Device Parameters" /v PortName /d "COM$port" /f
reg add "$usb\\VID_FE5A&PID_0016\\5&2C1E4D7&0&2\\Device Parameters" /v PortName /d COM5 /f
reg add "$usb\\VID_0403&PID_6001\\A9K2LQ\\Device Parameters" /v PortName /d "COM$other" /f
reg add 'HKLM\Software\Wine\Ports' /v "COM$port" /d "$work/pty$port" /f
reg add 'HKLM\Software\Wine\Ports' /v "COM$other" /d "$work/pty$port" /f
restart
ZRV_COM_PORT=$port ZRV_STALLED_PORT=$stalled "$wine" "$program"

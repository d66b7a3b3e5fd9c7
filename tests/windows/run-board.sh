#!/usr/bin/env bash
# zrvlink.exe provision --board under Wine, its board read from Linux: a simulated device mapped as
# COM<PORT_NUMBER> is written by the station while tests/windows/board_from_linux.py fetches the page and
# /status.json over loopback and loads the page in Linux's Chromium (a screenshot, board-wine.png, in
# ARTIFACTS); then a second station on the same address is refused with status 2. In a copy of the
# session's prefix that no other test uses, whose server restarts so that Wine lists the port.
# Usage: run-board.sh SIM_PROGRAM ZRVLINK_EXE PORT_NUMBER ARTIFACTS
set -euo pipefail
sim=$1 exe=$2 port=$3 artifacts=$4
here=$(cd "$(dirname "$0")" && pwd)
wine=/usr/lib/wine/wine64 wineserver=/usr/lib/wine/wineserver
[ -n "${WINEPREFIX:-}" ] || { echo "run-board: no Wine session (scripts/with-wine.sh)" >&2; exit 2; }
[ -x "$sim" ] || { echo "run-board: no simulator at $sim (build the native preset first)" >&2; exit 2; }

# shellcheck source=../../scripts/attach-sim.sh
source "$here/../../scripts/attach-sim.sh"
# shellcheck source=../../scripts/wine-server.sh
source "$here/../../scripts/wine-server.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/zrv-board-wine.XXXXXX")
cleanup() {
  [ "$WINEPREFIX" = "$work/prefix" ] && "$wineserver" -k 2>/dev/null || true
  zrv_stop_sims
  rm -rf "$work"
}
trap cleanup EXIT
cp -a "$WINEPREFIX" "$work/prefix"
export WINEPREFIX=$work/prefix
zrv_attach_sim "$sim" "$work" "$port" --delay 5
"$wine" reg add 'HKLM\Software\Wine\Ports' /v "COM$port" /d "$work/pty$port" /f >/dev/null
"$wineserver" -k 2>/dev/null || true
zrv_wine_server_up

printf 'BaudRate=57600\r\nSubnetMask=255.255.255.0\r\nGateway=192.168.7.1\r\n' >"$work/base.dat"
station() { # OUT BOARD
  "$wine" "$exe" provision --template "Z:$work/base.dat" --ip-range 192.168.7.21-192.168.7.22 \
    --record "Z:$work/record-$1.csv" --port "COM$port" --board "$2" >"$work/$1.out" 2>&1
}
station first 127.0.0.1:0 &
first=$!
url=""
for _ in $(seq 600); do
  url=$(sed -n 's/^board: \(http:[^ ]*\) .*/\1/p' "$work/first.out" | tr -d '\r')
  [ -n "$url" ] && break
  kill -0 "$first" 2>/dev/null || break
  sleep 0.1
done
[ -n "$url" ] || { echo "run-board: the station named no board:" >&2; cat "$work/first.out" >&2; exit 1; }

/usr/bin/python3 "$here/board_from_linux.py" "$url" "$artifacts"

status=0
address=${url#http://}
address=${address%/}
station second "$address" || status=$?
second=$(tr -d '\r' <"$work/second.out")
echo "second station on $address: status $status: $second"
[ "$status" -eq 2 ] && [[ $second == "zrvlink provision: --board: listening on "*" in use"* ]] ||
  { echo "run-board: FAILED: a second station took the board's address" >&2; exit 1; }
echo "run-board: zrvlink.exe's board read from Linux, and its address kept from a second station"

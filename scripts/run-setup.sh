#!/usr/bin/env bash
# `make run`: builds the simulator (native) and ZRVLinkSetup.exe (mingw), starts zrvlink-sim on a pty,
# maps it into a Wine prefix as a COM port with the device's USB registry keys, and opens the program.
# With a display the program stays until you close it. Without one (no DISPLAY) it runs on a virtual
# display, reads from the device through the window, saves a screenshot and prints its path.
# ZRV_NATIVE_BUILD and ZRV_MINGW_BUILD choose other build directories.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
native=${ZRV_NATIVE_BUILD:-$root/build/native}
mingw=${ZRV_MINGW_BUILD:-$root/build/mingw}
port=7
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver

build() {
  cmake --preset native -B "$native" >/dev/null
  cmake --build "$native" --target zrvlink-sim -j2
  cmake --preset mingw -B "$mingw" >/dev/null
  cmake --build "$mingw" --target ZRVLinkSetup setup_driver -j2
}

# shellcheck source=attach-sim.sh
source "$here/attach-sim.sh"
work="" session=""
cleanup() {
  if [ -n "$session" ]; then "$WINESERVER" -k 2>/dev/null || true; fi
  zrv_stop_sims
  if [ -n "$work" ]; then rm -rf "$work"; fi
  if [ -n "$session" ]; then rm -rf "$session"; fi
}
trap cleanup EXIT

# A session of our own on the user's display, with a prefix copied from with-wine.sh's template.
run_on_display() {
  "$root/scripts/with-wine.sh" true # prepares the template once
  session=$(mktemp -d "${TMPDIR:-/tmp}/zrv-run.XXXXXX")
  cp -a "${ZRV_WINE_TEMPLATE:-$root/build/wine-template}" "$session/prefix"
  export WINEPREFIX=$session/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  run_session
}

# Inside a Wine session: the simulated device, the program, and without a display the read and the shot.
run_session() {
  work=$(mktemp -d "${TMPDIR:-/tmp}/zrv-sim.XXXXXX")
  # The server lists its leftover objects when the session kills it: keep that off the terminal.
  "$WINESERVER" >"$work/wineserver.log" 2>&1 || true
  zrv_attach_sim "$native/sim/zrvlink-sim" "$work" "$port" --load "$here/demo-device.dat"
  "$WINE" "$mingw/tests/windows/setup_driver.exe" prepare "$port"
  echo "make run: ZRVLinkSetup.exe with the simulated ZRV-Link on COM$port"
  if [ "$headless" = 0 ]; then
    "$WINE" "$mingw/ui/ZRVLinkSetup.exe"
    return
  fi
  "$WINE" "$mingw/ui/ZRVLinkSetup.exe" &
  # Wine's drive Z: is the Linux root.
  "$WINE" "$mingw/tests/windows/setup_driver.exe" read "Z:${here//\//\\}\\demo-device.dat"
  local shot=$mingw/artifacts/make-run.png
  mkdir -p "$(dirname "$shot")"
  import -window root "$shot"
  "$WINE" "$mingw/tests/windows/setup_driver.exe" quit
  echo "make run: screenshot: $shot"
}

if [ "${1:-}" = "--in-session" ]; then
  headless=1
  run_session
  exit 0
fi
build
if [ -z "${DISPLAY:-}" ]; then
  exec "$root/scripts/with-wine.sh" "$0" --in-session
fi
headless=0
run_on_display

#!/usr/bin/env bash
# Runs a command inside a Wine session: a virtual display (Xvfb) and a fresh Wine prefix copied from a
# prepared template. Everything started here is ended when the command ends.
# Usage: scripts/with-wine.sh COMMAND [ARG...]
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver
template=${ZRV_WINE_TEMPLATE:-$root/build/wine-template}

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

# A prefix takes ~14 s to create and ~1 s to copy: create it once, copy it per session.
prepare_template() {
  [ -f "$template/.ready" ] && return 0
  local log=$session/prepare.log attempt
  for attempt in 1 2; do
    rm -rf "$template"
    mkdir -p "$template"
    echo "with-wine: preparing the Wine prefix template (once)" >&2
    # Without a window manager Wine stalls on every hidden window unless it manages them itself.
    if WINEPREFIX=$template "$WINE" wineboot --init >"$log" 2>&1 &&
       WINEPREFIX=$template "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >>"$log" 2>&1 &&
       WINEPREFIX=$template "$WINESERVER" -w; then
      touch "$template/.ready"
      return 0
    fi
    echo "with-wine: preparing the prefix failed (attempt $attempt):" >&2
    tail -n 20 "$log" >&2
    WINEPREFIX=$template "$WINESERVER" -k 2>/dev/null || true
  done
  return 1
}

session=$(mktemp -d "${TMPDIR:-/tmp}/zrv-wine.XXXXXX")
xvfb_pid=""
cleanup() {
  WINEPREFIX=$session/prefix "$WINESERVER" -k 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$session"
}
trap cleanup EXIT

exec 3>"$session/display"
# Large enough for the setup dialog at its full size with the fonts that Debian has.
Xvfb -displayfd 3 -screen 0 "${ZRV_XVFB_SCREEN:-1280x1024x24}" -nolisten tcp >"$session/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$session/display" ] && break
  sleep 0.1
done
[ -s "$session/display" ] || { echo "with-wine: Xvfb did not start" >&2; cat "$session/xvfb.log" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$session/display")"

prepare_template
cp -a "$template" "$session/prefix"
export WINEPREFIX=$session/prefix
# shellcheck source=wine-server.sh
source "$here/wine-server.sh"
zrv_wine_server_up

"$@"

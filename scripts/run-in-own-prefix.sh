#!/usr/bin/env bash
# Runs a command in a copy of the Wine session's prefix that no other test uses, for a test that writes
# into the user's folders there; the copy and its Wine processes go at the end.
# Usage: run-in-own-prefix.sh COMMAND [ARG...]
set -euo pipefail
[ -n "${WINEPREFIX:-}" ] || { echo "run-in-own-prefix: no Wine session (scripts/with-wine.sh)" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/zrv-own-prefix.XXXXXX")
cleanup() {
  WINEPREFIX=$work/prefix /usr/lib/wine/wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
cp -a "$WINEPREFIX" "$work/prefix"
export WINEPREFIX=$work/prefix
# shellcheck source=wine-server.sh
source "$here/wine-server.sh"
zrv_wine_server_up
"$@"

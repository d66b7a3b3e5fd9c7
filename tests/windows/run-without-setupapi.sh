#!/usr/bin/env bash
# Runs YorDriverSetup.exe on a system whose setup library cannot be loaded (Wine told to leave
# setupapi.dll out) and passes when the exit code is the load's error, ERROR_MOD_NOT_FOUND (126): the
# installation must not read 0, "removed", when nothing was looked at. The override reaches every program
# of a Wine server, so this runs in a copy of the session's prefix that no other test uses.
# Usage: run-without-setupapi.sh PROGRAM
set -euo pipefail
program=$1
wine=/usr/lib/wine/wine64 wineserver=/usr/lib/wine/wineserver
[ -n "${WINEPREFIX:-}" ] || { echo "run-without-setupapi: no Wine session (scripts/with-wine.sh)" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/zrv-nosetupapi.XXXXXX")
cleanup() {
  WINEPREFIX=$work/prefix "$wineserver" -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
cp -a "$WINEPREFIX" "$work/prefix"
export WINEPREFIX=$work/prefix
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}setupapi=d"

status=0
"$wine" "$program" 'ZRV\NO_SUCH_DEVICE' || status=$?
if [ "$status" -ne 126 ]; then
  echo "run-without-setupapi: exit code $status, expected 126 (the setup library's load error)" >&2
  exit 1
fi
echo "run-without-setupapi: exit code 126"

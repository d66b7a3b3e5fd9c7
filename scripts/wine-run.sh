#!/usr/bin/env bash
# Runs one Windows program under Wine in the session that scripts/with-wine.sh prepared (CTest's
# emulator for the cross build). Exits with the program's exit code.
set -euo pipefail
if [ -z "${WINEPREFIX:-}" ] || [ -z "${DISPLAY:-}" ]; then
  echo "wine-run: no Wine session; run the command through scripts/with-wine.sh" >&2
  exit 2
fi
# A test before this one may have ended the session's server.
# shellcheck source=wine-server.sh
source "$(dirname "$0")/wine-server.sh"
zrv_wine_server_up
exec /usr/lib/wine/wine64 "$@"

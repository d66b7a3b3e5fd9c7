# Sourced (bash) by the scripts that run Windows programs in a Wine prefix.
# zrv_wine_server_up: when no Wine server runs for $WINEPREFIX, starts one that stays until it is killed,
# and Wine's service processes, all with their output on /dev/null. Started by a test program instead,
# the services would hold the test's output open until the server's idle time-out: 2-3 s per test.
zrv_wine_server_up() {
  if /usr/lib/wine/wineserver -p </dev/null >/dev/null 2>&1; then
    /usr/lib/wine/wine64 wineboot </dev/null >/dev/null 2>&1 || true
  fi
}

# shellcheck shell=bash
# Sourced (bash) by the package checks that start ZRVLinkSetup.exe under Wine (scripts/with-wine.sh).
# run_setup COMMAND...: starts the program with COMMAND, reads its serial-line controls through the test
# driver ($driver), closes it through its quit question and waits for COMMAND's end; prints the controls'
# state, then the exit code ("locked, exit 0").
WINE=/usr/lib/wine/wine64
# A program that has not ended by then hangs: a guard, not a speed goal.
END_WAIT_S=60

run_setup() {
  "$@" &
  local pid=$! state waited=0
  state=$("$WINE" "$driver" serial-line | tr -d '\r')
  "$WINE" "$driver" quit >/dev/null || state="$state, quit question not answered"
  while kill -0 "$pid" 2>/dev/null && [ $waited -lt $((END_WAIT_S * 10)) ]; do
    sleep 0.1
    waited=$((waited + 1))
  done
  if kill -0 "$pid" 2>/dev/null; then
    /usr/lib/wine/wineserver -k
    echo "$state, did not end"
    return
  fi
  wait "$pid"
  echo "$state, exit $?"
}

#!/bin/sh
# Runs chromedriver, and the browser it starts, in a PID namespace of their own. The browser signals its
# helper processes by number when it ends, also ones that have gone meanwhile: a number that the system
# gave to another process since (a station under test) must not be reached. Without the rights for a
# namespace, chromedriver runs as it is.
if unshare --pid --fork --mount-proc true 2>/dev/null; then
  exec unshare --pid --fork --kill-child --mount-proc /usr/bin/chromedriver "$@"
fi
exec /usr/bin/chromedriver "$@"

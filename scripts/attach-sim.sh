# Sourced (bash) by the scripts that give a Wine prefix a simulated ZRV-Link on a COM port.
# zrv_attach_sim SIM WORK PORT [SIM OPTION...]: starts zrvlink-sim SIM on a pty linked as WORK/pty<PORT>
# (received bytes in WORK/received<PORT>.log), maps it as COM<PORT> into $WINEPREFIX and appends the
# simulator's pid to the array ZRV_SIM_PIDS. Returns 1 when the simulator did not start.
ZRV_SIM_PIDS=()

zrv_attach_sim() {
  local sim=$1 work=$2 port=$3
  shift 3
  "$sim" --link "$work/pty$port" --log "$work/received$port.log" "$@" >"$work/sim$port.out" 2>"$work/sim$port.err" &
  ZRV_SIM_PIDS+=($!)
  local try
  for try in $(seq 100); do
    [ -e "$work/pty$port" ] && break
    sleep 0.05
  done
  if [ ! -e "$work/pty$port" ]; then
    echo "zrvlink-sim for COM$port did not start (tried $try times)" >&2
    cat "$work/sim$port.err" >&2
    return 1
  fi
  ln -sf "$work/pty$port" "$WINEPREFIX/dosdevices/com$port"
}

# Ends the simulators that zrv_attach_sim started.
zrv_stop_sims() {
  local pid
  for pid in "${ZRV_SIM_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${ZRV_SIM_PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
  ZRV_SIM_PIDS=()
}

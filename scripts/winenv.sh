# Sourced by the run, test and benchmark scripts: a throwaway Wine prefix, a virtual
# display with a window manager, and one wineserver kept alive for the whole run.
# Everything started here is stopped by halvren_env_stop (installed as an EXIT trap).

HALVREN_TMP=$(mktemp -d /tmp/halvren.XXXXXX)
export WINEPREFIX="$HALVREN_TMP/prefix"
export WINEDEBUG=-all
export WINEARCH=win32
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
HALVREN_PIDS=()

halvren_env_stop() {
  [ -n "${HALVREN_KEEPALIVE_FD:-}" ] && exec {HALVREN_KEEPALIVE_FD}>&-
  wineserver -k >/dev/null 2>&1 || true
  for p in "${HALVREN_PIDS[@]}"; do kill "$p" >/dev/null 2>&1 || true; done
  for p in "${HALVREN_PIDS[@]}"; do wait "$p" >/dev/null 2>&1 || true; done
  rm -rf "$HALVREN_TMP"
}
trap halvren_env_stop EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

halvren_start_display() {
  local n
  for n in $(seq 91 140); do
    [ -e /tmp/.X$n-lock ] || [ -e /tmp/.X11-unix/X$n ] && continue
    Xvfb :$n -screen 0 1280x1024x24 -nolisten tcp >"$HALVREN_TMP/xvfb.log" 2>&1 &
    HALVREN_PIDS+=($!)
    export DISPLAY=:$n
    local i
    for i in $(seq 1 50); do
      xdpyinfo >/dev/null 2>&1 && break
      sleep 0.1
    done
    openbox --sm-disable >"$HALVREN_TMP/openbox.log" 2>&1 &
    HALVREN_PIDS+=($!)
    sleep 0.3
    return 0
  done
  echo "no free display" >&2
  return 1
}

halvren_start_wine() {
  wineboot -i >/dev/null 2>&1 || true
  wineserver -w
  wineserver -p >/dev/null 2>&1 &
  HALVREN_PIDS+=($!)
  # Wine's system processes (services, explorer) start with the first program and inherit
  # its output; under ctest that pipe would stay open and the first test would never end.
  # One idle cmd.exe, reading a FIFO that this shell holds open, keeps them running for the
  # whole run with their output going nowhere. It ends when this shell closes the FIFO.
  mkfifo "$HALVREN_TMP/keepalive"
  wine cmd.exe <"$HALVREN_TMP/keepalive" >/dev/null 2>&1 &
  HALVREN_PIDS+=($!)
  exec {HALVREN_KEEPALIVE_FD}>"$HALVREN_TMP/keepalive"
  wine cmd.exe /c exit >/dev/null 2>&1 || true
}

#!/usr/bin/env bash
# Starts and stops what the Windows tests and the demo run against: an X server
# (Xvfb), a persistent Wine server in our prefix, and the local HTTPS test server.
#   session.sh start [--display]   (--display: use $DISPLAY instead of our own Xvfb)
#   session.sh stop
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$here/scripts/env.sh"
run_dir="$OSTRANE_STATE/session"
server_state="$OSTRANE_STATE/server"
mkdir -p "$run_dir" "$server_state" "$OSTRANE_STATE/docroot/f" "$OSTRANE_STATE/docroot/product"

start() {
  # What runs from here may outlive the caller (a Wine server, an X server): it must not
  # keep the caller's descriptors open, such as a lock file that serialises test runs.
  for fd in /proc/$$/fd/*; do
    fd=${fd##*/}
    if [ "$fd" -gt 2 ] && [ "$fd" -lt 255 ]; then eval "exec $fd>&-" 2>/dev/null || true; fi
  done
  if [ "${1:-}" != "--display" ] || [ -z "${DISPLAY:-}" ]; then
    export DISPLAY="$OSTRANE_DISPLAY"
    if ! xdpyinfo -display "$DISPLAY" >/dev/null 2>&1; then
      Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >"$run_dir/xvfb.log" 2>&1 &
      echo $! >"$run_dir/xvfb.pid"
      for _ in $(seq 50); do xdpyinfo -display "$DISPLAY" >/dev/null 2>&1 && break; sleep 0.1; done
    fi
  fi
  echo "$DISPLAY" >"$run_dir/display"
  # A Wine server left from an earlier run is reused.
  wineserver -p 2>/dev/null || true
  # The first program in a prefix finishes Wine's own set-up; let that happen here,
  # not inside a timed test.
  wine cmd /c exit 0 >/dev/null 2>&1 || true
  # --no-continue: Wine's WinHTTP fails on an interim "100 Continue" reply.
  python3 "$here/tools/testserver/testserver.py" start --port 443 --host localhost \
    --cert "$OSTRANE_PKI/server.crt" --key "$OSTRANE_PKI/server.key" \
    --state-dir "$server_state" --docroot "$OSTRANE_STATE/docroot" --idle-exit 3600 \
    --no-continue >/dev/null
}

stop() {
  python3 "$here/tools/testserver/testserver.py" stop --state-dir "$server_state" >/dev/null 2>&1 || true
  wineserver -k 2>/dev/null || true
  if [ -f "$run_dir/xvfb.pid" ]; then
    local pid; pid=$(cat "$run_dir/xvfb.pid")
    # Only our Xvfb: the pid may have been reused since.
    if [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = Xvfb ]; then kill "$pid" 2>/dev/null || true; fi
    rm -f "$run_dir/xvfb.pid"
  fi
}

case "${1:-}" in
  start) shift; start "$@" ;;
  stop) stop ;;
  *) echo "usage: $0 start [--display] | stop" >&2; exit 2 ;;
esac

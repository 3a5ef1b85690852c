#!/usr/bin/env bash
# Starts or stops the local distribution/report server; safe to repeat.
#   serverctl.sh start|stop|status
# Environment:
#   HALVEX_SERVER_STATE  folder for requests.log, control, server.pid, server.out (required)
#   HALVEX_SERVER_ROOT   folder served (fenwa/FenwaTamrick.zip, BVMFC.zip, fenwa/FenwaHalvex64.exe) (required for start)
#   HALVEX_HTTP_PORT     default 18080
#   HALVEX_HTTPS_PORT    default 18443
#   HALVEX_CERT_DIR      folder with server.pem and server.key (required for start)
set -u
here=$(cd "$(dirname "$0")" && pwd)
state=${HALVEX_SERVER_STATE:?set HALVEX_SERVER_STATE}
pidfile=$state/server.pid

running() {
  local pid
  [ -f "$pidfile" ] || return 1
  pid=$(cat "$pidfile" 2>/dev/null) || return 1
  [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null \
    && tr '\0' ' ' < "/proc/$pid/cmdline" 2>/dev/null | grep -q halvex_server.py
}

start() {
  if running; then
    echo "server already running (pid $(cat "$pidfile"))"
    return 0
  fi
  local root=${HALVEX_SERVER_ROOT:?set HALVEX_SERVER_ROOT}
  local certs=${HALVEX_CERT_DIR:?set HALVEX_CERT_DIR}
  mkdir -p "$state"
  rm -f "$pidfile" "$state/ready"
  python3 "$here/halvex_server.py" --root "$root" --state "$state" \
    --http-port "${HALVEX_HTTP_PORT:-18080}" --https-port "${HALVEX_HTTPS_PORT:-18443}" \
    --cert "$certs/server.pem" --key "$certs/server.key" --pidfile "$pidfile" \
    >>"$state/server.out" 2>&1 </dev/null &
  local pid=$! i
  for i in $(seq 100); do
    [ -f "$state/ready" ] && { echo "server ready (pid $pid)"; return 0; }
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "server did not start; see $state/server.out" >&2
  kill "$pid" 2>/dev/null
  tail -5 "$state/server.out" >&2
  return 1
}

stop() {
  if ! running; then
    rm -f "$pidfile" "$state/ready"
    echo "server not running"
    return 0
  fi
  local pid i
  pid=$(cat "$pidfile")
  kill -TERM "$pid"
  for i in $(seq 50); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$pid" 2>/dev/null && kill -KILL "$pid"
  rm -f "$pidfile" "$state/ready"
  echo "server stopped"
}

case "${1:-}" in
  start) start ;;
  stop) stop ;;
  status) if running; then echo "running (pid $(cat "$pidfile"))"; else echo "not running"; exit 1; fi ;;
  *) echo "usage: $0 start|stop|status" >&2; exit 2 ;;
esac

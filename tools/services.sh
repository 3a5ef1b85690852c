# Sourced: trusts the local CA inside the prefix and starts the local servers.
halvex_services_up() {
  local build=$1
  export HALVEX_TOOLS_DIR="$build/tools"
  export HALVEX_PAYLOAD_DIR="$build/payloads"
  export HALVEX_SERVER_STATE="$build/server-state"
  export HALVEX_SERVER_ROOT="$build/payloads/root"
  export HALVEX_CERT_DIR="$build/certs"
  export HALVEX_RECORD_DIR_UNIX="$build/records"
  mkdir -p "$HALVEX_SERVER_STATE" "$HALVEX_RECORD_DIR_UNIX"
  local here
  here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  [ -x "$here/tools/certs.sh" ] || return 0
  "$here/tools/certs.sh" "$HALVEX_CERT_DIR" >/dev/null
  if [ ! -f "$WINEPREFIX/.halvex-ca" ] && [ -f "$HALVEX_TOOLS_DIR/trust_ca.exe" ]; then
    wine "$HALVEX_TOOLS_DIR/trust_ca.exe" "$(halvex_winpath "$HALVEX_CERT_DIR/ca.der")" >/dev/null
    touch "$WINEPREFIX/.halvex-ca"
  fi
  # The ports are the ones this build was configured with.
  local dist report
  dist=$(sed -n 's/^HALVEX_DISTRIBUTION_HOST:STRING=//p' "$build/CMakeCache.txt")
  report=$(sed -n 's/^HALVEX_REPORT_HOST:STRING=//p' "$build/CMakeCache.txt")
  export HALVEX_HTTP_PORT=${dist##*:} HALVEX_HTTPS_PORT=${report##*:}
  "$here/tools/server/serverctl.sh" start
  HALVEX_SERVICES_STARTED=1
}

halvex_services_down() {
  local here
  here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  if [ -n "${HALVEX_SERVICES_STARTED:-}" ]; then
    "$here/tools/server/serverctl.sh" stop || true
    HALVEX_SERVICES_STARTED=
  fi
}

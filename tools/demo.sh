#!/usr/bin/env bash
# Sets up, builds and runs Halvex.exe under Wine against the local servers,
# then shows what it installed. MODE: empty (install), -update, -uninstall,
# -installcomponents. The prefix is kept between runs.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$here/build}
mode=${1:-}
"$here/tools/setup.sh"
BUILD_DIR="$build" "$here/tools/build.sh" >/dev/null

. "$here/tools/winenv.sh"
# The user's display when there is one, else a private Xvfb.
export HALVEX_KEEP_DISPLAY=1
trap 'type halvex_services_down >/dev/null 2>&1 && halvex_services_down; halvex_wine_down' EXIT
halvex_wine_up "$build"
. "$here/tools/services.sh"
halvex_services_up "$build" >/dev/null

demo="$build/demo"
mkdir -p "$demo"
export HALVEX_RECORD_DIR
HALVEX_RECORD_DIR=$(halvex_winpath "$HALVEX_RECORD_DIR_UNIX")
rm -f "$HALVEX_RECORD_DIR_UNIX/starts.log" "$HALVEX_SERVER_STATE/requests.log"
# Slow enough that the progress can be watched.
printf 'rate=%s\n' "${HALVEX_DEMO_RATE:-3000}" >"$HALVEX_SERVER_STATE/control"

echo "== Running: Halvex.exe ${mode:-(no command line)}"
wine "$build/Halvex.exe" $mode >/dev/null 2>&1 &
pid=$!
if [ -x "$build/tools/winprobe.exe" ] || [ -f "$build/tools/winprobe.exe" ]; then
  wine "$build/tools/winprobe.exe" wait-main 20 >/dev/null 2>&1 || true
fi
sleep "${HALVEX_DEMO_SHOT_DELAY:-2}"
import -window root "$demo/screenshot.png" 2>/dev/null && echo "Screenshot of the window: $demo/screenshot.png"
[ -f "$build/tools/winprobe.exe" ] && wine "$build/tools/winprobe.exe" main 2>/dev/null | sed 's/^/   window: /' || true
wait $pid || true
rm -f "$HALVEX_SERVER_STATE/control"

"$here/tools/show-install.sh" "$build"

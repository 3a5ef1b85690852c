#!/usr/bin/env bash
# Builds and runs the benchmarks under Wine against the local server.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$here/build}
"$here/tools/setup.sh"
BUILD_DIR="$build" "$here/tools/build.sh"
cmake --build "$build" --target bench_download

. "$here/tools/winenv.sh"
trap 'type halvex_services_down >/dev/null 2>&1 && halvex_services_down; halvex_wine_down' EXIT
halvex_wine_up "$build"
. "$here/tools/services.sh"
halvex_services_up "$build"

"$here/tools/wine-run.sh" "$build/bench/bench_download.exe"

#!/usr/bin/env bash
# Sets up, builds and runs every test under Wine. Extra arguments go to ctest.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$here/build}
"$here/tools/setup.sh"
BUILD_DIR="$build" "$here/tools/build.sh"

. "$here/tools/winenv.sh"
trap 'type halvex_services_down >/dev/null 2>&1 && halvex_services_down; halvex_wine_down' EXIT
halvex_wine_up "$build"
. "$here/tools/services.sh"
halvex_services_up "$build"

cd "$build"
ctest --output-on-failure "$@"

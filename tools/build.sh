#!/usr/bin/env bash
# Configures and builds into BUILD_DIR (default build/).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$here/build}
cmake -S "$here" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$here/cmake/i686-w64-mingw32.cmake" \
  ${HALVEX_CMAKE_ARGS:-} >/dev/null
cmake --build "$build" -j"$(nproc)" "$@"

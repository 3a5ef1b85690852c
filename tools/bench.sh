#!/usr/bin/env bash
# Builds every benchmark program (bench/*_bench.cpp) and runs each under the
# test Wine prefix with the local servers up. Not part of the tests.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$here/build}
"$here/tools/setup.sh"
BUILD_DIR="$build" "$here/tools/build.sh"
BUILD_DIR="$build" "$here/tools/build.sh" --target benches

. "$here/tools/winenv.sh"
work="$build/bench-work"
trap 'type halvex_services_down >/dev/null 2>&1 && halvex_services_down; halvex_wine_down; rm -rf "$work"' EXIT
halvex_wine_up "$build"
. "$here/tools/services.sh"
halvex_services_up "$build"

status=0
found=0
for program in "$build"/bench/bench_*.exe; do
  [ -e "$program" ] || continue
  found=1
  name=$(basename "$program" .exe)
  rm -rf "$work/$name"
  mkdir -p "$work/$name"
  echo "== $name"
  "$here/tools/wine-run.sh" "$program" "$(halvex_winpath "$work/$name")" || status=$?
done
[ "$found" = 1 ] || { echo "no benchmark programs in $build/bench" >&2; exit 1; }
exit $status

#!/usr/bin/env bash
# Saves pictures of the progress window, as the user sees it, in English and
# in French: BUILD_DIR/screenshots/dialog-en.png and dialog-fr.png.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$here/build}
BUILD_DIR="$build" "$here/tools/build.sh" --target showdialog >/dev/null

. "$here/tools/winenv.sh"
trap 'halvex_wine_down' EXIT
halvex_wine_up "$build"

out="$build/screenshots"
mkdir -p "$out"
for lang in en fr; do
  ready="$out/.ready-$lang"
  rm -f "$ready"
  wine "$build/tools/showdialog.exe" "$lang" "$(halvex_winpath "$ready")" >/dev/null 2>&1 </dev/null &
  pid=$!
  for _ in $(seq 200); do [ -s "$ready" ] && break; sleep 0.1; done
  if [ ! -s "$ready" ]; then
    echo "showdialog $lang did not show its window" >&2
    kill "$pid" 2>/dev/null || true
    exit 1
  fi
  sleep 1 # let the last paint reach the screen
  read -r x y w h <"$ready"
  # The window with a margin of 8 pixels of desktop around it.
  import -window root -crop "$((w + 16))x$((h + 16))+$((x - 8))+$((y - 8))" +repage "$out/dialog-$lang.png"
  rm -f "$ready"
  wait "$pid" || true
  echo "$out/dialog-$lang.png"
done

# Sourced by the scripts under tools/: a Wine prefix under the build folder,
# made once and reused, a private Xvfb display and one persistent wineserver.
# Usage: . tools/winenv.sh; halvex_wine_up BUILD_DIR; ...; halvex_wine_down

halvex_wine_up() {
  local build=$1
  export WINEPREFIX="$build/wineprefix"
  export WINEARCH=win32
  export WINEDEBUG=-all
  export HALVEX_BUILD_DIR="$build"
  mkdir -p "$build"
  if [ -z "${HALVEX_KEEP_DISPLAY:-}" ] || [ -z "${DISPLAY:-}" ]; then
    local n=90
    while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    HALVEX_XVFB_PID=$!
    export DISPLAY=":$n"
    local i=0
    while [ ! -e "/tmp/.X11-unix/X$n" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
  fi
  if [ ! -f "$WINEPREFIX/.halvex-ready" ]; then
    rm -rf "$WINEPREFIX"
    # No Mono or Gecko prompts: nothing here needs them.
    WINEDLLOVERRIDES="mscoree,mshtml=d" wineboot -i >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.halvex-ready"
  fi
  if [ ! -f "$WINEPREFIX/.halvex-unmanaged" ]; then
    # Xvfb has no window manager: a window left to one waits 2 s for it on
    # every hide, so Wine manages the windows itself.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.halvex-unmanaged"
  fi
  wineserver -p
  # Start the prefix's services now, outside any test's output.
  wine cmd /c exit >/dev/null 2>&1 </dev/null || true
}

halvex_wine_down() {
  wineserver -k 2>/dev/null || true
  if [ -n "${HALVEX_XVFB_PID:-}" ]; then
    kill "$HALVEX_XVFB_PID" 2>/dev/null || true
    wait "$HALVEX_XVFB_PID" 2>/dev/null || true
    HALVEX_XVFB_PID=
  fi
}

# Z: is the Unix root in every prefix.
halvex_winpath() {
  printf 'Z:%s' "$1" | tr '/' '\\'
}

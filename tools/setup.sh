#!/usr/bin/env bash
# Installs what the build and the tests need, once; safe to run again.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
SUDO=""
[ "$(id -u)" = 0 ] || SUDO="sudo"

need=()
pkgs=(cmake make python3 g++-mingw-w64-i686 gcc-mingw-w64-i686 binutils-mingw-w64-i686
      mingw-w64-i686-dev libz-mingw-w64-dev googletest wine wine64 wine32:i386
      xvfb xauth openssl x11-apps imagemagick dpkg-dev)
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || need+=("$p")
done

if [ ${#need[@]} -gt 0 ] || [ ! -d "$here/third_party/zlib-src/contrib/minizip" ]; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  src=/etc/apt/sources.list.d/halvex-src.sources
  if [ ! -f "$src" ] && [ ! -f /etc/apt/sources.list.d/halvex-src.list ]; then
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
      sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources | $SUDO tee "$src" >/dev/null
    else
      grep -h '^deb ' /etc/apt/sources.list 2>/dev/null | sed 's/^deb /deb-src /' \
        | $SUDO tee /etc/apt/sources.list.d/halvex-src.list >/dev/null
    fi
  fi
  $SUDO apt-get update -qq
fi
if [ ${#need[@]} -gt 0 ]; then
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${need[@]}"
fi

# minizip has no mingw package: take its reader from Debian's zlib source.
if [ ! -d "$here/third_party/zlib-src/contrib/minizip" ]; then
  tmp="$here/third_party/.fetch"
  rm -rf "$tmp"; mkdir -p "$tmp"
  (cd "$tmp" && apt-get source -qq --download-only zlib=1:1.2.13.dfsg-1 \
     && dpkg-source -x --no-check zlib_1.2.13.dfsg-1.dsc zlib-src >/dev/null)
  rm -rf "$here/third_party/zlib-src"
  mv "$tmp/zlib-src" "$here/third_party/zlib-src"
  rm -rf "$tmp"
fi

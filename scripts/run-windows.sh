#!/usr/bin/env bash
# Builds the Windows program with mingw-w64 and starts it under Wine.
#
#   scripts/run-windows.sh [velmora options]   build build-win32/bin/velmora.exe and start it
#   scripts/run-windows.sh --demo              also start the local demo host first (a telnet
#                                              server on 127.0.0.2 port 23 running a shell;
#                                              needs root) and connect to it
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
. "$root/scripts/common.sh"

demo=false
if [ "${1:-}" = "--demo" ]; then
  demo=true
  shift
fi

packages=(cmake make mingw-w64 wine wine64 fonts-ipafont-gothic locales)
$demo && packages+=(busybox-static)
velmora_need_packages "${packages[@]}"
velmora_need_locale ja_JP.UTF-8

win="$root/build-win32"
cmake -S "$root" -B "$win" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_BUILD_TESTS=OFF >/dev/null
cmake --build "$win" -j "$(velmora_jobs)" --target velmora >/dev/null
echo "velmora: built $win/bin/velmora.exe"

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=ja_JP.UTF-8
if $demo; then
  velmora_start_demo_host scripts/run-windows.sh
  wine "$win/bin/velmora.exe" /H 127.0.0.2 "$@"
else
  exec wine "$win/bin/velmora.exe" "$@"
fi

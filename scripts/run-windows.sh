#!/usr/bin/env bash
# Builds the Windows program with mingw-w64 and starts it under Wine.
#
#   scripts/run-windows.sh [velmora options]   build build-win32/bin/velmora.exe and start it
#   scripts/run-windows.sh --demo              also start the local demo host (a telnet
#                                              server on 127.0.0.2 port 23 running a shell as
#                                              you, in a network namespace of its own that
#                                              only Velmora shares) and connect to it
#
# Needs no root. Run through sudo, it installs what is missing and then goes on as the user
# who called sudo, so the build and the Wine prefix stay theirs.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
. "$root/scripts/common.sh"

win="$root/build-win32"
velmora_run_preamble "$root/scripts/run-windows.sh" "$win" cmake make mingw-w64 wine wine64 fonts-ipafont-gothic locales -- "$@"
set -- "${velmora_args[@]}"
cmake -S "$root" -B "$win" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_BUILD_TESTS=OFF >/dev/null
cmake --build "$win" -j "$(velmora_jobs)" --target velmora >/dev/null
echo "velmora: built $win/bin/velmora.exe"

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=ja_JP.UTF-8
if $velmora_demo; then
  velmora_run_with_demo_host wine "$win/bin/velmora.exe" /H 127.0.0.2 "$@"
else
  exec wine "$win/bin/velmora.exe" "$@"
fi

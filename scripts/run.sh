#!/usr/bin/env bash
# Builds Velmora and starts it.
#
#   scripts/run.sh [velmora options]   build, then start Velmora (e.g. /H host /C utf8)
#   scripts/run.sh --demo              also start a local demo host first (a telnet server on
#                                      127.0.0.2 port 23 running a shell; needs root) and connect
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
. "$root/scripts/common.sh"

demo=false
if [ "${1:-}" = "--demo" ]; then
  demo=true
  shift
fi

packages=(g++ cmake make qt6-base-dev fonts-ipafont-gothic)
$demo && packages+=(busybox-static)
velmora_need_packages "${packages[@]}"

build="$root/build"
cmake -S "$root" -B "$build" -DVELMORA_BUILD_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(velmora_jobs)" --target velmora >/dev/null
echo "velmora: built $build/bin/velmora"

if $demo; then
  velmora_start_demo_host scripts/run.sh
  "$build/bin/velmora" /H 127.0.0.2 "$@"
else
  exec "$build/bin/velmora" "$@"
fi

#!/usr/bin/env bash
# Builds Velmora and starts it.
#
#   scripts/run.sh [velmora options]   build, then start Velmora (e.g. /H host /C utf8)
#   scripts/run.sh --demo              also start a local demo host (a telnet server on
#                                      127.0.0.2 port 23 running a shell as you, in a network
#                                      namespace of its own that only Velmora shares) and connect
#
# Needs no root. Run through sudo, it installs what is missing and then goes on as the user
# who called sudo, so the build stays theirs.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
. "$root/scripts/common.sh"

arguments=("$@")
demo=false
if [ "${1:-}" = "--demo" ]; then
  demo=true
  shift
fi

packages=(g++ cmake make qt6-base-dev fonts-ipafont-gothic)
$demo && packages+=(busybox-static)
velmora_need_packages "${packages[@]}"
velmora_leave_sudo "$root/scripts/run.sh" "${arguments[@]}"

build="$root/build"
if [ -e "$build" ] && [ ! -w "$build" ]; then
  echo "velmora: $build belongs to another user (an earlier run as root?); as root: chown -R $(id -un) $build" >&2
  exit 1
fi
cmake -S "$root" -B "$build" -DVELMORA_BUILD_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(velmora_jobs)" --target velmora >/dev/null
echo "velmora: built $build/bin/velmora"

if $demo; then
  velmora_run_with_demo_host "$build/bin/velmora" /H 127.0.0.2 "$@"
else
  exec "$build/bin/velmora" "$@"
fi

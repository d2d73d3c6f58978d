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

build="$root/build"
velmora_run_preamble "$root/scripts/run.sh" "$build" g++ cmake make qt6-base-dev fonts-ipafont-gothic -- "$@"
set -- "${velmora_args[@]}"
cmake -S "$root" -B "$build" -DVELMORA_BUILD_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(velmora_jobs)" --target velmora >/dev/null
echo "velmora: built $build/bin/velmora"

if $velmora_demo; then
  velmora_run_with_demo_host "$build/bin/velmora" /H 127.0.0.2 "$@"
else
  exec "$build/bin/velmora" "$@"
fi

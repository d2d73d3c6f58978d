#!/usr/bin/env bash
# Builds Velmora and starts it. Until a window front-end exists this builds the core and the
# replay tool and shows a sample host session replayed on an 80x24 screen.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
. "$root/scripts/common.sh"
velmora_need_packages g++ cmake make

build="$root/build"
cmake -S "$root" -B "$build" -DVELMORA_BUILD_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(velmora_jobs)" --target velmora-replay >/dev/null

sample="${1:-$root/samples/welcome.euc}"
echo "velmora-replay --encoding euc --utf8 --cursor $sample"
"$build/bin/velmora-replay" --encoding euc --utf8 --cursor "$sample"

#!/usr/bin/env bash
# Builds Velmora and runs every test: once as built for use, once more under
# AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
. "$root/scripts/common.sh"
# python3-pyte: an independent VT100 to compare captured sessions with;
# busybox-static: a real telnet server on loopback; Qt 6 and a Japanese font for the window.
velmora_need_packages g++ cmake make libgtest-dev python3 python3-pyte busybox-static \
  qt6-base-dev fonts-ipafont-gothic

jobs="$(velmora_jobs)"
run_suite() {
  local dir="$1"; shift
  echo "== building in $dir"
  cmake -S "$root" -B "$dir" "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  echo "== testing in $dir"
  ctest --test-dir "$dir" -j "$jobs" --output-on-failure --timeout 300
}

run_suite "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_BUILD_TESTS=ON
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_suite "$root/build-sanitize" -DCMAKE_BUILD_TYPE=Debug -DVELMORA_SANITIZE=ON -DVELMORA_BUILD_TESTS=ON

#!/usr/bin/env bash
# Builds Velmora and runs every test: once as built for use, once more under
# AddressSanitizer and UndefinedBehaviorSanitizer, then the fuzzers for a minute each, and then
# the Windows program, cross-built with mingw-w64, under Wine on a virtual X display, and last
# the packages people install. Stages can be run alone (scripts/test.sh --help).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
. "$root/scripts/common.sh"

usage() {
  cat >&2 <<'TEXT'
usage: scripts/test.sh [STAGE...]
  (none)           every stage below, in this order (what CI runs)
  --quick          build and run the main suite only
  --sanitize       the suite again under AddressSanitizer and UndefinedBehaviorSanitizer
  --fuzz SECONDS   the fuzzers for SECONDS each, then their whole corpora
  --windows        the Windows program, cross-built, and its tests under Wine
  --package        the Debian package and the Windows installer, built and checked
TEXT
  exit 2
}

main=false sanitize=false fuzz=false windows=false package=false fuzz_seconds=60
if [ $# -eq 0 ]; then
  main=true sanitize=true fuzz=true windows=true package=true
fi
while [ $# -gt 0 ]; do
  case "$1" in
    --quick) main=true ;;
    --sanitize) sanitize=true ;;
    --fuzz)
      [ $# -ge 2 ] || usage
      case "$2" in ''|*[!0-9]*) usage ;; esac
      fuzz=true fuzz_seconds="$2"
      shift ;;
    --windows) windows=true ;;
    --package) package=true ;;
    *) usage ;;
  esac
  shift
done

# What each stage needs. python3-pyte: an independent VT100 to compare captured sessions with;
# busybox-static: a real telnet server on loopback; Qt 6 and a Japanese font for the window.
# clang with its sanitizer and libFuzzer runtimes: the fuzzers; mingw-w64, Wine, Xvfb and a
# Japanese locale: the Windows program and its tests. dpkg-dev (dpkg-shlibdeps, dpkg-buildflags),
# file, lintian and nsis: the packages.
packages=(g++ cmake make python3)
if $main || $sanitize; then
  packages+=(libgtest-dev python3-pyte busybox-static qt6-base-dev fonts-ipafont-gothic)
fi
$fuzz && packages+=(clang libclang-rt-14-dev)
if $windows || $package; then
  packages+=(mingw-w64 wine wine64 xvfb xauth locales fonts-ipafont-gothic)
fi
$package && packages+=(qt6-base-dev dpkg-dev file lintian nsis)
velmora_need_packages "${packages[@]}"
if $windows || $package; then
  velmora_need_locale ja_JP.UTF-8
fi

jobs="$(velmora_jobs)"
run_suite() {
  local dir="$1"; shift
  echo "== building in $dir"
  cmake -S "$root" -B "$dir" "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  echo "== testing in $dir"
  ctest --test-dir "$dir" -j "$jobs" --output-on-failure --timeout 300
}

main_stage() {
  run_suite "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_BUILD_TESTS=ON
}

sanitize_stage() {
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    run_suite "$root/build-sanitize" -DCMAKE_BUILD_TYPE=Debug -DVELMORA_SANITIZE=ON -DVELMORA_BUILD_TESTS=ON
}

# The fuzzers: a while on each target, then their whole corpora.
fuzz_stage() {
  echo "== fuzzing"
  bash "$root/scripts/fuzz.sh" "$fuzz_seconds"
}

# The Windows program: built across, its tests run under Wine in a prefix of the build's own.
win="$root/build-win32"
windows_stage() {
  echo "== building the Windows program in $win"
  cmake -S "$root" -B "$win" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_BUILD_TESTS=OFF -DVELMORA_BUILD_WIN32_TESTS=ON \
    -DCMAKE_CROSSCOMPILING_EMULATOR=wine >/dev/null
  cmake --build "$win" -j "$jobs"
  echo "== testing the Windows program under Wine"
  mkdir -p "$win/wineprefix"
  (
    export WINEPREFIX="$win/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=ja_JP.UTF-8
    # Without a window manager on the virtual display, Wine's own window management closes
    # windows at once instead of waiting for one.
    xvfb-run -a wine reg add "HKCU\\Software\\Wine\\X11 Driver" /v Managed /d N /f >/dev/null 2>&1 || true
    xvfb-run -a -s "-screen 0 1280x1024x24" ctest --test-dir "$win" --output-on-failure --timeout 900
  )
}

# The packages: the Debian package from a release build (lintian, installed with apt-get, its
# files, the installed program against a scripted loopback host, removed again) and the Windows
# installer around the velmora.exe of the Windows stage (installed silently under Wine, started,
# removed).
package_stage() {
  echo "== packaging"
  VELMORA_WIN32_DIR="$win" bash "$root/scripts/package.sh" --check
}

$main && main_stage
$sanitize && sanitize_stage
$fuzz && fuzz_stage
$windows && windows_stage
$package && package_stage
echo "== every stage asked for passed"

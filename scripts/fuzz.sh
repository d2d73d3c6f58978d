#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang++ (AddressSanitizer and
# UndefinedBehaviorSanitizer on), runs each for a while with its dictionary and a seed corpus
# made from tests/data, then runs each over its whole corpus once more.
#
#   scripts/fuzz.sh [SECONDS]   fuzz each target SECONDS (default 60); non-zero exit on a crash,
#                               a hang or a leak, with the input kept under the work folder
#
# Environment: VELMORA_FUZZ_DIR (work folder, default build-fuzz), VELMORA_FUZZ_JOBS (parallel
# fuzzing jobs per target, default 1), CXX_FUZZ (default clang++).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
. "$root/scripts/common.sh"

seconds="${1:-60}"
case "$seconds" in
  ''|*[!0-9]*) echo "usage: scripts/fuzz.sh [SECONDS]" >&2; exit 2 ;;
esac
work="${VELMORA_FUZZ_DIR:-$root/build-fuzz}"
jobs="${VELMORA_FUZZ_JOBS:-1}"
cxx="${CXX_FUZZ:-clang++}"

# clang and its sanitizer and libFuzzer runtimes (Debian: clang, libclang-rt-14-dev).
if ! command -v "$cxx" >/dev/null 2>&1 || ! command -v python3 >/dev/null 2>&1; then
  velmora_need_packages clang libclang-rt-14-dev python3
fi
mkdir -p "$work"
probe="$work/probe"
printf '%s\n' '#include <cstddef>' '#include <cstdint>' \
  'extern "C" int LLVMFuzzerTestOneInput(const uint8_t*, size_t) { return 0; }' > "$probe.cpp"
if ! "$cxx" -fsanitize=fuzzer,address,undefined "$probe.cpp" -o "$probe" 2>/dev/null; then
  if [ "$(id -u)" -eq 0 ]; then
    velmora_need_packages clang libclang-rt-14-dev
  fi
  if ! command -v "$cxx" >/dev/null 2>&1; then
    echo "velmora: the fuzz targets need clang, and $cxx is not installed; install it with:" >&2
    echo "velmora:   sudo apt-get install clang libclang-rt-14-dev   (or name another clang in CXX_FUZZ)" >&2
    exit 1
  fi
  if ! "$cxx" -fsanitize=fuzzer,address,undefined "$probe.cpp" -o "$probe" 2>"$probe.err"; then
    echo "velmora: $cxx cannot build a libFuzzer target with -fsanitize=fuzzer,address,undefined:" >&2
    sed 's/^/  /' "$probe.err" >&2
    echo "velmora: the libFuzzer and sanitizer runtimes are missing; install them with:" >&2
    echo "velmora:   sudo apt-get install clang libclang-rt-14-dev" >&2
    exit 1
  fi
fi

# ---- Build: the core and the targets through CMake (VELMORA_FUZZ), instrumented for coverage.
echo "== building the fuzz targets with $cxx in $work"
cmake -S "$root" -B "$work" -DCMAKE_CXX_COMPILER="$cxx" -DVELMORA_FUZZ=ON -DVELMORA_BUILD_TESTS=OFF \
  -DVELMORA_BUILD_QT=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" >/dev/null
targets=(receive settings)
cmake --build "$work" -j "$(velmora_jobs)" --target "${targets[@]/%/_fuzzer}"

# ---- Seeds, made afresh from tests/data each run; the corpus grows in the work folder.
rm -rf "$work/seeds"
python3 "$root/fuzz/make_seeds.py" "$root" "$work/seeds"

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:allocator_may_return_null=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
status=0
for t in "${targets[@]}"; do
  corpus="$work/corpus/$t"
  artifacts="$work/artifacts/$t"
  mkdir -p "$corpus" "$artifacts"
  common=(-dict="$root/fuzz/$t.dict" -timeout=30 -rss_limit_mb=2560 -max_len=16384
          -artifact_prefix="$artifacts/" -print_final_stats=1)
  parallel=()
  [ "$jobs" -gt 1 ] && parallel=(-jobs="$jobs" -workers="$jobs")
  echo "== fuzzing ${t}_fuzzer for ${seconds}s"
  if ! (cd "$work" && "./${t}_fuzzer" "${common[@]}" -max_total_time="$seconds" "${parallel[@]}" \
          "$corpus" "$work/seeds/$t" > "$work/$t.log" 2>&1); then
    echo "velmora: ${t}_fuzzer failed; the input is in $artifacts, the log in $work/$t.log" >&2
    tail -n 40 "$work/$t.log" >&2
    status=1
    continue
  fi
  grep -h -E '^(stat::number_of_executed_units|stat::peak_rss_mb)|^#[0-9]+ *DONE' "$work/$t.log" || true
  echo "== ${t}_fuzzer over its whole corpus ($(find "$corpus" "$work/seeds/$t" -type f | wc -l) inputs)"
  if ! "$work/${t}_fuzzer" "${common[@]}" -runs=0 "$corpus" "$work/seeds/$t" > "$work/$t-replay.log" 2>&1; then
    echo "velmora: ${t}_fuzzer failed on its corpus; see $work/$t-replay.log" >&2
    tail -n 40 "$work/$t-replay.log" >&2
    status=1
    continue
  fi
  # Keep only the inputs that add coverage, so that the corpus stays small from run to run.
  rm -rf "$corpus.min"
  mkdir -p "$corpus.min"
  if "$work/${t}_fuzzer" "${common[@]}" -merge=1 "$corpus.min" "$corpus" > "$work/$t-merge.log" 2>&1; then
    rm -rf "$corpus"
    mv "$corpus.min" "$corpus"
    echo "== ${t}_fuzzer corpus kept: $(find "$corpus" -type f | wc -l) inputs"
  else
    rm -rf "$corpus.min"
  fi
done
[ $status -eq 0 ] && echo "== fuzzing found nothing"
exit $status

#!/usr/bin/env bash
# Builds the libFuzzer targets with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer in their own build folder, then runs each for a
# bounded time on a copy of its seed corpus. A crash, a sanitizer report or a
# broken promise (the targets abort) fails the run; the input that did it is
# kept in the build folder and named in the output.
#   VELTRANE_FUZZ_SECONDS  time per target (default 30)
#   VELTRANE_FUZZ_BUILD_DIR  build folder (default build/fuzz)
set -euo pipefail
cd "$(dirname "$0")/../.."

seconds="${VELTRANE_FUZZ_SECONDS:-30}"
build_dir="${VELTRANE_FUZZ_BUILD_DIR:-build/fuzz}"
compiler="$(command -v clang++-14 || command -v clang++ || true)"
if [ -z "$compiler" ]; then
  echo "tests/fuzz/run.sh: clang++ not found; scripts/install-deps.sh installs clang and libfuzzer-14-dev" >&2
  exit 1
fi

cmake -S tests/fuzz -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER="$compiler" >/dev/null
cmake --build "$build_dir" -j2

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
status=0
for target in settings_text load_calibration; do
  corpus="$build_dir/corpus-$target"
  rm -rf "$corpus"
  mkdir -p "$corpus" "$build_dir/crashes"
  cp tests/fuzz/corpus/"$target"/* "$corpus"/
  echo "=== $target: ${seconds} s"
  log="$build_dir/$target.log"
  if "$build_dir/${target}_fuzzer" -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=1024 \
      -artifact_prefix="$build_dir/crashes/$target-" -print_final_stats=1 "$corpus" >"$log" 2>&1; then
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo '?')
    rate=$(grep -o 'exec/s: *[0-9]*' "$log" | tail -1 | grep -o '[0-9]*$' || echo '?')
    echo "    $runs runs, $rate executions per second, corpus $(ls "$corpus" | wc -l) inputs"
  else
    status=1
    tail -40 "$log"
    echo "$target FAILED; the input is in $build_dir/crashes/" >&2
  fi
done
exit "$status"

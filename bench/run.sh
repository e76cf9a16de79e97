#!/usr/bin/env bash
# Builds the page benchmark with the linux preset (Release) and runs it, then
# prints the results as a markdown table: time per page and its ratio to
# memcpy of the same byte size, measured in the same run.
#
#   bench/run.sh [benchmark options...]
#
# Environment:
#   VELTRANE_BENCH_BUILD_DIR  build directory (default: build/bench)
#   VELTRANE_BENCH_JSON       where the JSON results go (default: <build dir>/page_bench.json)
#   VELTRANE_BENCH_JOBS       parallel compile jobs (default: 2)
#
# Extra arguments go to the benchmark, e.g. --benchmark_filter=1920x1080.
# The table ends with a verdict per speed target (met or not, with the worst
# case). A measurement, not a test: the exit status never depends on a target.
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$repo"

build_dir="${VELTRANE_BENCH_BUILD_DIR:-build/bench}"
json="${VELTRANE_BENCH_JSON:-$build_dir/page_bench.json}"
jobs="${VELTRANE_BENCH_JOBS:-2}"

# The unit tests are not needed to measure, and leaving them out keeps the build short.
cmake --preset linux -B "$build_dir" -DVELTRANE_BUILD_TESTS=OFF >/dev/null
cmake --build "$build_dir" -j"$jobs" --target veltrane_bench

# Random interleaving spreads each case's repetitions over the whole run, so a
# burst of load from elsewhere falls a little on many cases, memcpy included,
# rather than all on a few.
echo "Load average before the run: $(cut -d' ' -f1-3 /proc/loadavg)" >&2
"$build_dir/bench/veltrane_bench" --benchmark_enable_random_interleaving=true \
    --benchmark_out="$json" --benchmark_out_format=json "$@" >&2
echo "Load average after the run: $(cut -d' ' -f1-3 /proc/loadavg)" >&2
echo "JSON results: $json" >&2
echo >&2

python3 "$repo/bench/bench_table.py" "$json"

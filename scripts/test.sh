#!/usr/bin/env bash
# Runs every test on a fresh Debian 12 machine: installs what is missing,
# then the unit tests (plain and under the sanitizers), the Windows build's
# tests under Wine, the end-to-end tests of both programs on Xvfb, the
# Linux program's on real Wayland compositors (sway, Weston),
# veltrane-lut's command-level tests (pytest) and its tests against colord,
# the settings reader's fuzzers, the test that kills saves, the browser
# edition (its unit tests under node and its tests in headless Chromium),
# and the packages.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

# Each step says how long the run has taken so far, so a slow step shows.
step() { printf '\n=== %s (at %dm%02ds) ===\n' "$*" $((SECONDS / 60)) $((SECONDS % 60)); }

step "Linux: build and unit tests"
cmake --preset linux
cmake --build --preset linux
ctest --preset linux

step "Linux: install rules, the .deb, desktop files and the command line"
pytest-3 -q -p no:cacheprovider tests/packaging --ignore=tests/packaging/test_windows_zip.py \
  --ignore=tests/packaging/test_web_zip.py

step "Linux with AddressSanitizer and UndefinedBehaviorSanitizer"
cmake --preset linux-asan
cmake --build --preset linux-asan
ctest --preset linux-asan

step "Windows: cross-build, then its tests under Wine"
scripts/wine-prefix.sh
cmake --preset windows
cmake --build --preset windows
# Under Wine a hung test would otherwise wait for ever.
ctest --test-dir build/windows --output-on-failure --no-tests=error --timeout 300

for suite in tests/e2e/windows/run.sh tests/e2e/sdl/run.sh tests/e2e/wayland/run.sh tests/e2e/lut/run.sh \
             tests/e2e/colord/run.sh; do
  if [ -x "$suite" ]; then
    step "End to end: $suite"
    "$suite"
  fi
done

step "Browser edition: build, unit tests under node, tests in Chromium at ratios 1, 1.5 and 2"
cmake --preset web
cmake --build --preset web
ctest --preset web
VELTRANE_E2E_SKIP_BUILD=1 tests/e2e/web/run.sh
# After the browser tests, so the zip is checked against the site they loaded.
pytest-3 -q -p no:cacheprovider tests/packaging/test_web_zip.py

step "Fuzzing the settings reader (libFuzzer, ASan, UBSan)"
tests/fuzz/run.sh

# After the tests under Wine, so the zip is checked against the program they ran.
step "Windows: the zip"
pytest-3 -q -p no:cacheprovider tests/packaging/test_windows_zip.py

step "All tests passed"

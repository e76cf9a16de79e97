#!/usr/bin/env bash
# End-to-end tests of the Linux program on a virtual X screen, under pytest:
# builds the program and veltrane-render from the linux preset, then runs the
# tests of this folder. Each run gets its own Xvfb, a temporary settings
# folder, and has every screenshot compared with veltrane-render's picture of
# the same page, pixel for pixel. Arguments go to pytest (-k NAME, -x, -v).
#   VELTRANE_BUILD_DIR      build folder to use (default: the preset's build/linux)
#   VELTRANE_E2E_DISPLAY    X display number of the main Xvfb (default 95)
#   VELTRANE_E2E_DISPLAYS   display numbers for extra screens (default the four after it)
set -euo pipefail
cd "$(dirname "$0")/../../.."

export VELTRANE_BUILD_DIR="${VELTRANE_BUILD_DIR:-build/linux}"
export VELTRANE_E2E_DISPLAY="${VELTRANE_E2E_DISPLAY:-95}"

if [ "$VELTRANE_BUILD_DIR" = build/linux ]; then
  cmake --preset linux >/dev/null
else
  cmake --preset linux -B "$VELTRANE_BUILD_DIR" >/dev/null
fi
cmake --build "$VELTRANE_BUILD_DIR" --target veltrane veltrane-render

. tests/e2e/common/pytest_suite.sh
run_pytest_suite e2e tests/e2e/sdl "$@"

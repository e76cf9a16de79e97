#!/usr/bin/env bash
# End-to-end tests of the Linux program on a virtual X screen: builds the
# program and veltrane-render from the linux preset, starts its own Xvfb,
# gives every run a temporary settings folder, and compares each screenshot
# with veltrane-render's picture of the same page, pixel for pixel.
#   VELTRANE_BUILD_DIR  build folder to use (default: the preset's build/linux)
#   VELTRANE_E2E_DISPLAY  X display number for Xvfb (default 95)
set -euo pipefail
cd "$(dirname "$0")/../../.."

build_dir="${VELTRANE_BUILD_DIR:-build/linux}"
display="${VELTRANE_E2E_DISPLAY:-95}"

if [ "$build_dir" = build/linux ]; then
  cmake --preset linux >/dev/null
else
  cmake --preset linux -B "$build_dir" >/dev/null
fi
cmake --build "$build_dir" --target veltrane veltrane-render

artifacts="$(mktemp -d "${TMPDIR:-/tmp}/veltrane-e2e-artifacts.XXXXXX")"
status=0
python3 tests/e2e/sdl/test_sdl_program.py --build-dir "$build_dir" --display "$display" \
  --artifacts "$artifacts" "$@" || status=$?
if [ "$status" -ne 0 ] && [ -n "$(ls -A "$artifacts")" ]; then
  echo "Images of the failed comparisons: $artifacts"
else
  rm -rf "$artifacts"
fi
exit "$status"

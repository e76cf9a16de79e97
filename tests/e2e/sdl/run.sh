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

# Debian's pytest (python3-pytest) belongs to the system's Python, which may
# not be the first python3 on the PATH.
if python3 -c 'import pytest' 2>/dev/null; then
  pytest=(python3 -m pytest)
elif [ -x /usr/bin/python3 ] && /usr/bin/python3 -c 'import pytest' 2>/dev/null; then
  pytest=(/usr/bin/python3 -m pytest)
else
  echo "pytest is missing: install python3-pytest (scripts/install-deps.sh does)" >&2
  exit 1
fi

artifacts="$(mktemp -d "${TMPDIR:-/tmp}/veltrane-e2e-artifacts.XXXXXX")"
export VELTRANE_E2E_ARTIFACTS="$artifacts"
status=0
# -p no:cacheprovider: no .pytest_cache in the source tree.
"${pytest[@]}" -p no:cacheprovider -rA tests/e2e/sdl "$@" || status=$?
if [ "$status" -eq 5 ]; then
  echo "No test was selected: that counts as a failure." >&2
fi
if [ "$status" -ne 0 ] && [ -n "$(ls -A "$artifacts")" ]; then
  echo "Images of the failed comparisons: $artifacts"
else
  rm -rf "$artifacts"
fi
exit "$status"

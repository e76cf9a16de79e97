#!/usr/bin/env bash
# Command-level tests of veltrane-lut and of the Linux program's handling of
# the gamma ramps, with pytest: builds veltrane, veltrane-render and
# veltrane-lut from the linux preset, starts its own Xvfb on the first free
# display of VELTRANE_E2E_DISPLAYS (default 180-189), and reads the files
# back with argyll's iccdump and iccvcgt.
#   VELTRANE_BUILD_DIR  build folder to use (default: the preset's build/linux)
set -euo pipefail
cd "$(dirname "$0")/../../.."

build_dir="${VELTRANE_BUILD_DIR:-build/linux}"
if [ "$build_dir" = build/linux ]; then
  cmake --preset linux >/dev/null
else
  cmake --preset linux -B "$build_dir" >/dev/null
fi
cmake --build "$build_dir" --target veltrane veltrane-render veltrane-lut

# Debian's pytest, whichever python3 comes first on the PATH.
pytest=pytest-3
command -v "$pytest" >/dev/null || pytest="python3 -m pytest"
VELTRANE_BUILD_DIR="$(cd "$build_dir" && pwd)" exec $pytest -q -p no:cacheprovider tests/e2e/lut "$@"

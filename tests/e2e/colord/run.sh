#!/usr/bin/env bash
# veltrane-lut install, uninstall and show, and the Linux program's hold on the
# desktop's calibration, against a real colord on a private system bus (a
# fresh daemon per test, its databases in a temporary folder), with pytest:
# builds veltrane, veltrane-render and veltrane-lut from the linux preset and
# starts its own Xvfb on the first free display of VELTRANE_E2E_DISPLAYS
# (default 200-209). Needs root: colord takes changes without polkit only
# from root, and the refused caller is another user.
#   VELTRANE_BUILD_DIR  build folder to use (default: the preset's build/linux)
set -euo pipefail
cd "$(dirname "$0")/../../.."

if [ "$(id -u)" -ne 0 ]; then
  echo "tests/e2e/colord: skipped, it needs root (colord takes changes without polkit only from root)" >&2
  exit 0
fi

build_dir="${VELTRANE_BUILD_DIR:-build/linux}"
if [ "$build_dir" = build/linux ]; then
  cmake --preset linux >/dev/null
else
  cmake --preset linux -B "$build_dir" >/dev/null
fi
cmake --build "$build_dir" --target veltrane veltrane-render veltrane-lut

# Debian's pytest and python3 (python3-gi is Debian's), whichever python3 comes first on the PATH.
pytest=pytest-3
command -v "$pytest" >/dev/null || pytest="/usr/bin/python3 -m pytest"
VELTRANE_BUILD_DIR="$(cd "$build_dir" && pwd)" exec $pytest -q -p no:cacheprovider tests/e2e/colord "$@"

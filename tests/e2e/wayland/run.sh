#!/usr/bin/env bash
# End-to-end tests of the Linux program on real Wayland compositors (pytest):
# headless sway at scales 1 to 3 with live changes, XWayland beside it, and
# Weston on its X11 backend. Builds what they need, and our screencopy client
# at set-up from Debian's wlroots sources (scripts/debian-source.sh).
#   VELTRANE_BUILD_DIR           build folder (default build/linux)
#   VELTRANE_E2E_DISPLAYS        X display numbers for Weston's Xvfb (default 190-193)
#   VELTRANE_E2E_RUNTIME_PREFIX  prefix of the private XDG_RUNTIME_DIRs
set -euo pipefail
cd "$(dirname "$0")/../../.."

export VELTRANE_BUILD_DIR="${VELTRANE_BUILD_DIR:-build/linux}"
if [ "$VELTRANE_BUILD_DIR" = build/linux ]; then
  cmake --preset linux >/dev/null
else
  cmake --preset linux -B "$VELTRANE_BUILD_DIR" >/dev/null
fi
cmake --build "$VELTRANE_BUILD_DIR" --target veltrane veltrane-render veltrane-lut

. tests/e2e/common/pytest_suite.sh
run_pytest_suite wayland tests/e2e/wayland "$@"

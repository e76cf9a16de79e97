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

if python3 -c 'import pytest' 2>/dev/null; then
  pytest=(python3 -m pytest)
elif [ -x /usr/bin/python3 ] && /usr/bin/python3 -c 'import pytest' 2>/dev/null; then
  pytest=(/usr/bin/python3 -m pytest)
else
  echo "pytest is missing: install python3-pytest (scripts/install-deps.sh does)" >&2
  exit 1
fi

artifacts="$(mktemp -d "${TMPDIR:-/tmp}/veltrane-wayland-artifacts.XXXXXX")"
export VELTRANE_E2E_ARTIFACTS="$artifacts"
status=0
"${pytest[@]}" -p no:cacheprovider -rA tests/e2e/wayland "$@" || status=$?
if [ "$status" -eq 5 ]; then
  echo "No test was selected: that counts as a failure." >&2
fi
if [ "$status" -ne 0 ] && [ -n "$(ls -A "$artifacts")" ]; then
  echo "Images of the failed comparisons: $artifacts"
else
  rm -rf "$artifacts"
fi
exit "$status"

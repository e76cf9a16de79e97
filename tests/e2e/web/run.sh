#!/usr/bin/env bash
# The browser edition end to end in a real, headless Chromium (Debian's
# chromium and chromium-driver through python3-selenium), under pytest:
# builds the site (web preset) and the references veltrane-render and
# veltrane-lut (linux preset), then runs the tests of this folder at device
# scale factors 1, 1.5 and 2, one browser per ratio, the site served on
# 127.0.0.1 by the tests themselves. The measurements (key to canvas, first
# page, site size) are printed at the end and kept in build/web/e2e-web-report.txt.
# Arguments go to pytest (-k NAME, -x, -v).
#   VELTRANE_E2E_PORTS     ports for the site and chromedriver, FIRST-LAST (default 8100-8199)
#   VELTRANE_WEB_RATIOS    device scale factors (default 1,1.5,2)
#   VELTRANE_WEB_BUILD_DIR, VELTRANE_LINUX_BUILD_DIR   other build folders
#   VELTRANE_E2E_SKIP_BUILD=1   use what is built
set -euo pipefail
cd "$(dirname "$0")/../../.."

export VELTRANE_WEB_BUILD_DIR="${VELTRANE_WEB_BUILD_DIR:-build/web}"
export VELTRANE_LINUX_BUILD_DIR="${VELTRANE_LINUX_BUILD_DIR:-build/linux}"
if [ -z "${VELTRANE_E2E_SKIP_BUILD:-}" ]; then
  cmake --preset web -B "$VELTRANE_WEB_BUILD_DIR" >/dev/null
  cmake --build "$VELTRANE_WEB_BUILD_DIR" --target veltrane_site
  cmake --preset linux -B "$VELTRANE_LINUX_BUILD_DIR" >/dev/null
  cmake --build "$VELTRANE_LINUX_BUILD_DIR" --target veltrane-render veltrane-lut
fi

# Debian's pytest and selenium belong to the system's Python, which may not
# be the first python3 on the PATH.
python=/usr/bin/python3
if ! "$python" -c 'import pytest, selenium' 2>/dev/null; then
  echo "pytest or selenium is missing: install python3-pytest python3-selenium (scripts/install-deps.sh does)" >&2
  exit 1
fi

artifacts="$(mktemp -d "${TMPDIR:-/tmp}/veltrane-web-artifacts.XXXXXX")"
export VELTRANE_E2E_ARTIFACTS="$artifacts"
status=0
# -p no:cacheprovider: no .pytest_cache in the source tree.
"$python" -m pytest -p no:cacheprovider -rA tests/e2e/web "$@" || status=$?
if [ "$status" -eq 5 ]; then
  echo "No test was selected: that counts as a failure." >&2
fi
if [ "$status" -ne 0 ] && [ -n "$(ls -A "$artifacts")" ]; then
  echo "Images of the failed comparisons: $artifacts"
else
  rm -rf "$artifacts"
fi
exit "$status"

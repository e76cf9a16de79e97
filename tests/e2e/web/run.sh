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

. tests/e2e/common/pytest_suite.sh
export VELTRANE_E2E_PYTHON_MODULES=selenium
run_pytest_suite web tests/e2e/web "$@"

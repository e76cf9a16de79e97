#!/usr/bin/env bash
# End-to-end tests of the Windows program under Wine on a private Xvfb, run by
# pytest (Debian's python3-pytest). Builds veltrane.exe (windows preset) and
# the headless reference renderer (linux preset), then runs
# test_windows_program.py, whose fixtures start their own X server and Wine
# prefix (in a fresh temporary folder) and remove both afterwards.
#
# Build folders default to the presets' own; a developer working next to
# others can point them elsewhere:
#   VELTRANE_WINDOWS_BUILD_DIR=build/mine-windows VELTRANE_LINUX_BUILD_DIR=build/mine-linux tests/e2e/windows/run.sh
# VELTRANE_E2E_DISPLAYS lists the X display numbers it may use (default 91,92,93,94).
# VELTRANE_WINE_RENDERER=gdi makes Wine's DirectDraw use its GDI renderer (for
# an X server without GLX); by default Wine picks OpenGL.
# Further arguments go to pytest, for example -k escape or -x.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../../.." && pwd)"
cd "$root"

windows_dir="${VELTRANE_WINDOWS_BUILD_DIR:-build/windows}"
linux_dir="${VELTRANE_LINUX_BUILD_DIR:-build/linux}"

for tool in wine wineboot wineserver Xvfb xdotool import convert python3 cmake; do
  command -v "$tool" >/dev/null || { echo "missing: $tool (scripts/install-deps.sh installs it)"; exit 2; }
done
# pytest from whichever Python has it: python3 may be another interpreter
# than Debian's, whose python3-pytest provides pytest-3.
if python3 -c 'import pytest' 2>/dev/null; then
  pytest=(python3 -m pytest)
elif command -v pytest-3 >/dev/null; then
  pytest=(pytest-3)
else
  echo "missing: pytest (scripts/install-deps.sh installs python3-pytest)"
  exit 2
fi

echo "Building veltrane.exe in $windows_dir"
cmake --preset windows -B "$windows_dir" >/dev/null
cmake --build "$windows_dir" -j2 --target veltrane
echo "Building veltrane-render in $linux_dir"
cmake --preset linux -B "$linux_dir" >/dev/null
cmake --build "$linux_dir" -j2 --target veltrane-render

artifacts="$windows_dir/e2e-windows-artifacts"
rm -rf "$artifacts"
status=0
# No byte-code or cache folders in the source tree.
PYTHONDONTWRITEBYTECODE=1 "${pytest[@]}" -p no:cacheprovider -v -rA "$here" \
  --windows-exe "$windows_dir/veltrane.exe" \
  --windows-render "$linux_dir/tools/veltrane-render" \
  --windows-artifacts "$artifacts" \
  --windows-displays "${VELTRANE_E2E_DISPLAYS:-91,92,93,94}" \
  "$@" || status=$?
if [ "$status" -eq 5 ]; then
  echo "pytest collected no tests: that is a failure"
  status=1
fi
if [ "$status" -ne 0 ] && [ -d "$artifacts" ]; then
  echo "Screenshots of the failed comparisons: $artifacts"
fi
exit "$status"

#!/usr/bin/env bash
# End-to-end tests of the Windows programs under Wine, run by pytest (Debian's
# python3-pytest). Builds veltrane.exe and veltrane-lut.exe (windows preset),
# the headless reference renderer and veltrane-lut (linux preset), then runs
# test_windows_program.py on a private Xvfb and test_windows_lut.py on that
# Xvfb and on Xorg with the dummy driver (for the gamma ramp; as root). The
# fixtures start their own X servers and Wine prefixes (in fresh temporary
# folders) and remove them afterwards.
#
# Build folders default to the presets' own; a developer working next to
# others can point them elsewhere:
#   VELTRANE_WINDOWS_BUILD_DIR=build/mine-windows VELTRANE_LINUX_BUILD_DIR=build/mine-linux tests/e2e/windows/run.sh
# VELTRANE_E2E_DISPLAYS lists the X display numbers it may use (default 91,92,93,94; it takes two).
# VELTRANE_WINE_RENDERER=gdi makes Wine's DirectDraw use its GDI renderer (for
# an X server without GLX); by default Wine picks OpenGL.
# Further arguments go to pytest, for example -k escape or -x.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../../.." && pwd)"
cd "$root"

windows_dir="${VELTRANE_WINDOWS_BUILD_DIR:-build/windows}"
linux_dir="${VELTRANE_LINUX_BUILD_DIR:-build/linux}"

for tool in wine wineboot wineserver Xvfb Xorg xdotool import convert iccdump iccvcgt python3 cmake; do
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

echo "Building veltrane.exe and veltrane-lut.exe in $windows_dir"
cmake --preset windows -B "$windows_dir" >/dev/null
cmake --build "$windows_dir" -j2 --target veltrane veltrane-lut
echo "Building veltrane-render and veltrane-lut in $linux_dir"
cmake --preset linux -B "$linux_dir" >/dev/null
cmake --build "$linux_dir" -j2 --target veltrane-render veltrane-lut

artifacts="$windows_dir/e2e-windows-artifacts"
rm -rf "$artifacts"
status=0
# No byte-code or cache folders in the source tree.
PYTHONDONTWRITEBYTECODE=1 "${pytest[@]}" -p no:cacheprovider -v -rA "$here" \
  --windows-exe "$windows_dir/veltrane.exe" \
  --windows-lut "$windows_dir/veltrane-lut.exe" \
  --windows-render "$linux_dir/tools/veltrane-render" \
  --linux-lut "$linux_dir/tools/veltrane-lut" \
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

#!/usr/bin/env bash
# End-to-end test of the Windows program under Wine on a private Xvfb.
# Builds veltrane.exe (windows preset) and the headless reference renderer
# (linux preset), then runs windows_e2e.py, which starts its own X server and
# Wine prefix and removes both afterwards.
#
# Build folders default to the presets' own; a developer working next to
# others can point them elsewhere:
#   VELTRANE_WINDOWS_BUILD_DIR=build/mine-windows VELTRANE_LINUX_BUILD_DIR=build/mine-linux tests/e2e/windows/run.sh
# VELTRANE_E2E_DISPLAYS lists the X display numbers it may use (default 91,92,93,94).
# VELTRANE_WINE_RENDERER=gdi makes Wine's DirectDraw use its GDI renderer (for
# an X server without GLX); by default Wine picks OpenGL.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../../.." && pwd)"
cd "$root"

windows_dir="${VELTRANE_WINDOWS_BUILD_DIR:-build/windows}"
linux_dir="${VELTRANE_LINUX_BUILD_DIR:-build/linux}"

for tool in wine wineboot wineserver Xvfb xdotool import convert python3 cmake; do
  command -v "$tool" >/dev/null || { echo "missing: $tool (scripts/install-deps.sh installs it)"; exit 2; }
done

echo "Building veltrane.exe in $windows_dir"
cmake --preset windows -B "$windows_dir" >/dev/null
cmake --build "$windows_dir" -j2 --target veltrane
echo "Building veltrane-render in $linux_dir"
cmake --preset linux -B "$linux_dir" >/dev/null
cmake --build "$linux_dir" -j2 --target veltrane-render

artifacts="$windows_dir/e2e-windows-artifacts"
rm -rf "$artifacts"
exec python3 "$here/windows_e2e.py" \
  --exe "$windows_dir/veltrane.exe" \
  --render "$linux_dir/tools/veltrane-render" \
  --artifacts "$artifacts" \
  --displays "${VELTRANE_E2E_DISPLAYS:-91,92,93,94}"

#!/usr/bin/env bash
# Runs Veltrane on this machine. Installs what is missing, builds the Linux
# program and veltrane-render from the linux preset, then:
# - with a display: starts the program full screen (Escape leaves it);
# - without one: writes the 21 test pages at 1920x1080, with the calibration
#   stored by the program (or neutral values when there is none yet), into a
#   folder, and says where. VELTRANE_PAGES_DIR chooses that folder.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset linux >/dev/null
cmake --build --preset linux --target veltrane veltrane-render

has_display() {
  if [ -n "${WAYLAND_DISPLAY:-}" ] && [ -S "${XDG_RUNTIME_DIR:-/nonexistent}/${WAYLAND_DISPLAY}" ]; then
    return 0
  fi
  [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1
}

if has_display; then
  exec build/linux/veltrane
fi

settings="${XDG_CONFIG_HOME:-$HOME/.config}/Kardo/Orlith.conf"
case "${XDG_CONFIG_HOME:-}" in /*|"") ;; *) settings="$HOME/.config/Kardo/Orlith.conf" ;; esac
pages="${VELTRANE_PAGES_DIR:-$PWD/build/pages}"
settings_option=()
source_note="neutral values (no stored calibration yet)"
if [ -f "$settings" ]; then
  settings_option=(--settings "$settings")
  source_note="the calibration in $settings"
fi

build/linux/tools/veltrane-render --width 1920 --height 1080 "${settings_option[@]}" --output "$pages"
echo "No display found, so the program was not started."
echo "Wrote the 21 test pages at 1920x1080 with $source_note to:"
echo "  $pages/page-00.png .. page-20.png"

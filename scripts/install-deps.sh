#!/usr/bin/env bash
# Installs everything Veltrane needs to build, run and test on Debian 12.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ pkg-config
  # unit tests and benchmarks
  libgtest-dev libbenchmark-dev
  # the Linux program and its tools
  libsdl2-dev libfreetype-dev libfontconfig-dev fonts-dejavu-core libpng-dev libcli11-dev
  # the Linux program's own Wayland presentation (wayland-scanner comes with libwayland-dev)
  libwayland-dev wayland-protocols
  # veltrane-lut: ICC profiles and the X11 display's gamma ramps; GIO for colord
  liblcms2-dev libxrandr-dev libglib2.0-dev
  # the Windows program, cross-built and run under Wine; Little CMS for it
  # comes from Debian's source package (scripts/debian-source.sh, dpkg-dev)
  g++-mingw-w64-x86-64 mingw-w64 wine wine64
  # the Windows tools' gamma ramp under Wine: Xorg with the dummy driver,
  # whose XFree86-VidModeExtension ramp the tests read with libXxf86vm
  xserver-xorg-core xserver-xorg-video-dummy libxxf86vm1
  # end-to-end tests on a virtual display
  xvfb xauth xdotool x11-utils imagemagick python3 python3-pytest libxfixes3
  # end-to-end tests on real Wayland compositors: headless sway with wtype and
  # XWayland, Weston on its X11 backend; our clients are built with cc
  sway wtype xwayland weston gcc
  # veltrane-lut's tests: xrandr, and argyll's ICC readers
  x11-xserver-utils argyll
  # the colord tests: a real colord (and colormgr) on a private system bus, GIO for Python
  colord dbus python3-gi
  # manual pages, the .deb and the checks of what gets installed
  scdoc gzip dpkg-dev file lintian desktop-file-utils appstream man-db
  # fuzzing the settings reader with libFuzzer under the sanitizers
  clang-14 libfuzzer-14-dev libclang-rt-14-dev
  # the browser edition: emscripten (with node for its unit tests), Debian's
  # source packages of FreeType and Little CMS (dpkg-source, above), and its
  # tests in a real Chromium through Selenium
  emscripten nodejs chromium chromium-driver python3-selenium
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"

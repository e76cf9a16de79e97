#!/usr/bin/env bash
# Prepares a Wine prefix once, so the first test under Wine does not pay for
# (or time out during) Wine's own first-run set-up.
#
# It also fixes the screen's default font, which the caption is drawn in.
# Without Windows' own fonts Wine stands in a host font for it, and which one
# depends on the font packages the machine happens to have (Liberation Sans
# with fonts-liberation, DejaVu Sans without). The prefix names DejaVu Sans
# (fonts-dejavu-core, which scripts/install-deps.sh installs), so the tests
# draw with the same font on every machine.
#
# And it turns off Wine's crash dialog, which would otherwise wait for ever
# for a click when a program under test crashes.
set -euo pipefail
export WINEDEBUG=-all
export WINEPREFIX="${WINEPREFIX:-$HOME/.wine}"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Creating the Wine prefix in $WINEPREFIX"
  DISPLAY= timeout 300 wineboot --init >/dev/null 2>&1 || true
  timeout 120 wineserver -w || true
fi
if ! grep -qx '"System"="DejaVu Sans"' "$WINEPREFIX/user.reg" 2>/dev/null; then
  DISPLAY= timeout 120 wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v System /t REG_SZ \
    /d 'DejaVu Sans' /f >/dev/null
  timeout 120 wineserver -w || true
fi
if ! grep -qx '"ShowCrashDialog"=dword:00000000' "$WINEPREFIX/user.reg" 2>/dev/null; then
  DISPLAY= timeout 120 wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD \
    /d 0 /f >/dev/null
  timeout 120 wineserver -w || true
fi

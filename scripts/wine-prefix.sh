#!/usr/bin/env bash
# Prepares a Wine prefix once, so the first test under Wine does not pay for
# (or time out during) Wine's own first-run set-up.
set -euo pipefail
export WINEDEBUG=-all
export WINEPREFIX="${WINEPREFIX:-$HOME/.wine}"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Creating the Wine prefix in $WINEPREFIX"
  DISPLAY= wineboot --init >/dev/null 2>&1 || true
  wineserver -w || true
fi

#!/usr/bin/env bash
# Starts Tidewell under Wine. With a display it runs there; without one it starts a virtual
# display, waits for the main window, saves a screenshot under build/ and ends the program.
set -uo pipefail
cd "$(dirname "$0")/.."
source scripts/wine-env.sh
tw_ensure_prefix
exe="build/win/bin/Tidewell.exe"

if [ -n "${DISPLAY:-}" ]; then
  exec wine "$exe" "$@"
fi

shot="$TW_ROOT/build/tidewell-screenshot.png"
rm -f "$shot"
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  wineserver -p
  wine cmd /c exit >/dev/null 2>&1
  wine "$1" &
  for i in $(seq 1 60); do
    if xwininfo -root -tree 2>/dev/null | grep -q "\"Tidewell\""; then break; fi
    sleep 0.5
  done
  sleep 2
  import -window root "$2"
  wineserver -k
' run "$exe" "$shot"
if [ -f "$shot" ]; then
  echo "Tidewell ran on a virtual display; screenshot saved to $shot"
else
  echo "Tidewell did not show its window; no screenshot was taken" >&2
  exit 1
fi

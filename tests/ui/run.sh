#!/usr/bin/env bash
# Runs the window tests in a private copy of the Wine prefix (its own wineserver on this DISPLAY, its
# own LogPixels): everything at 96 dpi, then the geometry and the pictures again at 144 dpi.
# Needs DISPLAY (an X screen of 1280x1024).
set -u
exe=$1
. "$(dirname "$0")/../support/run_helpers.sh"
use_private_prefix

set_dpi() {
  "$root/scripts/wine-run" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
}

# The reference update server for the real run.
start_update_server

status=0
set_dpi 96
ZANDOR_TEST_DPI=96 "$root/scripts/wine-run" "$exe" || status=1
set_dpi 144
ZANDOR_TEST_DPI=144 "$root/scripts/wine-run" "$exe" --gtest_filter='Geometry.*:Screenshots.*' || status=1

# The pictures as PNG too, when ImageMagick is there.
if command -v convert >/dev/null; then
  for bmp in "$(dirname "$(dirname "$exe")")"/ui_screenshots/*.bmp; do
    [ -f "$bmp" ] && convert "$bmp" "${bmp%.bmp}.png" 2>/dev/null
  done
fi
exit $status

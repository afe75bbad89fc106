#!/usr/bin/env bash
# Runs the window tests: once on the shared prefix (96 dpi), then the geometry again at 144 dpi in a
# private copy of the prefix whose LogPixels is 144. Needs DISPLAY (an X screen of 1280x1024).
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
exe=$1
shared="${WINEPREFIX:-$root/build/wineprefix}"

status=0
WINEPREFIX="$shared" ZANDOR_TEST_DPI=96 "$root/scripts/wine-run" "$exe" || status=1

# The private prefix: registry and user files copied, the large Windows folder hard-linked.
private=$(mktemp -d)
cleanup() {
  WINEPREFIX="$private/prefix" wineserver -k 2>/dev/null
  rm -rf "$private"
}
trap cleanup EXIT
mkdir -p "$private/prefix/drive_c"
cp -a "$shared"/*.reg "$shared/dosdevices" "$private/prefix/"
for item in "$shared"/drive_c/*; do
  if [ "$(basename "$item")" = windows ]; then
    cp -al "$item" "$private/prefix/drive_c/"
  else
    cp -a "$item" "$private/prefix/drive_c/"
  fi
done
export WINEPREFIX="$private/prefix"
"$root/scripts/wine-run" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f >/dev/null 2>&1
ZANDOR_TEST_DPI=144 "$root/scripts/wine-run" "$exe" --gtest_filter='Geometry.*:Screenshots.*' || status=1
exit $status

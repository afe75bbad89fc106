#!/usr/bin/env bash
# Runs the window tests in a private copy of the Wine prefix (its own wineserver on this DISPLAY, its
# own LogPixels): everything at 96 dpi, then the geometry and the pictures again at 144 dpi.
# Needs DISPLAY (an X screen of 1280x1024).
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
exe=$1
shared="${WINEPREFIX:-$root/build/wineprefix}"

# The copy: registry and small folders copied, the large Windows folder hard-linked.
private=$(mktemp -d)
prefix="$private/prefix"
cleanup() {
  WINEPREFIX="$prefix" wineserver -k 2>/dev/null
  rm -rf "$private"
}
trap cleanup EXIT
mkdir -p "$prefix/drive_c"
cp -a "$shared"/*.reg "$shared/.update-timestamp" "$shared/dosdevices" "$prefix/"
for item in "$shared"/drive_c/*; do
  if [ "$(basename "$item")" = windows ]; then
    cp -al "$item" "$prefix/drive_c/"
  else
    cp -a "$item" "$prefix/drive_c/"
  fi
done
export WINEPREFIX="$prefix"

set_dpi() {
  "$root/scripts/wine-run" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
}

# Unmanaged windows: without a window manager, hiding a managed window waits 2 s for one.
"$root/scripts/wine-run" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1

# The reference update server for the real run, on free loopback ports.
/usr/bin/python3 "$root/tests/peers/update_server.py" --ports-file "$private/ports" &
server=$!
for _ in $(seq 100); do
  [ -f "$private/ports" ] && break
  sleep 0.1
done
if [ -f "$private/ports" ]; then
  read -r service_port control_port < "$private/ports"
  export ZANDOR_UPDATE_PORT="$service_port" ZANDOR_UPDATE_CONTROL_PORT="$control_port"
else
  echo "run.sh: the reference update server did not start" >&2
fi

status=0
set_dpi 96
ZANDOR_TEST_DPI=96 "$root/scripts/wine-run" "$exe" || status=1
kill "$server" 2>/dev/null
wait "$server" 2>/dev/null
set_dpi 144
ZANDOR_TEST_DPI=144 "$root/scripts/wine-run" "$exe" --gtest_filter='Geometry.*:Screenshots.*' || status=1

# The pictures as PNG too, when ImageMagick is there.
if command -v convert >/dev/null; then
  for bmp in "$(dirname "$(dirname "$exe")")"/ui_screenshots/*.bmp; do
    [ -f "$bmp" ] && convert "$bmp" "${bmp%.bmp}.png" 2>/dev/null
  done
fi
exit $status

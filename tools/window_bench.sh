#!/usr/bin/env bash
# tools/window_bench.sh [OUT_DIR]: builds the launcher with the test configuration and the window
# benchmark against its library, then runs the benchmark under Wine on a private X screen (or on
# DISPLAY when set): start to first painted page against a minimal window, one paint, the background
# build, and the CPU while the main page counts down.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/build/bench}
build="$out/window_build"
"$root/scripts/build" "$build" -C "$root/tests/test_config.cmake" >/dev/null
sodium="$root/build/deps/libsodium-i686"
i686-w64-mingw32-g++-posix -std=c++17 -O2 -fno-exceptions -fno-rtti -static -DSODIUM_STATIC=1 \
  -DWINVER=0x0601 -D_WIN32_WINNT=0x0601 -I "$root/src" -I "$build/generated" -I "$sodium/include" \
  "$root/tools/window_bench.cpp" "$build/libzandor.a" "$sodium/lib/libsodium.a" \
  -lws2_32 -lwininet -ladvapi32 -lcrypt32 -lshell32 -lole32 -luuid -lcomctl32 -lcomdlg32 -lgdi32 -luser32 \
  -lmsimg32 -lversion -o "$out/window_bench.exe"

work=$(mktemp -d)
xvfb=""
cleanup() {
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
if [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 90 120); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then export DISPLAY=":$n"; break; fi
  done
  Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
  sleep 1
fi
cp "$build/ZANDOR Launcher.exe" "$work/"
export WINEPREFIX="${WINEPREFIX:-$root/build/wineprefix}"
"$root/scripts/wine-run" "$out/window_bench.exe" "Z:${work//\//\\}\\ZANDOR Launcher.exe"

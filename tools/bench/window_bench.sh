#!/usr/bin/env bash
# tools/bench/window_bench.sh [OUT_DIR]: builds the launcher with the test configuration and the window
# benchmark against its library, then runs the benchmark under Wine on a private X screen (or on
# DISPLAY when set): start to first painted page against a minimal window, one paint, the background
# build, and the CPU while the main page counts down.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
out=${1:-$root/build/bench}
# The launcher and its library with the test configuration, shared with the other benchmarks.
source "$root/tools/bench/common.sh"
build=$(bench_library "$root" "$out")
bench_link "$root" "$build" "$out/window_bench.exe" "$root/tools/bench/window_bench.cpp"

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

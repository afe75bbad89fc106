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
bench_link "$root" "$build" "$out/window_bench.exe" -I "$root/tests" "$root/tools/bench/window_bench.cpp"

work=$(mktemp -d)
xvfb=""
cleanup() {
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
if [ -z "${DISPLAY:-}" ]; then
  start_xvfb
  xvfb=$xvfb_pid
fi
cp "$build/ZANDOR Launcher.exe" "$work/"
export WINEPREFIX="${WINEPREFIX:-$root/build/wineprefix}"
"$root/scripts/wine-run" "$out/window_bench.exe" "$(windows_path "$work/ZANDOR Launcher.exe")"

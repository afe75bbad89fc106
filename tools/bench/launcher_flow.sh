#!/usr/bin/env bash
# tools/bench/launcher_flow.sh [OUT_DIR]: the launcher's start and log-in figures, with the launcher
# built with the test configuration, the reference account and update servers on their fixed loopback
# ports (20293, 20292) with a small release signed with a test key (the demo's release), a game folder
# with the stand-in game and the server already chosen, on a private X screen and Wine prefix.
#  - From the process start to the game's process on a start with a saved log-in and nothing to
#    update, the 3 s countdown taken off, and the launcher's own CPU time in it (best of 3 starts).
#  - One poll of the browser log-in (wall and client CPU, averaged over 100), and the launcher's CPU
#    over 10 s while it waits for the browser.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
out=${1:-$root/build/bench}
# shellcheck source=common.sh
source "$root/tools/bench/common.sh"
py=/usr/bin/python3
mkdir -p "$out"

# The launcher's ports are fixed: wait up to 3 minutes for a demo or test run that holds them.
if ! wait_until_ports_free 180 20293 20292; then
  echo "launcher bench: ports 20292/20293 on 127.0.0.1 stay in use (a demo or test run?): not measured"
  record "launcher start and log-in poll" "not measured (ports 20292/20293 in use)" "-" "-"
  exit 0
fi

build=$(bench_library "$root" "$out")
bench_link "$root" "$build" "$out/poll_bench.exe" "$root/tools/bench/poll_bench.cpp"

work=$(mktemp -d /tmp/zandor-bench-flow.XXXXXX)
pids=()
prefix="$work/prefix"
cleanup() {
  WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
  stop_processes "${pids[@]}"
  rm -rf "$work"
}
trap cleanup EXIT

# ---- the services ---------------------------------------------------------------------------------
"$py" "$root/tests/peers/account_server.py" --port-file "$work/account.ports" \
      --key-file "$root/tests/peers/account_test_key.txt" --link-port 20293 2>"$work/account.err" &
pids+=($!)
"$py" "$root/tests/peers/update_server.py" --ports-file "$work/update.ports" --port 20292 2>"$work/update.err" &
pids+=($!)
wait_for_file "$work/account.ports" 10 && wait_for_file "$work/update.ports" 10 || {
  echo "launcher bench: the reference servers did not start" >&2
  exit 1
}
read -r _ account_control < "$work/account.ports"
read -r _ update_control < "$work/update.ports"
"$py" "$root/tools/demo/services.py" make-release --out "$work/release" >/dev/null
"$py" "$root/tools/sign_manifest.py" sign --key "$root/tests/updates/keys/test_release_1.key" \
      --release-folder "$work/release" --out "$work/manifest.txt" >/dev/null
"$py" "$root/tools/demo/services.py" load-release --control "$update_control" --manifest "$work/manifest.txt" \
      --release-folder "$work/release"

# ---- one poll --------------------------------------------------------------------------------------
"$py" - "$account_control" "$root/tests/peers" <<'PY'
import sys
sys.path.insert(0, sys.argv[2])
from control_client import control
control(sys.argv[1], ["RESET",
                      "ANSWER WEBLOGIN " + "\t".join(["REQUEST", "bench-request", "bench-poll-key", "ZND-0000",
                                                      "http://127.0.0.1:20294/login", "600000"]).encode().hex(),
                      "DEFAULT WEBPOLL " + b"PENDING".hex()], who="launcher_flow bench", timeout=10)
PY
export WINEPREFIX="${WINEPREFIX:-$root/build/wineprefix}"
ZANDOR_ACCOUNT_PORT=20293 "$root/scripts/wine-run" "$out/poll_bench.exe" | tr -d '\r' > "$work/poll.out"
poll_ms=$(figure poll_ms "$work/poll.out")
poll_cpu=$(figure poll_cpu_ms "$work/poll.out")

# ---- a private screen and prefix -------------------------------------------------------------------
if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
  start_xvfb
  pids+=("$xvfb_pid")
fi
if [ "$bench_arch" = x86_64 ]; then
  # The x86-64 build: its own 64-bit prefix and loader, for everything run from here on.
  shared64="${WINEPREFIX64:-$root/build/wineprefix64}"
  "$root/scripts/make-prefix" --64 "$shared64"
  copy_wine_prefix "$shared64" "$prefix"
  export WINEPREFIX64="$prefix" ZANDOR_WINE64=1 WINELOADER=/usr/lib/wine/wine64 BENCH_WINE=/usr/lib/wine/wine64
else
  copy_wine_prefix "$WINEPREFIX" "$prefix"
fi
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineserver -p  # stays up between the starts, so that no start pays for it
# Unmanaged windows (no window manager here); the browser page is not opened.
keep_windows_unmanaged
open_no_browser

game="$work/game"
mkdir -p "$game/ombrix_data/updates"
cp "$build/ZANDOR Launcher.exe" "$game/"
cp "$build/test_tools/stub_game.exe" "$game/pes6.exe"
printf '[online]\r\nserver=127.0.0.1\r\n[sync]\r\nhost=127.0.0.1\r\n' > "$game/zandor.ini"

"$py" "$root/tools/bench/launcher_flow.py" --game "$game" --account-control "$account_control" \
      --out "$work/flow.out"
start_ms=$(figure start_ms "$work/flow.out")
start_cpu=$(figure start_cpu_ms "$work/flow.out")
wait_cpu=$(figure wait_cpu_ms "$work/flow.out")
wait_wall=$(figure wait_wall_ms "$work/flow.out")
wait_polls=$(figure wait_polls "$work/flow.out")
wait_connections=$(figure wait_connections "$work/flow.out")
own_ms=$(calc "$start_ms - 3000" "%.0f")
share=$(calc "100 * $start_cpu / $own_ms" "%.0f")
sed -n 's/^@start_round \([0-9]*\) \([0-9]*\)/start with a saved log-in: game process after \1 ms, launcher CPU \2 ms/p' "$work/flow.out"
echo "start with a saved log-in and nothing to update (best of 3): double-click to the game's process" \
     "$start_ms ms; without the 3 s countdown $own_ms ms, of which the launcher's own CPU $start_cpu ms ($share %)"
echo "one poll of the browser log-in: $poll_ms ms, client CPU $poll_cpu ms (average of 100)"
echo "launcher waiting for the browser: $wait_cpu ms CPU in $wait_wall ms ($wait_polls WEBPOLL requests" \
     "among $wait_connections connections to the account server)" \
     "= $(calc "100 * $wait_cpu / $wait_wall") %"
record "start, saved log-in, nothing to update (no countdown)" \
       "$own_ms ms, launcher CPU $start_cpu ms ($share %)" "-" "-"
record "one poll of the browser log-in" "$poll_ms ms, client CPU $poll_cpu ms" "-" "-"
record "CPU while waiting for the browser" \
       "$wait_cpu ms in $wait_wall ms ($(calc "100 * $wait_cpu / $wait_wall") %, $wait_polls polls)" "-" "-"

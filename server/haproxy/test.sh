#!/usr/bin/env bash
# server/haproxy/test.sh BUILD: the launcher of a test build (BUILD/ZANDOR Launcher.exe, under Wine)
# updates through HAProxy (server/haproxy/zandor-update.cfg on the launcher's port 20292) in front of two
# zandor-update-server instances. The instance that serves the download is killed in the middle of it:
# that run ends with its .part file kept, and the next run resumes the file through the other instance
# and places the client DLL whole. The reference account server (the PC is known: the log-in is
# silent) and web site run on the other fixed ports. Run it under `flock /tmp/zandor-ports.lock`.
set -u
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: server/haproxy/test.sh BUILD}" && pwd)
exe="$build/ZANDOR Launcher.exe"
py=/usr/bin/python3
. "$here/../../tests/support/run_helpers.sh"
work=$private
pids=()
# shellcheck source=fleet.sh
. "$here/fleet.sh"
trap 'stop_processes "${pids[@]}"; stop_helpers' EXIT
say() { echo "haproxy test: $*"; }

[ -f "$exe" ] || fail "no launcher at $exe (build the test configuration first)"
command -v haproxy >/dev/null || fail "no haproxy (scripts/bootstrap installs it)"
server_bin=$(build_update_server "$build/native-server") || fail "zandor-update-server does not build"
[ -x "$server_bin" ] || fail "zandor-update-server does not build"
web_port=$(test_web_port)
wait_for_free_ports 20292 20293 "$web_port"

# The release: a client DLL large enough that its download is still going when the instance dies.
dll_mib=${HAPROXY_TEST_DLL_MIB:-24}
release="$private/release"
mkdir -p "$release/source/dll" "$release/files"
{
  printf 'MZ\220\000'
  head -c 60 /dev/zero
  printf 'ZANDOR-UPDATE-MANIFEST-1\nhaproxy test client build 1\n'
  head -c $((dll_mib << 20)) /dev/urandom
} > "$release/source/dll/d3d8.dll"
printf 'channel client\nrelease 1\npart dll 1 required\n' > "$release/source/release.txt"
"$py" "$root/tools/sign_manifest.py" sign --key "$root/tests/updates/keys/test_release_1.key" \
    --release-folder "$release/source" --out "$release/manifest.txt" >/dev/null || fail "the release is not signed"
dll_size=$(stat -c %s "$release/source/dll/d3d8.dll")
cp "$release/source/dll/d3d8.dll" "$release/files/$(sha512sum "$release/source/dll/d3d8.dll" | cut -d' ' -f1)"

# Two instances, HAProxy in front of them, the account server and the web site.
port[1]=$(free_port)
port[2]=$(free_port)
start_instance instance_1 "${port[1]}" "$release" || fail "instance 1 did not start"
pid[1]=$instance_pid
start_instance instance_2 "${port[2]}" "$release" || fail "instance 2 did not start"
pid[2]=$instance_pid
# Between HAProxy and the instances, the fault proxy caps each connection at 2 MB/s during the first
# run, so that the kill falls in the middle of the download however fast this machine is.
"$py" "$root/tools/faults/fault_proxy.py" --route "instance_1:0:${port[1]}" --route "instance_2:0:${port[2]}" \
    --ports-file "$work/proxy.ports" >>"$work/fault_proxy.log" 2>&1 &
pids+=($!)
wait_for_file "$work/proxy.ports" 60 || fail "the fault proxy did not start"
read -r proxy_control proxy_port[1] proxy_port[2] < "$work/proxy.ports"
"$py" "$root/tests/peers/control_client.py" "$proxy_control" RESET "RATE 2000000" >/dev/null \
  || fail "the fault proxy does not take its rate"
start_haproxy 20292 "127.0.0.1:${proxy_port[1]}" "127.0.0.1:${proxy_port[2]}" || fail "HAProxy did not start"
start_account_server --link-port 20293
"$py" - "$ZANDOR_ACCOUNT_CONTROL" "$root/tests/peers" <<'SCRIPT' || fail "the account server is not scripted"
import base64, sys
sys.path.insert(0, sys.argv[2])
from control_client import control
b64 = lambda text: base64.b64encode(text.encode()).decode()
hexed = lambda text: text.encode().hex()
login = "\t".join(["OK", "pgt1.haproxy-test-0001", "1", "1001", b64("Proxy Player"), "pgm1.HAPROXYTEST000000000001", "v1", ""])
game = "\t".join(["GAME", b64("proxy_player"), b64("kickoff6"), "PROXY-0000-0000-0001"])
control(int(sys.argv[1]), ["RESET", "DEFAULT AUTO " + hexed(login), "DEFAULT RENEW " + hexed(login),
                           "DEFAULT GAMEACCOUNT " + hexed(game)], who="haproxy test")
SCRIPT
"$py" "$root/tools/demo/services.py" make-site --root "$private/site" || fail "no web pages"
start_web_site "$private/site"

# A game folder that holds only the launcher; a private prefix and screen.
game="$private/game"
mkdir -p "$game/ombrix_data/updates"
cp "$exe" "$game/ZANDOR Launcher.exe"
printf '{\n "channel": "client",\n "format": 1\n}\n' > "$game/ombrix_data/updates/installed.json"
use_screen
use_private_prefix
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
part="$game/ombrix_data/updates/staging/dll_v1/d3d8.dll.part"
log="$game/ombrix_data/updates/launcher.log"

# run_launcher: one launcher run to its end (killed after 10 minutes); sets launcher_pid meanwhile.
run_launcher() {
  (cd "$game" && exec wine "$game/ZANDOR Launcher.exe" --no-game) >>"$private/wine.out" 2>&1 &
  launcher_pid=$!
}
wait_launcher() {
  for _ in $(seq 6000); do
    kill -0 "$launcher_pid" 2>/dev/null || { wait "$launcher_pid"; return; }
    sleep 0.1
  done
  say "the launcher did not end within 10 minutes"
  WINEPREFIX="$WINEPREFIX" wineserver -k
  return 1
}

# The instance that serves the launcher's download: the one whose route of the fault proxy passed more
# than a MiB of answers (HAProxy's health checks pass only a hello).
serving_instance() {
  "$py" "$root/tests/peers/control_client.py" "$proxy_control" STATS 2>/dev/null | tr ' ' '\n' \
    | awk -F: '$1 ~ /^instance_[12]$/ && $5 + 0 > 1048576 { sub(/^instance_/, "", $1); print $1; exit }'
}

# ---- first run: the serving instance dies during the download ------------------------------------
say "first run: the launcher downloads a $dll_mib MiB client DLL through HAProxy"
run_launcher
victim=""
for _ in $(seq 3000); do
  size=$(stat -c %s "$part" 2>/dev/null || echo 0)
  if [ "$size" -ge $((2 << 20)) ]; then
    victim=$(serving_instance)
    [ -n "$victim" ] && break
  fi
  kill -0 "$launcher_pid" 2>/dev/null || break
  sleep 0.1
done
[ -n "$victim" ] || { cat "$log" 2>/dev/null; fail "the download was never seen under way on an instance"; }
kill -KILL "${pid[$victim]}"
wait "${pid[$victim]}" 2>/dev/null
say "instance $victim killed at $size bytes of the .part file"
wait_launcher
kept=$(stat -c %s "$part" 2>/dev/null || echo 0)
[ "$kept" -gt 0 ] && [ "$kept" -lt "$dll_size" ] || { cat "$log"; fail "the first run kept no partial file ($kept bytes)"; }
[ ! -f "$game/d3d8.dll" ] || fail "a client DLL was placed by the interrupted run"
grep -q "broke off (it resumes next time)\|closed the connection" "$log" \
  || { cat "$log"; fail "the first run's log does not tell of the broken download"; }
say "the first run ended with $kept of $dll_size bytes in the .part file"

# ---- second run: resumes through the other instance -----------------------------------------------
"$py" "$root/tests/peers/control_client.py" "$proxy_control" RESET >/dev/null || fail "the fault proxy does not reset"
other=$((3 - victim))
: > "$work/instance_$other.log.before"
cp "$work/instance_$other.log" "$work/instance_$other.log.before"
run_launcher
wait_launcher
cmp -s "$game/d3d8.dll" "$release/source/dll/d3d8.dll" || { cat "$log"; fail "the second run did not place the client DLL whole"; }
[ ! -e "$part" ] || fail "the .part file is still there"
# The surviving instance sent less than the whole file on any connection: the run resumed.
most=$(diff "$work/instance_$other.log.before" "$work/instance_$other.log" \
       | sed -n 's/.*ended: .*; \([0-9]*\) bytes sent, \([0-9]*\) pieces.*/\1 \2/p' | sort -n | tail -n 1)
sent=${most%% *}
[ -n "$sent" ] || fail "instance $other logged no connection of the second run"
[ "$sent" -lt "$dll_size" ] || fail "instance $other sent $sent bytes, the whole file: the download started over"
say "the second run resumed through instance $other ($sent bytes sent for $((dll_size - kept)) missing) and placed the DLL"
echo "1 passed, 0 failed"

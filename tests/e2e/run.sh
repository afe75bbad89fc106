#!/usr/bin/env bash
# Runs the end-to-end program: the reference account server, update server and web site on the ports
# the test build uses (20293, 20292 and the web port of tests/test_config.cmake) with the test keys and
# a small signed release, an input agent that clicks, types and takes pictures on the X display, and a
# private copy of the Wine prefix (nothing saved from other runs, unmanaged windows, no browser).
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
exe=$1
shift
py=/usr/bin/python3
build=$(dirname "$(dirname "$exe")")
web_port=$(sed -n 's|.*ZANDOR_WEB_BASE "http://127.0.0.1:\([0-9]*\)".*|\1|p' "$root/tests/test_config.cmake")
shared="${WINEPREFIX:-$root/build/wineprefix}"

private=$(mktemp -d)
pids=()
prefix="$private/prefix"
cleanup() {
  WINEPREFIX="$prefix" wineserver -k 2>/dev/null
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
  rm -rf "$private"
}
trap cleanup EXIT
fail() { echo "run.sh: $*" >&2; exit 1; }
wait_for_file() {
  for _ in $(seq 100); do [ -s "$1" ] && return 0; sleep 0.1; done
  return 1
}

# A screen: the caller's, or a private one.
if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
  for n in $(seq 90 140); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then DISPLAY=":$n"; break; fi
  done
  Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  pids+=($!)
  export DISPLAY
  for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
fi

# The ports are fixed in the launcher: wait a while for another run that holds them (other programs on
# this machine may run a launcher against the reference servers too).
port_busy() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
for _ in $(seq 120); do
  port_busy 20292 || port_busy 20293 || port_busy "$web_port" || break
  sleep 1
done

# The services, with the test build's keys.
site="$private/site"
"$py" "$root/tools/demo/services.py" make-site --root "$site" || fail "no web pages"
"$py" "$root/tools/demo/services.py" make-release --out "$private/release" || fail "no release"
"$py" "$root/tools/sign_manifest.py" sign --key "$root/tests/updates/keys/test_release_1.key" \
     --release-folder "$private/release" --out "$private/manifest.txt" >/dev/null || fail "the release is not signed"
"$py" "$root/tests/peers/account_server.py" --port-file "$private/account.ports" \
     --key-file "$root/tests/peers/account_test_key.txt" --link-port 20293 &
pids+=($!)
"$py" "$root/tests/peers/update_server.py" --ports-file "$private/update.ports" --port 20292 &
pids+=($!)
"$py" "$root/tests/peers/web_site.py" --port "$web_port" --root "$site" --ready-file "$private/web.ready" &
pids+=($!)
"$py" "$here/input_agent.py" --port-file "$private/agent.port" &
pids+=($!)
for f in account.ports update.ports web.ready agent.port; do
  wait_for_file "$private/$f" || fail "a helper did not start ($f): are ports 20292, 20293 and $web_port free?"
done
read -r _ account_control < "$private/account.ports"
read -r _ update_control < "$private/update.ports"
"$py" "$root/tools/demo/services.py" load-release --control "$update_control" --manifest "$private/manifest.txt" \
     --release-folder "$private/release" || fail "the release is not loaded"

# The Wine prefix: registry and small folders copied, the Windows folder hard-linked.
mkdir -p "$prefix/drive_c"
cp -a "$shared"/*.reg "$shared/dosdevices" "$prefix/"
[ -f "$shared/.update-timestamp" ] && cp -a "$shared/.update-timestamp" "$prefix/"
for item in "$shared"/drive_c/*; do
  if [ "$(basename "$item")" = windows ]; then cp -al "$item" "$prefix/drive_c/"; else cp -a "$item" "$prefix/drive_c/"; fi
done
export WINEPREFIX="$prefix"
"$root/scripts/wine-run" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
"$root/scripts/wine-run" reg add 'HKCU\Software\Wine\WineBrowser' /v Browsers /t REG_SZ /d true /f >/dev/null 2>&1

winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
export ZANDOR_ACCOUNT_CONTROL="$account_control" ZANDOR_UPDATE_CONTROL_PORT="$update_control"
export ZANDOR_AGENT_PORT=$(cat "$private/agent.port")
export ZANDOR_E2E_SITE=$(winpath "$site")
export ZANDOR_E2E_RELEASE=$(winpath "$private/release")
export ZANDOR_E2E_SHOTS="$build/e2e_screenshots"
rm -rf "$ZANDOR_E2E_SHOTS"
"$root/scripts/wine-run" "$exe" "$@"

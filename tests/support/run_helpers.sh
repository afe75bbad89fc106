# Shared by the test programs' run scripts (tests/<folder>/run.sh): reference servers started in the
# background and stopped on exit, a private screen and a private copy of the Wine prefix, on top of the
# shell helpers of scripts/lib.sh. Sets root (the repository) and private (a temporary folder of the
# script's own, removed on exit) unless the script set them before.

root=${root:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}
private=${private:-$(mktemp -d)}
. "$root/scripts/lib.sh"

helper_pids=()
private_prefix=""

stop_helpers() {
  [ -n "$private_prefix" ] && WINEPREFIX="$private_prefix" wineserver -k 2>/dev/null
  stop_processes "${helper_pids[@]}"
  rm -rf "$private"
}
trap stop_helpers EXIT

fail() {
  echo "run.sh: $*" >&2
  exit 1
}

# Starts a program in the background; it is stopped when the script ends.
start_helper() {
  "$@" &
  helper_pids+=($!)
}

# A private virtual screen, stopped when the script ends; exports DISPLAY.
start_private_screen() {
  start_xvfb || fail "no private virtual screen could be started"
  helper_pids+=("$xvfb_pid")
}

# A screen: the caller's when it answers, else a private one.
use_screen() {
  if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then start_private_screen; fi
}

# Waits up to ten minutes for loopback ports to be free: the ports fixed in the launcher are shared by
# every run on this machine (other test runs, the demo or the soak).
wait_for_free_ports() {
  wait_until_ports_free 600 "$@" \
    || fail "the ports$ports_still_busy on 127.0.0.1 stay in use (another test run, the demo or the soak?)"
}

# Starts the reference account server on free ports; exports ZANDOR_ACCOUNT_PORT and
# ZANDOR_ACCOUNT_CONTROL.
start_account_server() {
  start_helper /usr/bin/python3 "$root/tests/peers/account_server.py" --port-file "$private/account.ports" \
      --key-file "$root/tests/peers/account_test_key.txt" "$@"
  wait_for_file "$private/account.ports" || fail "the reference account server did not start"
  read -r ZANDOR_ACCOUNT_PORT ZANDOR_ACCOUNT_CONTROL < "$private/account.ports"
  export ZANDOR_ACCOUNT_PORT ZANDOR_ACCOUNT_CONTROL
}

# Starts the reference update server on free ports; exports ZANDOR_UPDATE_PORT and
# ZANDOR_UPDATE_CONTROL_PORT.
start_update_server() {
  start_helper /usr/bin/python3 "$root/tests/peers/update_server.py" --ports-file "$private/update.ports" "$@"
  wait_for_file "$private/update.ports" || fail "the reference update server did not start"
  read -r ZANDOR_UPDATE_PORT ZANDOR_UPDATE_CONTROL_PORT < "$private/update.ports"
  export ZANDOR_UPDATE_PORT ZANDOR_UPDATE_CONTROL_PORT
}

# The web port of the test build.
test_web_port() {
  sed -n 's|.*ZANDOR_WEB_BASE "http://127.0.0.1:\([0-9]*\)".*|\1|p' "$root/tests/test_config.cmake"
}

# Starts the reference web site on the test build's web port, serving the folder $1.
start_web_site() {
  start_helper /usr/bin/python3 "$root/tests/peers/web_site.py" --port "$(test_web_port)" --root "$1" \
      --ready-file "$private/web.ready"
  wait_for_file "$private/web.ready" || fail "the reference web site did not start on port $(test_web_port)"
}

# A private copy of the shared prefix in $private/prefix, with its own wineserver (stopped when the
# script ends) and unmanaged windows. Exports WINEPREFIX.
use_private_prefix() {
  private_prefix="$private/prefix"
  copy_wine_prefix "${WINEPREFIX:-$root/build/wineprefix}" "$private_prefix"
  export WINEPREFIX="$private_prefix"
  keep_windows_unmanaged
}

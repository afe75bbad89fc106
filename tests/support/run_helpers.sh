# Shared by the test programs' run scripts (tests/<folder>/run.sh): reference servers started in the
# background and stopped on exit, waiting for their ready files, and a private copy of the Wine prefix.
# Source it after setting root (the repository) and private (a temporary folder of the script's own).

helper_pids=()
private_prefix=""

stop_helpers() {
  [ -n "$private_prefix" ] && WINEPREFIX="$private_prefix" wineserver -k 2>/dev/null
  for pid in "${helper_pids[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${helper_pids[@]}"; do wait "$pid" 2>/dev/null; done
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

# Waits up to thirty seconds for a file to exist and not be empty (a loaded machine starts servers slowly).
wait_for_file() {
  for _ in $(seq 300); do
    [ -s "$1" ] && return 0
    sleep 0.1
  done
  return 1
}

# A private virtual screen on a free display number, stopped when the script ends; exports DISPLAY.
start_private_screen() {
  local n
  for n in $(seq 90 140); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then DISPLAY=":$n"; break; fi
  done
  start_helper Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1
  export DISPLAY
  for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
}

# A screen: the caller's when it answers, else a private one.
use_screen() {
  if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then start_private_screen; fi
}

# Waits up to ten minutes for loopback ports to be free: the ports fixed in the launcher are shared by
# every run on this machine (other test runs, the demo, the soak).
wait_for_free_ports() {
  local port busy=""
  for _ in $(seq 600); do
    busy=""
    for port in "$@"; do (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && busy="$busy $port"; done
    [ -z "$busy" ] && return 0
    sleep 1
  done
  fail "the ports$busy on 127.0.0.1 stay in use (another test run, the demo or the soak?)"
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

# A Windows path for a Linux one, through Wine's Z: drive.
windows_path() {
  printf 'Z:%s' "$1" | tr / '\\'
}

# A private copy of the shared prefix in $private/prefix (registry and small folders copied, the
# Windows folder hard-linked) with its own wineserver and unmanaged windows (without a window manager,
# hiding a managed window waits two seconds for one). Exports WINEPREFIX.
use_private_prefix() {
  local shared="${WINEPREFIX:-$root/build/wineprefix}"
  private_prefix="$private/prefix"
  mkdir -p "$private_prefix/drive_c"
  cp -a "$shared"/*.reg "$shared/dosdevices" "$private_prefix/"
  [ -f "$shared/.update-timestamp" ] && cp -a "$shared/.update-timestamp" "$private_prefix/"
  local item
  for item in "$shared"/drive_c/*; do
    if [ "$(basename "$item")" = windows ]; then
      cp -al "$item" "$private_prefix/drive_c/"
    else
      cp -a "$item" "$private_prefix/drive_c/"
    fi
  done
  export WINEPREFIX="$private_prefix"
  "$root/scripts/wine-run" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
}

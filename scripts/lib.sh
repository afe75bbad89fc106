# Shell helpers shared by the scripts, the test programs' run scripts and the benchmarks (sourced, not
# run): a private virtual screen, free loopback ports, waiting for a file, Windows paths, and private
# Wine prefixes. Nothing here runs when the file is sourced; each helper leaves the stopping of what it
# started to the caller.

lib_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
xvfb_pid=""
ports_still_busy=""

# Starts a private virtual screen (1280x1024) on a free display number and waits until it answers;
# exports DISPLAY and leaves the server's process id in xvfb_pid. A number that another run takes
# first is passed over. False when no number from 90 to 140 gave a screen.
start_xvfb() {
  local n
  for n in $(seq 90 140); do
    if [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; then continue; fi
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do
      DISPLAY=":$n" xdpyinfo >/dev/null 2>&1 && break
      kill -0 "$xvfb_pid" 2>/dev/null || break
      sleep 0.1
    done
    if kill -0 "$xvfb_pid" 2>/dev/null; then
      export DISPLAY=":$n"
      return 0
    fi
    wait "$xvfb_pid" 2>/dev/null || true
  done
  xvfb_pid=""
  return 1
}

# stop_processes PID...: ends background processes of the caller's and waits until they are gone.
stop_processes() {
  local pid
  for pid in "$@"; do kill "$pid" 2>/dev/null || true; done
  for pid in "$@"; do wait "$pid" 2>/dev/null || true; done
}

# The given loopback ports that something listens on, each after a space ("" when all are free).
busy_ports() {
  local port busy=""
  for port in "$@"; do
    if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then busy="$busy $port"; fi
  done
  printf '%s' "$busy"
}

# wait_until_ports_free SECONDS PORT...: waits up to SECONDS for the loopback ports to be free (the
# ports fixed in the launcher are shared by every run on this machine: tests, the demo, the soak, the
# benchmarks). False when some stay in use; those are in ports_still_busy, each after a space.
wait_until_ports_free() {
  local seconds=$1 waited
  shift
  for waited in $(seq 0 "$seconds"); do
    ports_still_busy=$(busy_ports "$@")
    [ -z "$ports_still_busy" ] && return 0
    if [ "$waited" -lt "$seconds" ]; then sleep 1; fi
  done
  return 1
}

# wait_for_file FILE [SECONDS]: waits up to SECONDS (default 30) for FILE to exist and not be empty (a
# loaded machine starts servers slowly).
wait_for_file() {
  for _ in $(seq $(( ${2:-30} * 10 ))); do
    [ -s "$1" ] && return 0
    sleep 0.1
  done
  return 1
}

# A Windows path for a Linux one, through Wine's Z: drive.
windows_path() {
  printf 'Z:%s' "$1" | tr / '\\'
}

# copy_wine_prefix SHARED DEST: a copy of the Wine prefix SHARED in DEST for a run of its own: the
# registry and the small folders copied, the Windows folder hard-linked (large, and only read).
copy_wine_prefix() {
  local shared=$1 dest=$2 item
  mkdir -p "$dest/drive_c"
  cp -a "$shared"/*.reg "$shared/dosdevices" "$dest/"
  if [ -f "$shared/.update-timestamp" ]; then cp -a "$shared/.update-timestamp" "$dest/"; fi
  for item in "$shared"/drive_c/*; do
    if [ "$(basename "$item")" = windows ]; then
      cp -al "$item" "$dest/drive_c/"
    else
      cp -a "$item" "$dest/drive_c/"
    fi
  done
}

# Unmanaged windows in the prefix of WINEPREFIX: without a window manager, hiding a managed window
# waits two seconds for one.
keep_windows_unmanaged() {
  "$lib_root/scripts/wine-run" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
}

# No browser in the prefix of WINEPREFIX: a page the launcher opens is only logged.
open_no_browser() {
  "$lib_root/scripts/wine-run" reg add 'HKCU\Software\Wine\WineBrowser' /v Browsers /t REG_SZ /d true /f >/dev/null 2>&1
}

#!/usr/bin/env bash
# Runs the end-to-end program: the reference account server, update server and web site on the ports
# the test build uses (20293, 20292 and the web port of tests/test_config.cmake) with the test keys and
# a small signed release, an input agent that clicks, types and takes pictures on the X display, and a
# private copy of the Wine prefix (nothing saved from other runs, unmanaged windows, no browser).
set -u
here=$(cd "$(dirname "$0")" && pwd)
exe=$1
shift
py=/usr/bin/python3
build=$(dirname "$(dirname "$exe")")
. "$here/../support/run_helpers.sh"
web_port=$(test_web_port)

# A screen: the caller's, or a private one.
use_screen

# The ports are fixed in the launcher: wait a while for another run that holds them (other programs on
# this machine may run a launcher against the reference servers too).
wait_for_free_ports 20292 20293 "$web_port"

# The services, with the test build's keys.
site="$private/site"
"$py" "$root/tools/demo/services.py" make-site --root "$site" || fail "no web pages"
"$py" "$root/tools/demo/services.py" make-release --out "$private/release" || fail "no release"
"$py" "$root/tools/sign_manifest.py" sign --key "$root/tests/updates/keys/test_release_1.key" \
     --release-folder "$private/release" --out "$private/manifest.txt" >/dev/null || fail "the release is not signed"
start_account_server --link-port 20293
start_update_server --port 20292
start_web_site "$site"
start_helper "$py" "$here/input_agent.py" --port-file "$private/agent.port"
wait_for_file "$private/agent.port" || fail "the input agent did not start"
"$py" "$root/tools/demo/services.py" load-release --control "$ZANDOR_UPDATE_CONTROL_PORT" --manifest "$private/manifest.txt" \
     --release-folder "$private/release" || fail "the release is not loaded"

# A private prefix: nothing saved from other runs, unmanaged windows, no browser.
use_private_prefix
open_no_browser

export ZANDOR_AGENT_PORT=$(cat "$private/agent.port")
export ZANDOR_E2E_SITE=$(windows_path "$site")
export ZANDOR_E2E_RELEASE=$(windows_path "$private/release")
export ZANDOR_E2E_SHOTS="$build/e2e_screenshots"
rm -rf "$ZANDOR_E2E_SHOTS"
"$root/scripts/wine-run" "$exe" "$@"

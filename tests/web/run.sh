#!/usr/bin/env bash
# Runs the web test program against the reference web site on the test build's web address, serving
# an empty page folder that the tests fill (its Windows path in ZANDOR_WEB_ROOT).
set -u
. "$(dirname "$0")/../support/run_helpers.sh"
mkdir "$private/site"
wait_for_free_ports "$(test_web_port)"
start_web_site "$private/site"
export ZANDOR_WEB_ROOT=$(windows_path "$private/site")
"$root/scripts/wine-run" "$1"

#!/usr/bin/env bash
# Runs the account test program against the reference account server on free loopback ports.
set -u
. "$(dirname "$0")/../support/run_helpers.sh"
start_account_server
"$root/scripts/wine-run" "$1"

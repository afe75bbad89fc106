#!/usr/bin/env bash
# Runs the game setup test program with the reference account server on free loopback ports (the game
# account step asks it for the game's log-in).
set -u
. "$(dirname "$0")/../support/run_helpers.sh"
start_account_server
"$root/scripts/wine-run" "$1"

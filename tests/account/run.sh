#!/usr/bin/env bash
# Runs the account test program against the reference account server on free loopback ports.
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
private=$(mktemp -d)
. "$root/tests/support/run_helpers.sh"
start_account_server
"$root/scripts/wine-run" "$1"

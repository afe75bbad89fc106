#!/usr/bin/env bash
# Runs the updates test program against the reference update server on free loopback ports, with the
# sample release signed by the manifest signer (its Windows path in ZANDOR_SAMPLE_MANIFEST).
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
private=$(mktemp -d)
. "$root/tests/support/run_helpers.sh"
start_update_server
if /usr/bin/python3 "$root/tools/sign_manifest.py" sign --key "$here/keys/test_release_2.key" \
     --release-folder "$here/sample_release" --out "$private/sample_manifest.txt" >/dev/null; then
  export ZANDOR_SAMPLE_MANIFEST=$(windows_path "$private/sample_manifest.txt")
fi
"$root/scripts/wine-run" "$1"

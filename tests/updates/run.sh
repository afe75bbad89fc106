#!/usr/bin/env bash
# Runs the updates test program against the reference update server: starts the server on free
# loopback ports, signs the sample release with the manifest signer, runs the program, stops the server.
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
work=$(mktemp -d)
/usr/bin/python3 "$root/tests/peers/update_server.py" --ports-file "$work/ports" &
server=$!
cleanup() {
  kill "$server" 2>/dev/null
  wait "$server" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

for _ in $(seq 100); do
  [ -f "$work/ports" ] && break
  sleep 0.1
done
if [ ! -f "$work/ports" ]; then
  echo "run.sh: the reference update server did not start" >&2
  exit 1
fi
read -r service_port control_port < "$work/ports"
export ZANDOR_UPDATE_PORT="$service_port" ZANDOR_UPDATE_CONTROL_PORT="$control_port"

if /usr/bin/python3 "$root/tools/sign_manifest.py" sign --key "$here/keys/test_release_2.key" \
     --release-folder "$here/sample_release" --out "$work/sample_manifest.txt" >/dev/null; then
  sample="Z:$work/sample_manifest.txt"
  export ZANDOR_SAMPLE_MANIFEST="${sample//\//\\}"
fi

"$root/scripts/wine-run" "$1"
status=$?
exit "$status"

#!/usr/bin/env bash
# Starts the reference account server on free loopback ports, runs the log-in flow test program under
# Wine with the ports in ZANDOR_ACCOUNT_PORT and ZANDOR_ACCOUNT_CONTROL, stops the server.
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
work=$(mktemp -d)
/usr/bin/python3 "$root/tests/peers/account_server.py" --port-file "$work/ports" \
    --key-file "$root/tests/peers/account_test_key.txt" &
server=$!
for _ in $(seq 200); do
  [ -s "$work/ports" ] && break
  sleep 0.05
done
if [ ! -s "$work/ports" ]; then
  echo "run.sh: the reference account server did not start" >&2
  kill "$server" 2>/dev/null
  rm -rf "$work"
  exit 1
fi
read -r link_port control_port < "$work/ports"
export ZANDOR_ACCOUNT_PORT="$link_port" ZANDOR_ACCOUNT_CONTROL="$control_port"
"$root/scripts/wine-run" "$1"
status=$?
kill "$server" 2>/dev/null
wait "$server" 2>/dev/null
rm -rf "$work"
exit $status

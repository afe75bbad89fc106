#!/usr/bin/env bash
# Starts the reference web site on the test build's web port with an empty page folder, runs the
# web test program under Wine with the folder in ZANDOR_WEB_ROOT (a Windows path), stops the site.
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
work=$(mktemp -d)
mkdir "$work/site"
port=$(sed -n 's/.*ZANDOR_WEB_BASE "http:\/\/127.0.0.1:\([0-9]*\)".*/\1/p' "$root/tests/test_config.cmake")
/usr/bin/python3 "$root/tests/peers/web_site.py" --port "$port" --root "$work/site" --ready-file "$work/ready" &
site=$!
for _ in $(seq 200); do
  [ -s "$work/ready" ] && break
  sleep 0.05
done
if [ ! -s "$work/ready" ]; then
  echo "run.sh: the reference web site did not start on port $port" >&2
  kill "$site" 2>/dev/null
  rm -rf "$work"
  exit 1
fi
export ZANDOR_WEB_ROOT="Z:${work//\//\\}\\site"
"$root/scripts/wine-run" "$1"
status=$?
kill "$site" 2>/dev/null
wait "$site" 2>/dev/null
rm -rf "$work"
exit $status

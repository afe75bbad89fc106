#!/usr/bin/env bash
# server/loadgen/test.sh [BUILD]: builds the load generator natively (in BUILD, default build/loadgen)
# and checks what the benchmark's figures rest on, against the reference update server misbehaving on
# demand: whole files pass, a connection dropped again and again is resumed to a whole file, a
# corrupted byte is caught by the SHA-512, a refusal fails the client; and the HTTP mode against nginx.
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build/loadgen}
. "$root/scripts/lib.sh"
source "$root/tools/bench/common.sh"
work=$(mktemp -d /tmp/zandor-loadgen-test.XXXXXX)
pids=()
source "$root/server/haproxy/fleet.sh"
trap 'stop_processes "${pids[@]}"; rm -rf "$work"' EXIT

cmake -S "$root/server/loadgen" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null \
  && cmake --build "$build" -j2 >/dev/null || { echo "loadgen test: the build failed" >&2; exit 1; }
passed=0 failed=0
"$build/answer_parse_test" || failed=$((failed + 1))

make_release "$work/release" 2 || { echo "loadgen test: no release" >&2; exit 1; }
start_peer "$(free_port)" "$work/release" || exit 1
read -r port control < "$work/peer.ports"
mode() {  # MODE line (or RESET) for the reference peer
  /usr/bin/python3 - "$control" "$1" "$root/tests/peers" <<'SCRIPT'
import sys
sys.path.insert(0, sys.argv[3])
from control_client import control
control(int(sys.argv[1]), ["RESET"] + ([sys.argv[2]] if sys.argv[2] != "RESET" else []), who="loadgen test")
SCRIPT
}

# case NAME PEER_MODE EXPECTED_EXIT FIGURE=VALUE... [-- GENERATOR OPTIONS]
case_() {
  local name=$1 peer_mode=$2 expected=$3
  shift 3
  local checks=() options=()
  while [ $# -gt 0 ] && [ "$1" != "--" ]; do checks+=("$1"); shift; done
  [ $# -gt 0 ] && shift && options=("$@")
  mode "$peer_mode"
  "$build/zandor-loadgen" --port "$port" --digest "$release_digest" --size "$release_size" --clients 4 \
      --piece 65536 "${options[@]}" > "$work/out" 2>&1
  local status=$? bad=""
  [ "$status" = "$expected" ] || bad="exit $status, not $expected"
  local check figure_name want got
  for check in "${checks[@]}"; do
    figure_name=${check%%=*} want=${check#*=}
    got=$(figure "$figure_name" "$work/out")
    case "$want" in
      '>0') [ "${got:-0}" -gt 0 ] || bad="$bad; $figure_name is ${got:-missing}, not above 0" ;;
      *) [ "$got" = "$want" ] || bad="$bad; $figure_name is ${got:-missing}, not $want" ;;
    esac
  done
  if [ -n "$bad" ]; then
    echo "FAILED: $name: ${bad#; }"
    cat "$work/out"
    failed=$((failed + 1))
  else
    passed=$((passed + 1))
  fi
}

case_ "whole files" RESET 0 downloads=4 finished_clients=4 bad_digest=0 reconnects=0
case_ "pieces shorter than asked" "MODE short_pieces 1000" 0 finished_clients=4 bad_digest=0
case_ "dropped every 300000 bytes, resumed" "MODE drop_after 300000" 0 finished_clients=4 bad_digest=0 reconnects='>0'
case_ "a corrupted byte" "MODE corrupt_byte 1500000" 1 bad_digest=4 finished_clients=0
case_ "a refused manifest" "MODE error_line ERR no release for channel client" 1 failed_clients=4 refusals='>0' \
  -- --give-up 2
case_ "a server that never answers" "MODE silent" 1 failed_clients=4 -- --stall-seconds 0.5 --give-up 1

if command -v nginx >/dev/null; then
  nginx_port=$(free_port)
  if start_nginx "$nginx_port" "$work/release"; then
    port=$nginx_port
    case_ "HTTP Range requests" RESET 0 downloads=4 finished_clients=4 bad_digest=0 -- --http
    case_ "HTTP, a file that is not there" RESET 1 failed_clients=4 refusals='>0' -- --http --file-path /files/none --give-up 1
  else
    failed=$((failed + 1))
  fi
fi
echo "loadgen: $passed passed, $failed failed"
[ "$failed" = 0 ]

#!/usr/bin/env bash
# tools/bench/server.sh [OUT_DIR]: zandor-update-server under load, native, on loopback, driven by the
# load generator (server/loadgen): N launchers each fetch the manifest and one file in 256 KiB pieces
# with one request outstanding and check its SHA-512. Every ratio is taken in this run, the two sides
# measured alternately over BENCH_SERVER_ROUNDS rounds (default 2), the best round of each counting.
#  1. update_server / nginx at 100 and at 2000 launchers: the same file from Debian's nginx over HTTP/1.1
#     keep-alive as 256 KiB Range requests (the generator's HTTP mode), both with two workers.
#  2. update_server / the reference peer (tests/peers/update_server.py) at 100 launchers.
#  3. Memory: (resident size with 2000 idle connections after the hello - with none) / 2000.
#  4. Through HAProxy (server/haproxy/zandor-update.cfg) with two instances / one instance directly.
#  5. Faults: 50 SIGKILLs (each followed by a restart) and 50 SIGHUP reloads of the instances behind
#     HAProxy during one load run: files with a wrong SHA-512, and clients that did not finish.
# Smaller runs: BENCH_SERVER_MIB (file size, default 32), BENCH_SERVER_CLIENTS (100),
# BENCH_SERVER_MANY (2000), BENCH_SERVER_IDLE (2000), BENCH_SERVER_FAULTS (50 kills and 50 reloads),
# BENCH_SERVER_FAULT_CLIENTS (100).
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
out=${1:-$root/build/bench}
# shellcheck source=common.sh
source "$root/tools/bench/common.sh"
# shellcheck source=../../server/haproxy/fleet.sh
source "$root/server/haproxy/fleet.sh"
mkdir -p "$out"

mib=${BENCH_SERVER_MIB:-32}
few=${BENCH_SERVER_CLIENTS:-100}
many=${BENCH_SERVER_MANY:-2000}
idle=${BENCH_SERVER_IDLE:-2000}
faults=${BENCH_SERVER_FAULTS:-50}
fault_clients=${BENCH_SERVER_FAULT_CLIENTS:-100}
rounds=${BENCH_SERVER_ROUNDS:-2}

loadgen=$(build_loadgen "$out") || { echo "server bench: the load generator does not build" >&2; exit 1; }
server_bin=$(build_update_server "$out")
if [ -z "$server_bin" ] || [ ! -x "$server_bin" ]; then
  echo "server bench: no zandor-update-server to measure (server/ has no build yet)" >&2
  record_native "update server benchmarks" "not measured (no zandor-update-server build)" "-" "-"
  exit 0
fi

bench_work zandor-server-bench
ulimit -n "$(ulimit -Hn)"
make_release "$work/release" "$mib" || { echo "server bench: no release" >&2; exit 1; }
echo "release: one file of $mib MiB, SHA-512 ${release_digest:0:16}..."

# load NAME PORT CLIENTS [OPTION...]: one generator run; its output in $work/NAME.out, summary shown.
# The CPU time of the serving processes (server_pids[PORT]) over the run goes in as "@server_cpu_s".
# On two shared cores the generator's own SHA-512 of every byte takes a large share of the CPU, so the
# servers' CPU per GiB served tells their cost apart where the throughput is the generator's limit.
declare -A server_pids
load() {
  local name=$1 port=$2 clients=$3
  shift 3
  local ticks_before ticks_after hz
  hz=$(getconf CLK_TCK)
  # shellcheck disable=SC2086
  ticks_before=$(cpu_ticks ${server_pids[$port]:-})
  "$loadgen" --port "$port" --digest "$release_digest" --size "$release_size" --clients "$clients" \
      --threads 2 "$@" > "$work/$name.out" 2>&1
  local status=$?
  # shellcheck disable=SC2086
  ticks_after=$(cpu_ticks ${server_pids[$port]:-})
  echo "@server_cpu_s $(calc "($ticks_after - $ticks_before) / $hz")" >> "$work/$name.out"
  echo "-- $name"
  grep -v '^@' "$work/$name.out"
  echo "server CPU: $(figure server_cpu_s "$work/$name.out") s"
  return $status
}

# best NAME...: the highest MiB/s among the runs named, and the name of that run.
best() {
  local name value top="" top_name=""
  for name in "$@"; do
    value=$(figure mib_s "$work/$name.out")
    [ -n "$value" ] || continue
    if [ -z "$top" ] || [ "$(calc "($value > $top)" "%d")" = 1 ]; then top=$value; top_name=$name; fi
  done
  echo "$top $top_name"
}

# describe NAME: "X MiB/s, N pieces/s, median M ms, p99 P ms, server CPU C s/GiB, F failed" of one run.
describe() {
  local f="$work/$1.out" per_gib
  per_gib=$(calc "$(figure server_cpu_s "$f") / ($(figure mib_s "$f") * $(figure seconds "$f") / 1024)" "%.2f")
  printf '%s MiB/s, %s pieces/s, piece median %s ms, p99 %s ms, server CPU %s s/GiB, generator CPU %s s, %s failed\n' \
    "$(figure mib_s "$f")" "$(figure pieces_s "$f")" "$(figure piece_median_ms "$f")" "$(figure piece_p99_ms "$f")" \
    "$per_gib" "$(figure cpu_s "$f")" "$(figure failed_clients "$f")"
}

# compare LABEL CLIENTS GOAL A_NAME A_PORT A_OPTIONS B_NAME B_PORT B_OPTIONS: A and B alternately, the
# ratio of their best rounds as one row.
compare() {
  local label=$1 clients=$2 goal=$3 a=$4 a_port=$5 a_options=$6 b=$7 b_port=$8 b_options=$9
  local a_runs=() b_runs=() round
  for round in $(seq "$rounds"); do
    # shellcheck disable=SC2086
    load "$a-$clients-$round" "$a_port" "$clients" $a_options
    # shellcheck disable=SC2086
    load "$b-$clients-$round" "$b_port" "$clients" $b_options
    a_runs+=("$a-$clients-$round")
    b_runs+=("$b-$clients-$round")
  done
  local a_best b_best a_name b_name ratio
  read -r a_best a_name <<<"$(best "${a_runs[@]}")"
  read -r b_best b_name <<<"$(best "${b_runs[@]}")"
  if [ -z "$a_best" ] || [ -z "$b_best" ] || [ "$(calc "($b_best > 0)" "%d")" != 1 ]; then
    record_native "$label" "not measured (see the runs above)" "$goal" "not measured"
    return
  fi
  ratio=$(calc "$a_best / $b_best")
  local verdict="-"
  [ "$goal" = "-" ] || verdict=$(at_least "$ratio" "${goal#at least }")
  record_native "$label" "$ratio ($a_best vs $b_best MiB/s)" "$goal" "$verdict"
  record_native "  $a, $clients x $mib MiB" "$(describe "$a_name")" "-" "-"
  record_native "  $b, $clients x $mib MiB" "$(describe "$b_name")" "-" "-"
}

direct_port=$(free_port)
start_instance direct "$direct_port" "$work/release" || exit 1
direct_pid=$instance_pid
server_pids[$direct_port]=$direct_pid
nginx_port=$(free_port)
start_nginx "$nginx_port" "$work/release" || exit 1
server_pids[$nginx_port]=$nginx_pid

# ---- 1. against nginx ----------------------------------------------------------------------------------
compare "update_server / nginx, $few launchers (MiB/s)" "$few" "at least 1.0" \
  update_server "$direct_port" "" nginx "$nginx_port" "--http"
compare "update_server / nginx, $many launchers (MiB/s)" "$many" "at least 1.0" \
  update_server "$direct_port" "--stall-seconds 120" nginx "$nginx_port" "--http --stall-seconds 120"

# ---- 2. against the reference peer -------------------------------------------------------------------
peer_port=$(free_port)
start_peer "$peer_port" "$work/release" || exit 1
server_pids[$peer_port]=$peer_pid
compare "update_server / reference peer, $few launchers (MiB/s)" "$few" "-" \
  update_server "$direct_port" "" reference_peer "$peer_port" ""
stop_processes "$peer_pid"

# ---- 3. memory of idle connections -------------------------------------------------------------------
idle_port=$(free_port)
start_instance idle "$idle_port" "$work/release" || exit 1
idle_pid=$instance_pid
sleep 1
rss_before=$(rss_kib "$idle_pid")
"$loadgen" --port "$idle_port" --idle --clients "$idle" --threads 1 --hold-seconds 600 \
    --ready-file "$work/idle.ready" > "$work/idle.out" 2>&1 &
idle_load=$!
pids+=("$idle_load")
if wait_for_file "$work/idle.ready" 120; then
  sleep 2
  rss_with=$(rss_kib "$idle_pid")
  per=$(calc "($rss_with - $rss_before) / $idle" "%.1f")
  echo "-- memory: resident $rss_before KiB idle, $rss_with KiB with $idle connections open after the hello"
  record_native "memory per idle connection" "$per KiB (resident $rss_before -> $rss_with KiB, $idle open)" \
    "at most 16 KiB" "$(at_most "$per" 16)"
else
  record_native "memory per idle connection" "not measured (the $idle connections did not all open)" "at most 16 KiB" "not measured"
  cat "$work/idle.out"
fi
stop_processes "$idle_load" "$idle_pid"

# ---- 4. through HAProxy ------------------------------------------------------------------------------
second_port=$(free_port)
start_instance second "$second_port" "$work/release" || exit 1
proxy_port=$(free_port)
start_haproxy "$proxy_port" "127.0.0.1:$direct_port" "127.0.0.1:$second_port" || exit 1
server_pids[$proxy_port]="$haproxy_pid $direct_pid $instance_pid"
compare "through HAProxy, two instances / one instance directly, $few launchers" "$few" "at least 0.8" \
  haproxy_two "$proxy_port" "" one_direct "$direct_port" ""
stop_processes "$haproxy_pid" "$direct_pid" "$instance_pid"

# ---- 5. faults ---------------------------------------------------------------------------------------
# Two fresh instances behind HAProxy; the load runs until the last fault is done, then every client
# finishes the download it is in. Kills and reloads take turns between the two instances, so that one
# is always up.
fault_a_port=$(free_port)
fault_b_port=$(free_port)
start_instance fault_a "$fault_a_port" "$work/release" || exit 1
fault_pid[0]=$instance_pid
start_instance fault_b "$fault_b_port" "$work/release" || exit 1
fault_pid[1]=$instance_pid
fault_port=(fault_a_port fault_b_port)
proxy_port=$(free_port)
rm -f "$work/haproxy.log"
start_haproxy "$proxy_port" "127.0.0.1:$fault_a_port" "127.0.0.1:$fault_b_port" || exit 1
"$loadgen" --port "$proxy_port" --digest "$release_digest" --size "$release_size" --clients "$fault_clients" \
    --threads 2 --min-seconds 100000 --stall-seconds 60 --give-up 200 > "$work/faults.out" 2>&1 &
fault_load=$!
pids+=("$fault_load")
sleep 2
kills=0 reloads=0
for i in $(seq "$faults"); do
  victim=$((i % 2))
  name=$([ "$victim" = 0 ] && echo fault_a || echo fault_b)
  port_var=${fault_port[$victim]}
  kill -KILL "${fault_pid[$victim]}" 2>/dev/null
  wait "${fault_pid[$victim]}" 2>/dev/null
  start_instance "$name" "${!port_var}" "$work/release" || break
  fault_pid[$victim]=$instance_pid
  kills=$((kills + 1))
  sleep 0.3
  kill -HUP "${fault_pid[$((1 - victim))]}" 2>/dev/null && reloads=$((reloads + 1))
  sleep 0.3
done
kill -USR1 "$fault_load" 2>/dev/null
wait "$fault_load"
echo "-- faults: $kills kills with a restart and $reloads reloads during the run"
grep -v '^@' "$work/faults.out"
f="$work/faults.out"
bad=$(figure bad_digest "$f")
finished=$(figure finished_clients "$f")
failed=$(figure failed_clients "$f")
verdict="not met"
if [ "$bad" = 0 ] && [ "$failed" = 0 ] && [ "$finished" = "$fault_clients" ] && [ "$kills" = "$faults" ] \
   && [ "$reloads" = "$faults" ]; then verdict=met; fi
record_native "faults: $kills SIGKILL+restart, $reloads SIGHUP through HAProxy, $fault_clients launchers" \
  "${bad:-?} wrong SHA-512 in $(figure downloads "$f") files; ${finished:-?}/$fault_clients finished after $(figure reconnects "$f") reconnects" \
  "0 wrong, all finish" "$verdict"

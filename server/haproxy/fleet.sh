# Shell helpers (sourced, not run) for a small fleet on loopback: update server instances, HAProxy in
# front of them with server/haproxy/zandor-update.cfg, nginx and the reference peer serving the same
# release folder, and the load generator. Used by the benchmark (tools/bench/server.sh) and the HAProxy
# test (server/haproxy/test.sh). Needs $root (the repository) and $work (a temporary folder); every
# process started here is added to the array $pids, which the caller stops at the end.

fleet_keys() {  # the release keys of the test build
  sed -n 's/.*ZANDOR_RELEASE_KEYS "\([^"]*\)".*/\1/p' "$root/tests/test_config.cmake"
}

# A free loopback port (the kernel's choice; free when asked, which is enough on loopback here).
free_port() {
  /usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# build_loadgen OUT: the load generator, built natively; prints its path.
build_loadgen() {
  cmake -S "$root/server/loadgen" -B "$1/loadgen" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null \
    && cmake --build "$1/loadgen" -j2 >/dev/null \
    && echo "$1/loadgen/zandor-loadgen"
}

# build_update_server OUT: zandor-update-server built natively from server/ (or $ZANDOR_UPDATE_SERVER_BIN
# when set); prints its path, nothing when there is no server to build.
build_update_server() {
  if [ -n "${ZANDOR_UPDATE_SERVER_BIN:-}" ]; then echo "$ZANDOR_UPDATE_SERVER_BIN"; return 0; fi
  [ -f "$root/server/CMakeLists.txt" ] || return 1
  cmake -S "$root/server" -B "$1/server" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null \
    && cmake --build "$1/server" -j2 --target zandor-update-server >/dev/null || return 1
  find "$1/server" -name zandor-update-server -type f -perm -u+x | head -n 1
}

# make_release FOLDER MIB: a signed release of one runtime file of MIB MiB (random bytes), laid out as
# scripts/release lays one out (manifest.txt, files/<sha512>); sets release_digest and release_size.
make_release() {
  local folder=$1 mib=$2
  mkdir -p "$folder/source/runtime" "$folder/files"
  head -c $((mib << 20)) /dev/urandom > "$folder/source/runtime/blob.bin"
  printf 'channel client\nrelease 1\npart runtime 1 optional\n' > "$folder/source/release.txt"
  /usr/bin/python3 "$root/tools/sign_manifest.py" sign --key "$root/tests/updates/keys/test_release_1.key" \
      --release-folder "$folder/source" --out "$folder/manifest.txt" >/dev/null || return 1
  release_digest=$(sha512sum "$folder/source/runtime/blob.bin" | cut -d' ' -f1)
  release_size=$((mib << 20))
  mv "$folder/source/runtime/blob.bin" "$folder/files/$release_digest"
}

# start_instance NAME PORT RELEASE [OPTION...]: one update server instance on 127.0.0.1:PORT, two event
# loops, no cap per address (behind HAProxy every launcher has the proxy's address); sets
# instance_pid. Its log is $work/NAME.log.
start_instance() {
  local name=$1 port=$2 release=$3
  shift 3
  rm -f "$work/$name.ready"
  "$server_bin" --listen "127.0.0.1:$port" --release "$release" --release-keys "$(fleet_keys)" --threads 2 \
      --max-per-address 0 --ready-file "$work/$name.ready" "$@" >>"$work/$name.log" 2>&1 &
  instance_pid=$!
  pids+=("$instance_pid")
  wait_for_file "$work/$name.ready" 60 || { echo "fleet: the instance $name did not start ($work/$name.log)" >&2; return 1; }
}

# start_peer PORT RELEASE: the reference update server on 127.0.0.1:PORT; sets peer_pid.
start_peer() {
  rm -f "$work/peer.ports"
  /usr/bin/python3 "$root/tests/peers/update_server.py" --ports-file "$work/peer.ports" --port "$1" --release "$2" &
  peer_pid=$!
  pids+=("$peer_pid")
  wait_for_file "$work/peer.ports" 60 || { echo "fleet: the reference peer did not start" >&2; return 1; }
}

# start_nginx PORT RELEASE: Debian's nginx serving the release folder over HTTP/1.1 keep-alive, as many
# workers as the update server has event loops, with its own configuration in $work/nginx.
start_nginx() {
  local dir="$work/nginx"
  chmod a+rx "$work"  # the workers run as nobody
  mkdir -p "$dir"
  cat > "$dir/nginx.conf" <<CONF
daemon off;
master_process on;
worker_processes 2;
pid $dir/nginx.pid;
error_log $dir/error.log;
worker_rlimit_nofile 12000;
events { worker_connections 6000; }
http {
  access_log off;
  sendfile on;
  tcp_nopush on;
  keepalive_requests 1000000;
  keepalive_timeout 300s;
  client_body_temp_path $dir/body;
  proxy_temp_path $dir/proxy;
  fastcgi_temp_path $dir/fastcgi;
  uwsgi_temp_path $dir/uwsgi;
  scgi_temp_path $dir/scgi;
  server { listen 127.0.0.1:$1; root $2; }
}
CONF
  nginx -t -q -c "$dir/nginx.conf" -p "$dir" || return 1
  nginx -c "$dir/nginx.conf" -p "$dir" &
  nginx_pid=$!
  pids+=("$nginx_pid")
  for _ in $(seq 100); do
    [ -n "$(busy_ports "$1")" ] && return 0
    sleep 0.1
  done
  echo "fleet: nginx did not start ($dir/error.log)" >&2
  return 1
}

# start_haproxy PORT BACKEND1 BACKEND2: HAProxy with the shipped configuration on 127.0.0.1:PORT in
# front of two instances (ADDR:PORT each), no cap per address (every client here is 127.0.0.1). Waits
# until both instances pass the health check. Its log is $work/haproxy.log.
start_haproxy() {
  ZANDOR_HAPROXY_BIND="127.0.0.1:$1" ZANDOR_UPDATE_SERVER_1=$2 ZANDOR_UPDATE_SERVER_2=$3 \
    ZANDOR_HAPROXY_PER_ADDRESS=1000000 ZANDOR_HAPROXY_MAXCONN=7000 \
    haproxy -f "$root/server/haproxy/zandor-update.cfg" >>"$work/haproxy.log" 2>&1 &
  haproxy_pid=$!
  pids+=("$haproxy_pid")
  for _ in $(seq 100); do
    [ -n "$(busy_ports "$1")" ] && break
    sleep 0.1
  done
  sleep 2.5  # "rise 2" at one check a second: both instances in service
  kill -0 "$haproxy_pid" 2>/dev/null || { echo "fleet: HAProxy did not start ($work/haproxy.log)" >&2; return 1; }
}

# cpu_ticks PID...: the CPU time (user and system, clock ticks) the processes and their children
# processes (nginx's workers) have used so far.
cpu_ticks() {
  local pid child total=0
  for pid in "$@"; do
    for child in "$pid" $(pgrep -P "$pid"); do
      [ -r "/proc/$child/stat" ] || continue
      total=$((total + $(awk '{ sub(/^.*\) /, ""); print $12 + $13 }' "/proc/$child/stat")))
    done
  done
  echo "$total"
}

# rss_kib PID: the process's resident size in KiB.
rss_kib() {
  sed -n 's/^VmRSS:[[:space:]]*\([0-9]*\) kB/\1/p' "/proc/$1/status"
}

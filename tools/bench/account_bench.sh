#!/usr/bin/env bash
# tools/bench/account_bench.sh [OUT_DIR]: builds the account link benchmark as a Windows program (BENCH_ARCH),
# starts the reference account server (tests/peers) on free loopback ports and runs the benchmark
# under Wine: the time of one complete exchange and the client's own CPU time for it.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
out=${1:-$root/build/bench}
source "$root/tools/bench/common.sh"
mkdir -p "$out/account_generated"
sodium=$bench_sodium
if [ ! -f "$sodium/lib/libsodium.a" ]; then
  "$root/scripts/bootstrap"
fi

# The benchmark pins the test hello key that the reference server signs with (a test key).
seed=$(grep -v '^#' "$root/tests/peers/account_test_key.txt" | head -n 1)
public=$(/usr/bin/python3 -c "import nacl.signing,sys; print(nacl.signing.SigningKey(bytes.fromhex(sys.argv[1])).verify_key.encode().hex())" "$seed")
init=$(echo "$public" | sed 's/\(..\)/0x\1,/g')
cat > "$out/account_generated/build_config.h" <<HEADER
// Constants of the account benchmark build.
#pragma once
#define ZANDOR_SERVER_ADDRESS "127.0.0.1"
#define ZANDOR_WEB_BASE "http://127.0.0.1"
#define ZANDOR_SUPPORT_EMAIL "help@zandor.example"
#define ZANDOR_RELEASE_KEY_COUNT 0
#define ZANDOR_RELEASE_KEY_INIT
#define ZANDOR_LINK_KEY_COUNT 1
#define ZANDOR_LINK_KEY_INIT {1u, {$init}},
HEADER

"$bench_cxx" -std=c++17 -O2 -fno-exceptions -fno-rtti -static -DSODIUM_STATIC=1 \
  -I "$root/src" -I "$out/account_generated" -I "$sodium/include" \
  "$root/tools/bench/account_bench.cpp" "$root/src/account/link_exchange.cpp" "$root/src/account/link_frame.cpp" \
  "$root/src/core/socket_lines.cpp" "$root/src/account/account_reply.cpp" "$root/src/core/codecs.cpp" \
  "$root/src/core/text.cpp" "$sodium/lib/libsodium.a" -lws2_32 -ladvapi32 -o "$out/account_bench.exe"

work=$(mktemp -d)
/usr/bin/python3 "$root/tests/peers/account_server.py" --port-file "$work/ports" \
    --key-file "$root/tests/peers/account_test_key.txt" &
server=$!
trap 'kill $server 2>/dev/null || true; rm -rf "$work"' EXIT
wait_for_file "$work/ports" || { echo "account bench: the reference account server did not start" >&2; exit 1; }
read -r link_port _ < "$work/ports"
export WINEPREFIX="${WINEPREFIX:-$root/build/wineprefix}"
ZANDOR_ACCOUNT_PORT="$link_port" "$root/scripts/wine-run" "$out/account_bench.exe"

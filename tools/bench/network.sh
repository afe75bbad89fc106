#!/usr/bin/env bash
# tools/bench/network.sh [OUT_DIR]: the download of a 64 MiB part through the fault proxy
# (tools/faults/fault_proxy.py) at round trips of 20, 100 and 300 ms, under Wine against the launcher
# library built with the test configuration. The protocol keeps one 256 KiB request outstanding, so
# one round trip per piece bounds the throughput at 256 KiB / RTT; the figure is the throughput of the
# transfer into the .part file against that bound, as a ratio (goal at least 0.9 at each delay: nothing
# else is lost). Under the user-mode emulator the figures are marked as emulated.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
out=${1:-$root/build/bench}
# shellcheck source=common.sh
source "$root/tools/bench/common.sh"
py=/usr/bin/python3
mkdir -p "$out"

build=$(bench_library "$root" "$out")
bench_link "$root" "$build" "$out/update_bench.exe" "$root/tools/bench/update_bench.cpp"

bench_work zandor-bench-network
export WINEPREFIX="${WINEPREFIX:-$root/build/wineprefix}"
part_mib=64
release="$work/release"
mkdir -p "$release/dll"
head -c $((part_mib << 20)) /dev/urandom > "$release/dll/d3d8.dll"
printf 'channel client\nrelease 1\npart dll 1 required\n' > "$release/release.txt"
"$py" "$root/tools/sign_manifest.py" sign --key "$root/tests/updates/keys/test_release_1.key" \
      --release-folder "$release" --out "$work/manifest.txt" >/dev/null

"$py" "$root/tools/bench/bench_servers.py" update --ports-file "$work/update.ports" \
      --manifest "$work/manifest.txt" --file "$release/dll/d3d8.dll" &
pids+=($!)
wait_for_file "$work/update.ports" 300 || { echo "network bench: the update server did not start" >&2; exit 1; }
read -r update_port _ < "$work/update.ports"
"$py" "$root/tools/faults/fault_proxy.py" --route "update:0:$update_port" --ports-file "$work/proxy.ports" &
pids+=($!)
wait_for_file "$work/proxy.ports" 300 || { echo "network bench: the fault proxy did not start" >&2; exit 1; }
read -r proxy_control proxy_port < "$work/proxy.ports"

mark=""
[ "${BENCH_NATIVE:-1}" = 0 ] && mark=" (emulated: the launcher's side runs under the user-mode emulator)"
for rtt in 20 100 300; do
  "$py" "$root/tests/peers/control_client.py" "$proxy_control" RESET "DELAY $((rtt / 2))" >/dev/null
  rm -rf "$work/game" && mkdir -p "$work/game"
  "$root/scripts/wine-run" "$out/update_bench.exe" download "$proxy_port" "$(windows_path "$work/game")" \
      | tr -d '\r' > "$work/rtt$rtt.out"
  cmp -s "$work/game/ombrix_data/updates/staging/dll_v1/d3d8.dll" "$release/dll/d3d8.dll" || {
    echo "network bench: the staged file differs at a round trip of $rtt ms" >&2
    exit 1
  }
  ms=$(figure download_transfer_ms "$work/rtt$rtt.out")
  rate=$(calc "$part_mib / ($ms / 1000)")
  bound=$(calc "0.25 / ($rtt / 1000)")
  ratio=$(calc "$rate / $bound")
  echo "64 MiB through the fault proxy at a round trip of $rtt ms: $ms ms ($rate MiB/s), bound 256 KiB / RTT =" \
       "$bound MiB/s, ratio $ratio (goal at least 0.9)$mark"
  record "64 MiB download at RTT $rtt ms / (256 KiB / RTT)" "$ratio ($rate of $bound MiB/s)${mark:+ emulated}" \
         "at least 0.9" "$(awk -v v="$ratio" 'BEGIN { print (v + 0 >= 0.9) ? "met" : "not met" }')"
done

# Where a piece's time goes at the shortest round trip, where anything beside the round trip weighs most:
# sending the request, waiting for and reading the answer line, the rest of the payload, writing it.
"$py" "$root/tests/peers/control_client.py" "$proxy_control" RESET "DELAY 10" >/dev/null
"$root/scripts/wine-run" "$out/update_bench.exe" profile "$proxy_port" "$(windows_path "$work/profile.bin")" \
    | tr -d '\r' > "$work/profile.out"
rm -f "$work/profile.bin"
p="$work/profile.out"
echo "one 256 KiB piece through the fault proxy at a round trip of 20 ms, $(figure profile_pieces "$p") pieces:" \
     "$(figure profile_piece_us "$p") us (sending the GET $(figure profile_send_us "$p"), waiting for and reading the" \
     "answer line $(figure profile_line_us "$p"), the rest of the payload $(figure profile_payload_us "$p"), writing it" \
     "$(figure profile_write_us "$p") us)"
record "  one piece at RTT 20 ms: send, answer line, payload, write" \
       "$(figure profile_send_us "$p"), $(figure profile_line_us "$p"), $(figure profile_payload_us "$p"), $(figure profile_write_us "$p") us" "-" "-"


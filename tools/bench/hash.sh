#!/usr/bin/env bash
# tools/bench/hash.sh [OUT_DIR]: SHA-512 throughput on one 256 MiB file of random bytes (BENCH_HASH_MIB
# sets another size), page cache warm,
# all in one run: the launcher's sha512_file and the other candidates of the build (BENCH_ARCH) side by
# side under Wine (tools/bench/hash_bench.cpp), against the host's `openssl dgst -sha512` and
# `sha512sum`, and against the fastest of OpenSSL's own paths for the build's processor, built from the
# same source and run in the same process (the yardstick of the launcher's own streaming). Best of 10
# for every figure; every digest must equal sha512sum's.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
out=${1:-$root/build/bench}
# shellcheck source=common.sh
source "$root/tools/bench/common.sh"
mkdir -p "$out"

build=$(bench_library "$root" "$out")
bench_link "$root" "$build" "$out/hash_bench.exe" "$root/tools/bench/hash_bench.cpp"

work=$(mktemp -d /tmp/zandor-bench-hash.XXXXXX)
trap 'rm -rf "$work"' EXIT
export WINEPREFIX="${WINEPREFIX:-$root/build/wineprefix}"
ms_now() { date +%s%N | awk '{ printf "%.1f", $1 / 1000000 }'; }

mib=${BENCH_HASH_MIB:-256}  # smaller on a slow (emulated) machine
hash_rounds=${BENCH_HASH_ROUNDS:-5}  # per pass; the best of all counts
file="$work/hash.bin"
head -c $((mib << 20)) /dev/urandom > "$file"
cat "$file" > /dev/null  # into the page cache

# best_ms COMMAND...: the best wall time of three runs of a host command, in ms.
best_ms() {
  local best="" start end ms
  for _ in 1 2 3; do
    start=$(ms_now)
    "$@" > /dev/null
    end=$(ms_now)
    ms=$(calc "$end - $start" "%.1f")
    if [ -z "$best" ] || [ "$(calc "$ms < $best" "%d")" = 1 ]; then best=$ms; fi
  done
  echo "$best"
}
sum_digest=$(sha512sum "$file" | cut -d' ' -f1)
openssl_digest=$(openssl dgst -sha512 -r "$file" | cut -d' ' -f1)
[ "$openssl_digest" = "$sum_digest" ] || { echo "hash bench: openssl and sha512sum disagree" >&2; exit 1; }
# The machine is shared: host and Wine measurements alternate over two passes and the best of each
# counts, so that a busy moment does not fall on one side only.
openssl_ms="" sum_ms=""
min_ms() { if [ -z "$1" ] || [ "$(calc "$2 < $1" "%d")" = 1 ]; then echo "$2"; else echo "$1"; fi; }
for pass in 1 2; do
  openssl_ms=$(min_ms "$openssl_ms" "$(best_ms openssl dgst -sha512 "$file")")
  sum_ms=$(min_ms "$sum_ms" "$(best_ms sha512sum "$file")")
  "$root/scripts/wine-run" "$out/hash_bench.exe" "$(windows_path "$file")" "$hash_rounds" | tr -d '\r' > "$work/hash$pass.out"
  for name in sha512_file sodium openssl openssl_alt openssl_int bcrypt; do
    if [ "$(figure "${name}_digest" "$work/hash$pass.out")" != "$sum_digest" ] ||
       [ "$(figure "${name}_bytes" "$work/hash$pass.out")" != $((mib << 20)) ]; then
      echo "hash bench: $name does not agree with sha512sum" >&2
      exit 1
    fi
  done
done
# best NAME: the candidate's best time over both passes.
best() { min_ms "$(figure "${1}_ms" "$work/hash1.out")" "$(figure "${1}_ms" "$work/hash2.out")"; }
cp "$work/hash1.out" "$work/hash.out"

rate() { calc "$mib / ($1 / 1000)" "%.0f"; }
openssl_rate=$(rate "$openssl_ms")
sum_rate=$(rate "$sum_ms")
path=$(figure openssl_path "$work/hash.out")
echo "$mib MiB, page cache warm, best of $((2 * hash_rounds)) in two alternating passes, every candidate once a round (OpenSSL's features: $(figure openssl_features "$work/hash.out"), path $path):"
printf '  %-44s %8s ms %6s MiB/s  %s\n' "openssl dgst -sha512 (host, 64-bit)" "$openssl_ms" "$openssl_rate" "1.00"
printf '  %-44s %8s ms %6s MiB/s  %s\n' "sha512sum (host, 64-bit)" "$sum_ms" "$sum_rate" \
       "$(calc "$openssl_ms / $sum_ms")"
asm="OpenSSL $bench_build_name assembly"
labels=("sha512_file (the launcher's)" "libsodium crypto_hash_sha512 (portable C)"
        "$asm, path for this CPU ($path)" "$asm, $(figure openssl_alt_label "$work/hash.out")"
        "$asm, $(figure openssl_int_label "$work/hash.out")" "BCryptHash (Wine: the host's library)")
i=0
for name in sha512_file sodium openssl openssl_alt openssl_int bcrypt; do
  ms=$(best "$name")
  printf '  %-44s %8s ms %6s MiB/s  %s\n' "${labels[$i]}" "$ms" "$(rate "$ms")" "$(calc "$openssl_ms / $ms")"
  i=$((i + 1))
done

file_ms=$(best sha512_file)
file_rate=$(rate "$file_ms")
host_ratio=$(calc "$openssl_ms / $file_ms")
# The launcher's streaming around OpenSSL's code against that code alone: the fastest of its paths for
# this processor on this machine, hashing the same blocks in the same process.
# Judged on the thread's CPU time, which a busy moment of the shared machine does not lengthen the way it
# lengthens the wall time; the wall ratio is shown beside it.
best_cpu() { min_ms "$(figure "${1}_cpu_ms" "$work/hash1.out")" "$(figure "${1}_cpu_ms" "$work/hash2.out")"; }
fastest="" fastest_cpu=""
for name in openssl openssl_alt openssl_int; do
  fastest=$(min_ms "$fastest" "$(best "$name")")
  fastest_cpu=$(min_ms "$fastest_cpu" "$(best_cpu "$name")")
done
file_cpu=$(best_cpu sha512_file)
wall_ratio=$(calc "$fastest / $file_ms")
own_ratio=$(calc "$fastest_cpu / $file_cpu")
echo "sha512_file against the fastest OpenSSL $bench_build_name path here: CPU time $own_ratio ($file_cpu vs $fastest_cpu ms;" \
     "goal at least 0.95), wall time $wall_ratio ($file_ms vs $fastest ms)"
record "sha512_file / openssl" "$own_ratio (CPU $file_cpu vs $fastest_cpu ms; wall $wall_ratio, $file_rate vs $(rate "$fastest") MiB/s; fastest OpenSSL $bench_build_name path, same process)" \
       "at least 0.95" "$(awk -v v="$own_ratio" 'BEGIN { print (v + 0 >= 0.95) ? "met" : "not met" }')"
if [ "$bench_arch" = i686 ]; then
  # The 32-bit launcher against the host's 64-bit command.
  record "  sha512_file / openssl dgst (host, 64-bit)" "$host_ratio ($file_rate vs $openssl_rate MiB/s, $mib MiB)" \
         "at least 0.6" "$(awk -v v="$host_ratio" 'BEGIN { print (v + 0 >= 0.6) ? "met" : "not met" }')"
else
  record "  sha512_file / openssl dgst (host)" "$host_ratio ($file_rate vs $openssl_rate MiB/s, $mib MiB)" "-" "-"
fi
record "  sha512_file / sha512sum" "$(calc "$sum_ms / $file_ms") ($file_rate vs $sum_rate MiB/s)" "-" "-"
for name in sodium openssl bcrypt; do
  ms=$(best "$name")
  case $name in
    sodium) label="libsodium (portable C)" ;;
    openssl) label="OpenSSL $bench_build_name asm ($path)" ;;
    bcrypt) label="BCryptHash (host library under Wine)" ;;
  esac
  record "  candidate: $label / openssl dgst" "$(calc "$openssl_ms / $ms") ($(rate "$ms") MiB/s)" "-" "-"
done

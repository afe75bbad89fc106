#!/usr/bin/env bash
# tools/bench/update_e2e.sh [OUT_DIR]: the update's own time end to end, under Wine against the
# reference update server on a free loopback port.
#  A runtime part of 200 MiB in 2000 files (20 folders of 100) lies installed as release 1 (the files,
#  installed.json and installed_manifest.txt as a finished run leaves them); release 2 changes one file. From a copy of that installed game folder, one update run
#  (tools/bench/update_e2e_bench.cpp) goes from its start to "up to date": the manifest, examining
#  the files (hash the installed ones, copy them into staging, hash the copies), downloading the
#  changed one, the swap (the staged part verified again, the folders moved, the state saved).
#  The same run is built twice: against this tree and against the launcher library of an earlier
#  commit (BENCH_BEFORE, default the commit before the transfer and the file checks were reworked),
#  and the two programs run alternately, BENCH_ROUNDS times each (default 3), page cache warm. The
#  summary gives the ratio of their medians (this tree / before) and where the time goes.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
out=${1:-$root/build/bench}
# shellcheck source=common.sh
source "$root/tools/bench/common.sh"
py=/usr/bin/python3
mkdir -p "$out"

rounds=${BENCH_ROUNDS:-3}
before_commit=${BENCH_BEFORE:-f8f1075}
build=$(bench_library "$root" "$out")
bench_link "$root" "$build" "$out/update_e2e_bench.exe" "$root/tools/bench/update_e2e_bench.cpp"

# The launcher library of the earlier commit: its sources from git, only the library built (with the
# test configuration, like this tree's), the dependencies shared with this tree.
before_src="$out/before/src"
before_build="$out/before/launcher"
before_id=$(git -C "$root" rev-parse --short "$before_commit^{commit}") || {
  echo "update_e2e bench: no commit $before_commit to compare with" >&2
  exit 1
}
if [ "$(cat "$out/before/commit" 2>/dev/null)" != "$before_id" ]; then
  rm -rf "$out/before"
  mkdir -p "$before_src/build"
  git -C "$root" archive "$before_id" | tar -x -C "$before_src"
  ln -s "$root/build/deps" "$before_src/build/deps"
  echo "$before_id" > "$out/before/commit"
fi
# The build of this tree's kind (BENCH_ARCH): its toolchain and dependencies, which an earlier commit
# may not know by that name.
cmake -G Ninja -S "$before_src" -B "$before_build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$bench_arch-mingw.cmake" \
      -DZANDOR_SODIUM_DIR="$root/build/deps/libsodium-$bench_arch" -DZANDOR_OPENSSL_DIR="$root/build/deps/openssl-$bench_arch" \
      -DCMAKE_BUILD_TYPE=Release -C "$before_src/tests/test_config.cmake" >/dev/null
cmake --build "$before_build" --target zandor >/dev/null
bench_link "$before_src" "$before_build" "$out/update_e2e_bench_before.exe" "$root/tools/bench/update_e2e_bench.cpp"

bench_work zandor-bench-e2e
export WINEPREFIX="${WINEPREFIX:-$root/build/wineprefix}"
wine_run() { "$root/scripts/wine-run" "$@"; }

# ---- the two releases ------------------------------------------------------------------------------
files=2000
file_size=104858  # 2000 of them: 200 MiB
"$py" - "$work/release1" "$files" "$file_size" <<'PY'
import os, sys
folder, count, size = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
for i in range(count):
    path = os.path.join(folder, "runtime", "lib", "d%02d" % (i // 100), "f%04d.bin" % i)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(os.urandom(size))
with open(os.path.join(folder, "release.txt"), "w") as f:
    f.write("channel client\nrelease 1\npart runtime 1 optional\n")
PY
changed=runtime/lib/d10/f1000.bin
cp -al "$work/release1" "$work/release2"
rm "$work/release2/$changed" "$work/release2/release.txt"
head -c "$file_size" /dev/urandom > "$work/release2/$changed"
printf 'channel client\nrelease 2\npart runtime 2 optional\n' > "$work/release2/release.txt"
for n in 1 2; do
  "$py" "$root/tools/sign_manifest.py" sign --key "$root/tests/updates/keys/test_release_1.key" \
        --release-folder "$work/release$n" --out "$work/manifest$n.txt" >/dev/null
done

"$py" "$root/tests/peers/update_server.py" --ports-file "$work/update.ports" 2>"$work/update.err" &
pids+=($!)
wait_for_file "$work/update.ports" || { echo "update_e2e bench: the update server did not start" >&2; exit 1; }
read -r port control < "$work/update.ports"

# ---- release 1 installed: what a finished run leaves --------------------------------------------------
game="$work/game"
runtime="$game/ombrix_data/bot_takeover/jre"
mkdir -p "$game/ombrix_data/updates" "$(dirname "$runtime")"
cp -a "$work/release1/runtime" "$runtime"
cp "$work/manifest1.txt" "$game/ombrix_data/updates/installed_manifest.txt"
printf '{"channel": "client", "highest_release_seen": 1, "installed_release": 1, "bots_wanted": 1, "runtime_version": 1}\r\n' \
  > "$game/ombrix_data/updates/installed.json"
mv "$game" "$work/installed1"

# ---- release 2: one file changed ---------------------------------------------------------------------
"$py" - "$control" "$work/manifest2.txt" "$work/release2/$changed" "$root/tests/peers" <<'PY'
import base64, sys
sys.path.insert(0, sys.argv[4])
from control_client import control
lines = ["RESET"]
with open(sys.argv[2], "rb") as f:
    lines.append("MANIFEST client " + base64.b64encode(f.read()).decode())
with open(sys.argv[3], "rb") as f:
    lines.append("FILE " + base64.b64encode(f.read()).decode())
control(sys.argv[1], lines, who="update_e2e bench")
PY

# Alternately before and after, so a busy moment of the shared machine falls on both.
run_round() {  # PROGRAM OUTPUT
  rm -rf "$game"
  cp -a "$work/installed1" "$game"
  cat "$game"/ombrix_data/bot_takeover/jre/lib/*/* > /dev/null  # page cache warm
  wine_run "$1" run "$port" "$(windows_path "$game")" | tr -d '\r' > "$2"
  diff -rq "$runtime" "$work/release2/runtime" >/dev/null || {
    echo "update_e2e bench: release 2 is not what was installed" >&2
    exit 1
  }
  [ "$(figure downloaded_bytes "$2")" = "$file_size" ] || {
    echo "update_e2e bench: the run downloaded more than the changed file" >&2
    exit 1
  }
}
phases() {  # OUTPUT
  echo "manifest $(figure manifest_ms "$1"), examining $(figure examine_ms "$1"), download" \
       "$(figure download_ms "$1"), swap $(figure swap_ms "$1") ms"
}
# median FILE: the median of the numbers in FILE, one per line.
median() { sort -n "$1" | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.1f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
: > "$work/after.ms"
: > "$work/before.ms"
for round in $(seq "$rounds"); do
  for side in before after; do
    program="$out/update_e2e_bench.exe"
    [ "$side" = before ] && program="$out/update_e2e_bench_before.exe"
    run_round "$program" "$work/$side$round.out"
    figure run_ms "$work/$side$round.out" >> "$work/$side.ms"
    echo "round $round, $side: $(figure run_ms "$work/$side$round.out") ms ($(phases "$work/$side$round.out"))"
  done
done
after=$(median "$work/after.ms")
before=$(median "$work/before.ms")
ratio=$(calc "$after / $before")
spread() { sort -n "$1" | awk 'NR == 1 { low = $1 } { high = $1 } END { print low "-" high }'; }
# The round nearest the median of each side shows where the time goes.
nearest() {  # SIDE MEDIAN
  local best_round=1 best_gap="" gap r
  for r in $(seq "$rounds"); do
    gap=$(calc "($(figure run_ms "$work/$1$r.out") - $2) ^ 2" "%.3f")
    if [ -z "$best_gap" ] || [ "$(calc "$gap < $best_gap" "%d")" = 1 ]; then best_gap=$gap best_round=$r; fi
  done
  echo "$work/$1$best_round.out"
}
echo "update of a 200 MiB runtime in $files files, one changed, from the start of the run to up to date" \
     "(medians of $rounds alternating runs each, spread in brackets):"
echo "  this tree:        $after ms ($(spread "$work/after.ms")); $(phases "$(nearest after "$after")")"
echo "  before ($before_id): $before ms ($(spread "$work/before.ms")); $(phases "$(nearest before "$before")")"
echo "  ratio this tree / before: $ratio (goal at most 0.5); cores here: $(nproc)," \
     "one hashing thread per core up to 8"
record "update_e2e / before" "$ratio ($after vs $before ms, 200 MiB runtime, 2000 files, 1 changed; medians of $rounds)" \
       "at most 0.5" "$(at_most "$ratio" 0.5)"

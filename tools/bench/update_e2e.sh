#!/usr/bin/env bash
# tools/bench/update_e2e.sh [OUT_DIR]: the update's own time end to end, under Wine against the
# reference update server on a free loopback port.
#  A runtime part of 200 MiB in 2000 files (20 folders of 100) lies installed as release 1 (the files,
#  installed.json and installed_manifest.txt as a finished run leaves them); release 2 changes one file. From a copy of that installed game folder, one update run
#  (tools/bench/update_e2e_bench.cpp) goes from its start to "up to date": the manifest, examining
#  the files (hash the installed ones, copy them into staging, hash the copies), downloading the
#  changed one, the swap (the staged part verified again, the folders moved, the state saved).
#  Best of 3 runs, page cache warm. The time spent in file_matches (the hashing) is summed within the
#  run, per phase, which tells where the time goes.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
out=${1:-$root/build/bench}
# shellcheck source=common.sh
source "$root/tools/bench/common.sh"
py=/usr/bin/python3
mkdir -p "$out"

build=$(bench_library "$root" "$out")
bench_link "$root" "$build" "$out/update_e2e_bench.exe" -Wl,--wrap=_Z12file_matchesPKcPK12ManifestFile \
           "$root/tools/bench/update_e2e_bench.cpp"

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
wait_for_file "$work/update.ports" 300 || { echo "update_e2e bench: the update server did not start" >&2; exit 1; }
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

best="" best_out=""
for round in 1 2 3; do
  rm -rf "$game"
  cp -a "$work/installed1" "$game"
  cat "$game"/ombrix_data/bot_takeover/jre/lib/*/* > /dev/null  # page cache warm
  wine_run "$out/update_e2e_bench.exe" run "$port" "$(winpath "$game")" | tr -d '\r' > "$work/round$round.out"
  diff -rq "$runtime" "$work/release2/runtime" >/dev/null || {
    echo "update_e2e bench: release 2 is not what was installed" >&2
    exit 1
  }
  ms=$(figure run_ms "$work/round$round.out")
  echo "round $round: $ms ms (manifest $(figure manifest_ms "$work/round$round.out"), examining" \
       "$(figure examine_ms "$work/round$round.out"), download $(figure download_ms "$work/round$round.out")," \
       "swap $(figure swap_ms "$work/round$round.out") ms)"
  if [ -z "$best" ] || [ "$(calc "$ms < $best" "%d")" = 1 ]; then best=$ms best_out="$work/round$round.out"; fi
done
[ "$(figure downloaded_bytes "$best_out")" = "$file_size" ] || {
  echo "update_e2e bench: the run downloaded more than the changed file" >&2
  exit 1
}

manifest=$(figure manifest_ms "$best_out")
examine=$(figure examine_ms "$best_out")
download=$(figure download_ms "$best_out")
swap=$(figure swap_ms "$best_out")
examine_hash=$(figure examine_hash_ms "$best_out")
swap_hash=$(figure swap_hash_ms "$best_out")
hashing=$(calc "$examine_hash + $(figure download_hash_ms "$best_out") + $swap_hash" "%.0f")
copying=$(calc "$examine - $examine_hash" "%.0f")
moving=$(calc "$swap - $swap_hash" "%.0f")
echo "update of a 200 MiB runtime in $files files, one changed (best of 3): $best ms from the start of the run" \
     "to up to date"
echo "  connecting and the manifest $manifest ms; examining $examine ms; downloading the changed file $download ms;" \
     "the swap $swap ms"
echo "  where the time goes: hashing (file_matches: $(figure examine_hash_calls "$best_out") checks while" \
     "examining, $(figure swap_hash_calls "$best_out") before the swap) $hashing ms ($(calc "100 * $hashing / $best" "%.0f") %);" \
     "copying into staging (the rest of examining) $copying ms; the swap without its hashing $moving ms"
record "update: 200 MiB runtime, 2000 files, 1 changed (run to up to date)" \
       "$best ms (hashing $hashing, copying $copying, swap $moving)" "-" "-"

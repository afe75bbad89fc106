#!/usr/bin/env bash
# Runs the updates test program against the reference update server on free loopback ports, with the
# sample release signed by the manifest signer (its Windows path in ZANDOR_SAMPLE_MANIFEST) and the
# signer's verdicts on the file names of signer_names.txt (in ZANDOR_SIGNER_NAMES), and a small
# file system to fill.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../support/run_helpers.sh"
start_update_server
if /usr/bin/python3 "$root/tools/sign_manifest.py" sign --key "$here/keys/test_release_2.key" \
     --release-folder "$here/sample_release" --out "$private/sample_manifest.txt" >/dev/null; then
  export ZANDOR_SAMPLE_MANIFEST=$(windows_path "$private/sample_manifest.txt")
fi
# One release per line of signer_names.txt, each holding that one runtime file: the signer's exit
# status and complaint per path, in ZANDOR_SIGNER_NAMES ("path TAB status TAB complaint" lines).
outcomes="$private/signer_names.txt"
: > "$outcomes"
n=0
while read -r expected path; do
  case "$expected" in ''|'#'*) continue ;; esac
  n=$((n + 1))
  release="$private/names/$n"
  mkdir -p "$(dirname "$release/runtime/$path")"
  printf 'runtime file\n' > "$release/runtime/$path"
  printf 'channel client\nrelease 1\npart runtime 1 optional\n' > "$release/release.txt"
  complaint=$(/usr/bin/python3 "$root/tools/sign_manifest.py" sign --key "$here/keys/test_release_2.key" \
                --release-folder "$release" --out "$release/manifest.txt" 2>&1 >/dev/null)
  printf '%s\t%s\t%s\n' "$path" "$?" "$complaint" >> "$outcomes"
done < "$here/signer_names.txt"
export ZANDOR_SIGNER_NAMES=$(windows_path "$outcomes")
# A small file system of its own that the full-disk tests fill (ZANDOR_FULL_DISK, a Windows path);
# unmounted before the private folder goes.
full_disk="$private/full_disk"
mkdir -p "$full_disk"
if mount -t tmpfs -o size=2m zandor_full_disk "$full_disk"; then
  trap 'umount -l "$full_disk" 2>/dev/null; stop_helpers' EXIT
  export ZANDOR_FULL_DISK=$(windows_path "$full_disk")
fi
"$root/scripts/wine-run" "$1"

#!/usr/bin/env bash
# The release command (scripts/release) with a throw-away certificate and release key made here: the
# signed launcher verifies, keeps its version and runs; the manifest and the files folder agree with it;
# a launcher trusting that key updates itself from the release through the reference update server; and
# each bad input stops the command with one sentence and no OUT_DIR.
set -u
py=/usr/bin/python3
. "$(dirname "$0")/../support/run_helpers.sh"
failures=0
check() {  # WHAT COMMAND...: a failed check is reported and the run goes on
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what" >&2; failures=$((failures + 1)); fi
}

# ---- keys, certificates and a release folder -----------------------------------------------------
keys="$private/keys"
mkdir -p "$keys"
"$py" "$root/tools/sign_manifest.py" keygen --id 9 --out "$keys/release.key" > "$keys/release.entry" || fail "no release key"
"$py" "$root/tools/sign_manifest.py" keygen --id 8 --out "$keys/other.key" > "$keys/other.entry" || fail "no second key"
release_entry=$(cat "$keys/release.entry")
certificate() {  # NAME: a self-signed code signing certificate and its key
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=ZANDOR Release Test $1/O=ZANDOR" \
    -keyout "$keys/$1.key.pem" -out "$keys/$1.pem" >/dev/null 2>&1 || fail "no certificate $1"
}
certificate signing
certificate stranger
printf 'a passphrase\n' > "$keys/pass.txt"
openssl pkcs12 -export -in "$keys/signing.pem" -inkey "$keys/signing.key.pem" -passout "file:$keys/pass.txt" \
  -out "$keys/signing.p12" || fail "no PKCS#12 file"

folder="$private/release_folder"
"$py" "$root/tools/demo/services.py" make-release --out "$folder" || fail "no release folder"
printf 'release 7\npart launcher 5 required\n' >> "$folder/release.txt"
sed -i 's/^release 1$//' "$folder/release.txt"
folder_before=$(cd "$folder" && find . -type f -exec sha512sum {} + | sort)

# The test build's service constants (its account server key and web site), trusting the new key.
constant() { sed -n "s|^set($1 \"\\([^\"]*\\)\".*|\\1|p" "$root/tests/test_config.cmake"; }
defines=(-DZANDOR_SERVER_ADDRESS="$(constant ZANDOR_SERVER_ADDRESS)" -DZANDOR_WEB_BASE="$(constant ZANDOR_WEB_BASE)"
         -DZANDOR_LINK_KEYS="$(constant ZANDOR_LINK_KEYS)" -DZANDOR_RELEASE_KEYS="$release_entry")
web_base=$(constant ZANDOR_WEB_BASE)

# ---- one release ----------------------------------------------------------------------------------
out="$private/published/r7"
mkdir -p "$private/published"
"$root/scripts/release" "$out" --release-folder "$folder" --release-key "$keys/release.key" \
  --cert "$keys/signing.pem" --cert-key "$keys/signing.key.pem" "${defines[@]}" > "$private/summary.txt" 2>&1 \
  || { cat "$private/summary.txt"; fail "scripts/release failed"; }
cat "$private/summary.txt"
exe="$out/release/launcher/ZANDOR Launcher.exe"
digest=$(sha512sum "$exe" | cut -d' ' -f1)

verifies() { osslsigncode verify -CAfile "$keys/signing.pem" -in "$1" > "$private/verify.log" 2>&1; }
names_signature() {
  grep -q 'Text description: ZANDOR Launcher' "$private/verify.log" && grep -q "URL description: $web_base" "$private/verify.log" \
    && grep -q 'Message digest algorithm  : SHA256' "$private/verify.log"
}
check "the signed launcher verifies with osslsigncode" verifies "$exe"
check "the signature names the program, the web site and SHA-256" names_signature
check "the signed launcher still reads version 1.4.0" \
  test "$("$py" "$root/tools/release/publish.py" exe-version "$exe")" = 1.4.0
check "the web site's copy is the same signed exe" cmp -s "$exe" "$out/ZANDOR Launcher.exe"
check "the manifest verifies with the release key" \
  "$py" "$root/tools/sign_manifest.py" verify --public "$release_entry" "$out/manifest.txt"
check "the manifest lists the signed launcher's digest" \
  grep -q "^file	launcher	ZANDOR Launcher.exe	[0-9]*	$digest\$" "$out/manifest.txt"
listed=$(awk -F'\t' '$1 == "file" { print tolower($5) }' "$out/manifest.txt" | sort -u)
served=$(cd "$out/files" && ls | sort)
check "the files folder holds exactly the manifest's files" test "$listed" = "$served"
named_by_digest() { (cd "$out/files" && for f in *; do [ "$(sha512sum "$f" | cut -d' ' -f1)" = "$f" ] || return 1; done); }
check "each served file is named by its SHA-512" named_by_digest
check "the given release folder is unchanged" \
  test "$(cd "$folder" && find . -type f -exec sha512sum {} + | sort)" = "$folder_before"
check "the summary names release, channel, parts, subject and digest" \
  grep -q "release 7 on channel client" "$private/summary.txt"
check "the summary lists the launcher part" grep -Eq '^  launcher +version 5 +required +1 file' "$private/summary.txt"
check "the summary names the certificate's subject" grep -q 'subject: O=ZANDOR,CN=ZANDOR Release Test signing' "$private/summary.txt"
check "the summary shows the signed launcher's SHA-512" grep -q "SHA-512: $digest" "$private/summary.txt"
check "nothing is left beside OUT_DIR" test "$(ls -A "$private/published")" = r7

# The same certificate as a PKCS#12 file with a passphrase.
"$root/scripts/release" "$private/published/p12" --release-folder "$folder" --release-key "$keys/release.key" \
  --pkcs12 "$keys/signing.p12" --pass-file "$keys/pass.txt" "${defines[@]}" > "$private/p12.txt" 2>&1
check "a release signed from a PKCS#12 file verifies" verifies "$private/published/p12/ZANDOR Launcher.exe"

# ---- the launcher updates itself from this release ------------------------------------------------
# The same build without its signature: it trusts the release key, and its digest differs from the
# release's launcher, so it fetches that one and swaps it in.
web_port=$(test_web_port)
use_screen
# The ports are fixed in the launcher: wait for another run that holds them.
wait_for_free_ports 20292 20293 "$web_port"
"$py" "$root/tools/demo/services.py" make-site --root "$private/site" || fail "no web pages"
start_account_server --link-port 20293
start_update_server --port 20292 --release "$out"
start_web_site "$private/site"
"$py" "$root/tools/demo/services.py" script-account --control "$ZANDOR_ACCOUNT_CONTROL" --base "$web_base" --known-pc \
  || fail "the account server is not scripted"
[ -f "${WINEPREFIX:-$root/build/wineprefix}/system.reg" ] || fail "no Wine prefix: run scripts/test once"
use_private_prefix

game="$private/game"
mkdir -p "$game/ombrix_data/updates"
osslsigncode remove-signature -in "$exe" -out "$game/ZANDOR Launcher.exe" >/dev/null || fail "no unsigned launcher"
printf '{\n "channel": "client",\n "bots_wanted": 0,\n "format": 1\n}\n' > "$game/ombrix_data/updates/installed.json"
log="$game/ombrix_data/updates/launcher.log"
run_launcher() {  # the launcher of the game folder with --no-game, until it ends by itself
  (cd "$game" && timeout 300 "$root/scripts/wine-run" "$game/ZANDOR Launcher.exe" --no-game) >> "$private/wine.out" 2>&1
}
launcher_is_signed() { test "$(sha512sum "$game/ZANDOR Launcher.exe" | cut -d' ' -f1)" = "$digest"; }
run_launcher
check "the launcher's first run ends with exit code 0" test $? = 0
check "the running launcher was not replaced under itself" grep -q 'launcher waits for the next start (the new launcher takes this one.s place once it has closed)' "$log"
# The running launcher is replaced in one move by a command that waits for it to end.
for wait in $(seq 120); do launcher_is_signed && break; sleep 0.5; done
check "the signed launcher took the old one's place once it had ended" launcher_is_signed
check "the first run logged a finished update" grep -q 'shown: ZANDOR is up to date' "$log"
: > "$log"
run_launcher
check "the signed launcher runs with --no-game (exit code 0)" test $? = 0
check "the signed launcher starts as version 1.4.0" grep -q 'ZANDOR Launcher 1.4.0 started' "$log"
check "the signed launcher finds itself up to date" grep -q 'shown: ZANDOR is up to date' "$log"
check "the signed launcher records itself as installed" grep -q 'waiting parts: launcher version 5 swapped in' "$log"
[ $failures = 0 ] || { echo "--- launcher.log"; cat "$log"; }

# ---- bad inputs -------------------------------------------------------------------------------------
# Each stops the command with one sentence naming the problem and leaves no OUT_DIR (nor a temporary
# folder) behind; a release already there is left as it was.
refused="$private/refused"
mkdir -p "$refused/not_jar/bots" "$refused/own_exe/launcher"
cp -a "$folder/." "$refused/not_jar/"
printf 'notes\n' > "$refused/not_jar/bots/readme.txt"
cp -a "$folder/." "$refused/own_exe/"
printf 'MZ another build\n' > "$refused/own_exe/launcher/ZANDOR Launcher.exe"
mkdir -p "$keys/a_folder"
manifest_before=$(sha512sum "$out/manifest.txt")

bad() {  # WHAT EXPECTED [--option value | -DNAME=VALUE | OUT=DIR]...: the given ones replace the good ones
  local what=$1 expected=$2 target="$private/bad/out"
  shift 2
  declare -A given=([--release-folder]="$folder" [--release-key]="$keys/release.key"
                    [--cert]="$keys/signing.pem" [--cert-key]="$keys/signing.key.pem")
  local extra=("${defines[@]}")
  while [ $# -gt 0 ]; do
    case "$1" in
      OUT=*) target=${1#OUT=}; shift ;;
      -D*) extra+=("$1"); shift ;;
      *) given[$1]=$2; shift 2 ;;
    esac
  done
  local args=("$target") option
  for option in "${!given[@]}"; do args+=("$option" "${given[$option]}"); done
  rm -rf "$private/bad" && mkdir -p "$private/bad"
  "$root/scripts/release" "${args[@]}" "${extra[@]}" > "$private/bad.out" 2> "$private/bad.err"
  local status=$? lines
  lines=$(wc -l < "$private/bad.err")
  if [ $status = 1 ] && [ "$lines" = 1 ] && grep -qF -- "$expected" "$private/bad.err" \
     && { [ "$target" != "$private/bad/out" ] || [ -z "$(ls -A "$private/bad")" ]; } \
     && [ -z "$(ls -A "$(dirname "$out")" | grep partial)" ]; then
    echo "ok: $what: $(cat "$private/bad.err")"
  else
    echo "FAILED: $what (exit $status): $(cat "$private/bad.err")" >&2
    failures=$((failures + 1))
  fi
}
#   what                                    the sentence holds                                  what differs
bad "release key missing"                   "release key $keys/none.key does not exist"         --release-key "$keys/none.key"
bad "release key unreadable (a folder)"     "release key $keys/a_folder is not a file"          --release-key "$keys/a_folder"
bad "release key of another kind"           "is not a release key file"                         --release-key "$keys/signing.pem"
bad "certificate missing"                   "certificate $keys/none.pem does not exist"         --cert "$keys/none.pem"
bad "certificate not a certificate"         "is not a PEM certificate"                          --cert "$keys/release.key"
bad "certificate key missing"               "certificate key $keys/none.key.pem does not exist" --cert-key "$keys/none.key.pem"
bad "certificate key not a key"             "is not a PEM private key"                          --cert-key "$keys/signing.pem"
bad "certificate not matching its key"      "does not match the key"                            --cert-key "$keys/stranger.key.pem"
bad "PKCS#12 passphrase not given"          "cannot be opened"                                  --cert "" --cert-key "" --pkcs12 "$keys/signing.p12"
bad "a release the signer refuses"          "refuses the release folder $refused/not_jar: the bots part holds only .jar files" \
                                                                                                --release-folder "$refused/not_jar"
bad "launcher/ holding a different exe"     "already holds a different ZANDOR Launcher.exe"     --release-folder "$refused/own_exe"
bad "a launcher not trusting the key"       "would not trust the release key"                   -DZANDOR_RELEASE_KEYS="$(cat "$keys/other.entry")"
bad "OUT_DIR already holding a release"     "$out already holds a release"                      OUT="$out"
check "the release already there is unchanged" test "$(sha512sum "$out/manifest.txt")" = "$manifest_before"

[ $failures = 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
echo "all checks passed"

# Helpers shared by the benchmark scripts (sourced, not run), on top of the shell helpers of
# scripts/lib.sh.
#
# The build the benchmarks run (BENCH_ARCH): i686, the launcher as shipped, or x86_64, the same code
# built as 64-bit Windows programs (scripts/build --x86-64), which run natively under 64-bit Wine on
# machines that run 32-bit code only through an emulator. BENCH_NATIVE=0 says the build runs emulated.

. "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib.sh"

bench_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
bench_use_arch() {  # ARCH
  bench_arch=$1
  bench_cxx=$bench_arch-w64-mingw32-g++-posix
  bench_sodium="$bench_root/build/deps/libsodium-$bench_arch"
  case $bench_arch in
    x86_64) bench_build_name=x86-64 ;;
    *) bench_build_name=$bench_arch ;;
  esac
}
bench_use_arch "${BENCH_ARCH:-i686}"

# record FIGURE VALUE GOAL VERDICT: one row of the summary table that scripts/bench prints at the end
# (appended to $BENCH_RESULTS when it is set), with the build it ran on and whether it ran natively.
# GOAL is "-" and VERDICT "-" where no goal is given. A figure of the launcher's code measured under
# the user-mode emulator says how fast the emulator is, so it is given no verdict.
record() {
  local verdict=$4 how=native
  if [ "${BENCH_NATIVE:-1}" = 0 ]; then
    how=emulated
    [ "$verdict" != "-" ] && verdict="not judged (emulated)"
  fi
  if [ -n "${BENCH_RESULTS:-}" ]; then
    printf '%s\t%s\t%s\t%s\t%s\n' "$1" "$bench_build_name $how" "$2" "$3" "$verdict" >> "$BENCH_RESULTS"
  fi
}

# record_native FIGURE VALUE GOAL VERDICT: a row for a figure of native code (the update server, the
# programs it is compared with), which the emulator does not touch: the verdict stands as given.
record_native() {
  if [ -n "${BENCH_RESULTS:-}" ]; then
    printf '%s\t%s\t%s\t%s\t%s\n' "$1" "Linux x86-64 native" "$2" "$3" "$4" >> "$BENCH_RESULTS"
  fi
}

# at_least VALUE LIMIT: "met" when VALUE >= LIMIT.
at_least() {
  if [ -z "$1" ]; then echo "not measured"; return; fi
  awk -v v="$1" -v l="$2" 'BEGIN { print (v + 0 >= l + 0) ? "met" : "not met" }'
}

# at_most VALUE LIMIT: "met" when VALUE <= LIMIT, else "not met" ("not measured" when VALUE is empty).
at_most() {
  if [ -z "$1" ]; then echo "not measured"; return; fi
  awk -v v="$1" -v l="$2" 'BEGIN { print (v + 0 <= l + 0) ? "met" : "not met" }'
}

# below VALUE LIMIT: "met" when VALUE < LIMIT.
below() {
  if [ -z "$1" ]; then echo "not measured"; return; fi
  awk -v v="$1" -v l="$2" 'BEGIN { print (v + 0 < l + 0) ? "met" : "not met" }'
}

# calc EXPRESSION: awk arithmetic, printed with the given format (default %.2f). The expression goes in
# parentheses: a bare "a > b" would be awk's redirection of printf into a file named b.
calc() {
  awk "BEGIN { printf \"${2:-%.2f}\", ($1) }"
}

# figure NAME FILE: the value of a "@NAME value" line that a benchmark program printed.
figure() {
  sed -n "s/^@$1 //p" "$2" | tr -d '\r' | tail -n 1
}

# The launcher library built with the test configuration (test release and link keys), shared by
# the benchmarks that link against it: the first build goes through scripts/build, later ones only
# bring the library and the launcher up to date.
bench_library() {  # ROOT OUT
  local build="$2/launcher" flag=()
  [ "$bench_arch" = x86_64 ] && flag=(--x86-64)
  if [ -f "$build/build.ninja" ] && [ -f "$build/libzandor.a" ]; then
    cmake --build "$build" --target zandor launcher stub_game_tool >/dev/null
  else
    "$1/scripts/build" "${flag[@]}" "$build" -C "$1/tests/test_config.cmake" >/dev/null
  fi
  echo "$build"
}

# Links a benchmark source against the library: bench_link ROOT BUILD OUTPUT SOURCE...
bench_link() {
  local root=$1 build=$2 output=$3
  shift 3
  local sodium="$root/build/deps/libsodium-$bench_arch" openssl="$root/build/deps/openssl-$bench_arch"
  "$bench_cxx" -std=c++17 -O2 -Wall -fno-exceptions -fno-rtti -static -DSODIUM_STATIC=1 \
    -DWINVER=0x0601 -D_WIN32_WINNT=0x0601 -I "$root/src" -I "$build/generated" -I "$sodium/include" \
    -I "$openssl/include" "$@" "$build/libzandor.a" "$sodium/lib/libsodium.a" "$openssl/lib/libcrypto.a" \
    -lws2_32 -lwininet -ladvapi32 -lcrypt32 -lshell32 -lole32 -luuid -lcomctl32 -lcomdlg32 -lgdi32 -luser32 \
    -lmsimg32 -lversion -lpsapi -lbcrypt -o "$output"
}

# bench_work NAME: a temporary folder in $work; it and the helper processes listed in $pids are gone
# when the script ends.
bench_work() {
  work=$(mktemp -d "/tmp/$1.XXXXXX")
  pids=()
  trap bench_work_cleanup EXIT
}
bench_work_cleanup() {
  stop_processes "${pids[@]}"
  rm -rf "$work"
}

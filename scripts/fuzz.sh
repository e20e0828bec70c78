#!/usr/bin/env bash
# Builds the libFuzzer target over the result and library readers with clang (in
# build-fuzz/), seeds it with files the program makes itself (a whole run's temp.qkt,
# a library of it, the sample library) and fuzzes for a fixed time.
#
#   scripts/fuzz.sh [SECONDS]        (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
seconds=${1:-60}
root=$PWD
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORN_FUZZ=ON \
    -DVORN_WERROR=ON -DVORN_BUILD_TESTS=OFF -DVORN_BUILD_BENCHMARKS=OFF -DVORN_BUILD_GUI=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target vorn_fuzz_results qkvorn-cli

corpus=build-fuzz/corpus
work=$(mktemp -d "${TMPDIR:-/tmp}/vorn-fuzz-seed.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$corpus"
cp samples/qkvorn-samples.qkl "$corpus/"
( cd "$work" && truncate -s 32M seed.img &&
  ASAN_OPTIONS=detect_leaks=0 "$root/build-fuzz/qkvorn-cli" run --device seed.img --write --yes >/dev/null 2>&1 &&
  cp temp.qkt "$root/$corpus/run.qkt" &&
  "$root/build-fuzz/qkvorn-cli" library "$root/$corpus/run.qkl" temp.qkt >/dev/null )

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# Inputs grow to 64 KB: enough for a library of several members.
build-fuzz/vorn_fuzz_results -max_total_time="$seconds" -max_len=65536 -print_final_stats=1 \
    "$corpus" 2>&1 | tee build-fuzz/fuzz.log | grep -E "DONE|stat::|INFO: seed|ERROR|SUMMARY" || true
# libFuzzer exits non-zero on a finding; tee hides it, so look at the log.
! grep -qE "ERROR: (AddressSanitizer|libFuzzer|UndefinedBehaviorSanitizer)|runtime error:" build-fuzz/fuzz.log

#!/usr/bin/env bash
# Fuzzes the index reader and the checks on server input with libFuzzer
# (clang), each for the given number of seconds (default 60), starting from
# the committed seed corpus. Findings land in build-fuzz/findings/.
#
#   scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/ensure_packages.sh
seconds=${1:-60}
ensure_packages cmake ninja-build clang libclang-rt-dev pkg-config libcurl4-openssl-dev \
    libgcrypt20-dev libutf8proc-dev
build=${BUILD_DIR:-build-fuzz}
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVELMORA_BUILD_FUZZERS=ON -DVELMORA_BUILD_GUI=OFF -DVELMORA_BUILD_TESTS=OFF \
    -DVELMORA_SANITIZE="fuzzer-no-link,address,undefined" >/dev/null
cmake --build "$build" -j2 --target index_fuzzer server_input_fuzzer
mkdir -p "$build/findings"
for fuzzer in index_fuzzer server_input_fuzzer; do
    corpus="$build/corpus/$fuzzer"
    mkdir -p "$corpus"
    seeds="fuzz/corpus/${fuzzer%_fuzzer}"
    echo "== $fuzzer for $seconds s"
    "$build/fuzz/$fuzzer" -max_total_time="$seconds" -max_len=65536 -print_final_stats=1 \
        -artifact_prefix="$build/findings/$fuzzer-" "$corpus" "$seeds" 2>&1 |
        grep -E '^(#[0-9]+ *DONE|stat::number_of_executed_units|stat::peak_rss_mb|==[0-9]+==ERROR|SUMMARY)' || true
done
[ -z "$(find "$build/findings" -mindepth 1 -print -quit)" ] ||
    { echo "findings in $build/findings"; exit 1; }
echo "no findings"

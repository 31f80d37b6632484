#!/usr/bin/env bash
# Builds the rule fuzzers natively with clang, or runs one of them for a bounded time.
#   run.sh build <work dir>
#   run.sh run <work dir> <fuzzer> <seconds>
# Exits with 77 (a skip for ctest) when clang or its fuzzer runtime is missing.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
skip=77

build() {
    local work=$1
    if ! command -v clang++ >/dev/null; then
        echo "SKIP: clang++ is not installed (scripts/install-deps.sh installs it)"
        exit $skip
    fi
    if ! echo 'extern "C" int LLVMFuzzerTestOneInput(const char*, unsigned long) { return 0; }' |
        clang++ -x c++ -fsanitize=fuzzer -o /dev/null - 2>/dev/null; then
        echo "SKIP: clang++ cannot link libFuzzer (the libclang-rt dev package is missing)"
        exit $skip
    fi
    cmake -S "$here" -B "$work/build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug >/dev/null
    cmake --build "$work/build" -j2
}

run() {
    local work=$1 fuzzer=$2 seconds=$3
    local binary="$work/build/$fuzzer"
    [ -x "$binary" ] || { echo "SKIP: $binary was not built"; exit $skip; }
    # A fresh corpus each run: nothing found before decides what is explored now.
    local corpus="$work/corpus/$fuzzer"
    rm -rf "$corpus" "$work/crash-$fuzzer"
    mkdir -p "$corpus" "$work/crash-$fuzzer"
    local name=${fuzzer%_fuzzer}
    local dict=()
    [ -f "$here/$name.dict" ] && dict=(-dict="$here/$name.dict")
    "$binary" "${dict[@]}" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -max_len=4096 -print_final_stats=1 -artifact_prefix="$work/crash-$fuzzer/" "$corpus"
}

case ${1:-} in
    build) build "$2" ;;
    run) run "$2" "$3" "$4" ;;
    *) echo "usage: $0 build <work dir> | run <work dir> <fuzzer> <seconds>" >&2; exit 2 ;;
esac

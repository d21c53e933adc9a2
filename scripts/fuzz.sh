#!/usr/bin/env bash
# Builds the interface fuzz target with clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer (in build-fuzz) and runs it for SECONDS seconds (default 60) on the
# committed corpus. New inputs go to build-fuzz/corpus; a failing input is written to
# build-fuzz/ and the script fails. As root it installs clang and the libFuzzer runtime when
# they are missing.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
scripts/install-deps.sh
if ! command -v clang++ >/dev/null 2>&1 || ! dpkg -s libclang-rt-dev >/dev/null 2>&1; then
    if [[ $(id -u) -ne 0 ]]; then
        echo "fuzz: clang++ and libclang-rt-dev are needed (apt-get install clang libclang-rt-dev)" >&2
        exit 1
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends clang libclang-rt-dev
fi
launcher=()
if command -v ccache >/dev/null 2>&1; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DOLVAR_SANITIZE=ON -DOLVAR_BUILD_FUZZ=ON -DOLVAR_BUILD_TESTS=OFF -DOLVAR_BUILD_BENCH=OFF \
    -DOLVAR_BUILD_TOOLS=OFF -DOLVAR_WERROR=OFF "${launcher[@]}" >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target olvar_fuzz
mkdir -p build-fuzz/corpus
# One process, one input at a time: the library's process-wide values (warm-up count, motion
# limit) carry over between inputs, as they do in a host that creates several trackers.
./build-fuzz/tests/fuzz/olvar_fuzz build-fuzz/corpus tests/fuzz/corpus \
    -max_total_time="$seconds" -max_len=16384 -timeout=120 -rss_limit_mb=4096 \
    -artifact_prefix=build-fuzz/ -print_final_stats=1

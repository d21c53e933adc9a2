#!/usr/bin/env bash
# Builds everything and runs all tests. With --sanitize the build uses AddressSanitizer and
# UndefinedBehaviorSanitizer (in build-asan). With --threads only the tests of trackers on
# several threads are built and run, under ThreadSanitizer (in build-tsan).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
dir=build
args=(-DCMAKE_BUILD_TYPE=Release)
targets=()
select=()
case "${1:-}" in
--sanitize)
    dir=build-asan
    args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DOLVAR_SANITIZE=ON)
    ;;
--threads)
    dir=build-tsan
    args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DOLVAR_SANITIZE=thread -DOLVAR_BUILD_BENCH=OFF
        -DOLVAR_BUILD_TOOLS=OFF)
    targets=(--target olvar_thread_tests)
    select=(-L threads)
    ;;
esac
cmake -S . -B "$dir" "${args[@]}" >/dev/null
cmake --build "$dir" -j"$(nproc)" "${targets[@]}"
ctest --test-dir "$dir" --output-on-failure -j"$(nproc)" "${select[@]}"

#!/usr/bin/env bash
# Builds everything and runs all tests. With --sanitize the build uses AddressSanitizer and
# UndefinedBehaviorSanitizer (in build-asan).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
dir=build
args=(-DCMAKE_BUILD_TYPE=Release)
if [[ "${1:-}" == "--sanitize" ]]; then
    dir=build-asan
    args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DOLVAR_SANITIZE=ON)
fi
cmake -S . -B "$dir" "${args[@]}" >/dev/null
cmake --build "$dir" -j"$(nproc)"
ctest --test-dir "$dir" --output-on-failure -j"$(nproc)"

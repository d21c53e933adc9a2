#!/usr/bin/env bash
# Builds the library and runs olvar-demo (by default on the built-in scene; extra arguments go to
# the demo).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target olvar-demo
./build/tools/demo/olvar-demo "$@"

#!/usr/bin/env bash
# Installs what the build needs on Debian 12 when it is missing (run as root).
set -euo pipefail
packages=(g++ cmake make pkg-config libopencv-dev googletest libgtest-dev libbenchmark-dev
    # the Python package, its tests and its example (for Debian's /usr/bin/python3)
    pybind11-dev python3-dev python3-numpy python3-pytest python3-opencv)
missing=()
for p in "${packages[@]}"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if ((${#missing[@]})); then
    echo "installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

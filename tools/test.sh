#!/usr/bin/env bash
# Builds everything and runs every test: native unit tests (plain and under ASan/UBSan),
# the catalogue server's tests, and the end-to-end tests of Tessaloom.exe under Wine.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${TESSALOOM_BUILD_DIR:-$root/build}

bash "$root/tools/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja
cmake --build "$build" -j "$(nproc)"
cd "$build"
ctest --output-on-failure -j 2

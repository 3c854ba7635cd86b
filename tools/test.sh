#!/usr/bin/env bash
# Builds slash with warnings as errors and runs every test. The window tests
# start their own Xvfb; no display is needed.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${SLASH_BUILD_DIR:-build-test}
cmake -S . -B "$build" -G Ninja -DSLASH_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build"
ctest --test-dir "$build" --output-on-failure

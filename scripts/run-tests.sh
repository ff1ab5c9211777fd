#!/usr/bin/env bash
# Runs every test of one build folder through CTest.
set -euo pipefail
build=${1:-build}
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure -j 2 --timeout 900

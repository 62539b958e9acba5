#!/usr/bin/env bash
# Installs what is missing, builds everything and runs all tests: the suite
# in a Release build; with --full, then under the sanitizers
# (scripts/test-sanitizers.sh), a one-minute fuzzing run over the exports
# (scripts/fuzz.sh) and a short soak under valgrind memcheck
# (scripts/valgrind-soak.sh). CI runs --full.
# Usage: scripts/test.sh [--full]   (--full: also the sanitizer, fuzzing and valgrind runs)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$(nproc)"
ctest --test-dir build -j"$(nproc)" --output-on-failure
if [ "${1:-}" != "--full" ]; then exit 0; fi
scripts/test-sanitizers.sh
scripts/fuzz.sh 60
scripts/valgrind-soak.sh 30

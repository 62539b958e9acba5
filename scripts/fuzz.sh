#!/usr/bin/env bash
# Builds the export fuzzer with clang (libFuzzer + AddressSanitizer +
# UndefinedBehaviorSanitizer) in build-fuzz and runs it over the committed
# corpus for a fixed time. New inputs go to build-fuzz/corpus, crashes to
# build-fuzz/artifacts; a crash or a broken invariant fails the run.
# Usage: scripts/fuzz.sh [seconds, default 60] [extra libFuzzer flags...]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
seconds=${1:-60}
shift || true

cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
      -DQUEXAL_SANITIZE=address,undefined -DQUEXAL_BUILD_FUZZ=ON \
      -DQUEXAL_BUILD_TESTS=OFF -DQUEXAL_BUILD_BENCH=OFF -DQUEXAL_BUILD_TOOLS=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target export_fuzzer

export ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=1:detect_stack_use_after_return=1"
export LSAN_OPTIONS="suppressions=$root/scripts/sanitizers/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
mkdir -p build-fuzz/corpus build-fuzz/artifacts
echo "== export fuzzer: ${seconds} s"
build-fuzz/export_fuzzer -max_total_time="$seconds" -max_len=1024 -timeout=20 \
    -rss_limit_mb=4096 -print_final_stats=1 -artifact_prefix=build-fuzz/artifacts/ \
    "$@" build-fuzz/corpus fuzz/corpus

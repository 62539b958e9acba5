#!/usr/bin/env bash
# Runs the soak host under valgrind memcheck on a short run of every effect,
# the video background playing in two of them, and fails on any memory
# error or on memory definitely or indirectly lost once the library has
# been unloaded (dlclose). Needs the Release build in build/ (scripts/test.sh
# makes it). Usage: scripts/valgrind-soak.sh [frames per effect, default 40]
set -euo pipefail
cd "$(dirname "$0")/.."
frames=${1:-40}
cmake --build build -j"$(nproc)" --target quexal soak_host >/dev/null
log=build/valgrind-soak.log
echo "== valgrind memcheck: soak host, ${frames} frames an effect (log: $log)"
valgrind --tool=memcheck --leak-check=full --show-leak-kinds=definite,indirect \
    --errors-for-leak-kinds=definite,indirect --error-exitcode=1 --keep-debuginfo=yes \
    --num-callers=30 --suppressions=scripts/sanitizers/valgrind.supp --log-file="$log" \
    build/soak_host --lib build/libquexal.so --data build --frames "$frames" --no-rss-check \
  && status=0 || status=$?
grep -E "ERROR SUMMARY|definitely lost|indirectly lost|possibly lost|still reachable" "$log" || true
[ "$status" -eq 0 ] || { echo "valgrind found errors: see $log"; exit "$status"; }

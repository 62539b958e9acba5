#!/usr/bin/env bash
# Builds and runs the element benchmark on one core (core 0 unless given):
# the elements' overhead over the library at 1280x720, and a live 30 fps
# 1280x720 pipeline through each element.
# Usage: gst/bench/run.sh [build-dir] [core]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
core=${2:-0}
cmake --build "$build" --target quexal_gst_bench gstquexal >/dev/null
export GST_REGISTRY="$build/gst/bench-registry.bin"
taskset -c "$core" "$build/quexal_gst_bench"

#!/usr/bin/env bash
# Installs what is missing, builds the library and the command-line host,
# and runs every effect on the embedded sample clip. Outputs go to out/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DQUEXAL_BUILD_BENCH=OFF
cmake --build build -j"$(nproc)" --target quexal quexal_cli
build/quexal demo --out out "$@"

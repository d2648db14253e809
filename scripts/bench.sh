#!/usr/bin/env bash
# Builds and runs the micro-benchmarks (Release build in build-bench/ or $BUILD_DIR).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-bench}
"$root/scripts/deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target bench -j 2

# Text layer: replacement and list splitting on page-like text.
"$build/bench/bench_text"

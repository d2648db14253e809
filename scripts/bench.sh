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

# Scanners: fax extraction on 100 MB of page text (MB/s on one core), the
# step-by-step computation on 10 MB for comparison, and the duplicate test with
# 1,000 / 10,000 / 100,000 numbers already in the fax list (time per new number).
"$build/bench/bench_scan"

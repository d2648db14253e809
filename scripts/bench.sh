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

# Tools: the merge of 5 files x 200,000 lines (about 60% distinct) next to GNU sort
# on the same lines, and the generation of 1,000,000 URL lines.
merge_data=$(mktemp -d)
"$build/bench/bench_tools" --write-merge-data="$merge_data"
echo "GNU sort on the same 1,000,000 lines, wall time:"
TIMEFORMAT='  LC_ALL=C sort -f -u, code page 936 files: %R s'
time LC_ALL=C sort -f -u "$merge_data"/in?.txt -o "$merge_data/sort-c.txt"
# The C.UTF-8 locale would misread code page 936 bytes, so it sorts UTF-8 copies.
TIMEFORMAT='  LC_ALL=C.UTF-8 sort -f -u, UTF-8 copies: %R s'
time LC_ALL=C.UTF-8 sort -f -u "$merge_data"/utf8-in?.txt -o "$merge_data/sort-utf8.txt"
rm -rf "$merge_data"
"$build/bench/bench_tools"

# Scanners: fax extraction on 100 MB of page text (MB/s on one core), the
# step-by-step computation on 10 MB for comparison, and the duplicate test with
# 1,000 / 10,000 / 100,000 numbers already in the fax list (time per new number).
"$build/bench/bench_scan"

# Crawl driver: its own cost per page (handler time, and wall time beyond the
# 1 s page interval) over a 200-page crawl at speed 1 through the real window
# and WebEngine, pages served on 127.0.0.1. About 3.5 minutes.
crawl_home=$(mktemp -d)
mkdir -m 700 "$crawl_home/run"
if ! HOME="$crawl_home" XDG_RUNTIME_DIR="$crawl_home/run" XDG_CACHE_HOME="$crawl_home/cache" \
     XDG_DATA_HOME="$crawl_home/data" QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES=qt.webenginecontext=false \
     "$build/bench/bench_crawl" --pages=200 2>"$crawl_home/stderr.log"; then
  cat "$crawl_home/stderr.log" >&2
  rm -rf "$crawl_home"
  exit 1
fi
rm -rf "$crawl_home"

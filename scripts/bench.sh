#!/usr/bin/env bash
# Builds and runs the benchmarks (Release build in build-bench/ or $BUILD_DIR).
# Usage: bench.sh [PART...], PART one of text tools scan save crawl window lanes soak web site
# (all of them but web and site by default, in that order).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-bench}
parts=${*:-text tools scan save crawl window lanes soak}
wants() { [[ " $parts " == *" $1 "* ]]; }
"$root/scripts/deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target bench -j 2

# Runs a program headless with a home of its own, removed afterwards; its
# stderr is shown only when it fails.
headless() {
  local home status=0
  home=$(mktemp -d)
  mkdir -m 700 "$home/run"
  HOME="$home" XDG_RUNTIME_DIR="$home/run" XDG_CACHE_HOME="$home/cache" XDG_DATA_HOME="$home/data" \
    QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES=qt.webenginecontext=false "$@" 2>"$home/stderr.log" || status=$?
  [ "$status" -eq 0 ] || cat "$home/stderr.log" >&2
  rm -rf "$home"
  return "$status"
}

# Text layer: replacement and list splitting on page-like text.
if wants text; then
  "$build/bench/bench_text"
fi

# Tools: the merge of 5 files x 200,000 lines (about 60% distinct) next to GNU sort
# on the same lines, and the generation of 1,000,000 URL lines.
if wants tools; then
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
fi

# Scanners: fax extraction on 100 MB of page text (MB/s on one core), the
# step-by-step computation on 10 MB for comparison, and the duplicate test with
# 1,000 / 10,000 / 100,000 numbers already in the fax list (time per new number).
if wants scan; then
  "$build/bench/bench_scan"
fi

# Saving: one autosave of 1,000 new results when 10,000, 100,000 and 1,000,000
# are saved already, appended as a save does, beside a whole rewrite.
if wants save; then
  "$build/bench/bench_save"
fi

# The search in the window: its own cost per page (handler time, and wall time beyond the
# 1 s page interval) over a 200-page crawl at speed 1 through the real window
# and WebEngine, pages served on 127.0.0.1. About 3.5 minutes.
if wants crawl; then
  headless "$build/bench/bench_crawl" --pages=200
fi

# The window with 4 and 8 pages at once ("同时打开") at speed 1: pages per
# second over the same 200 pages (one page at once is the crawl part above).
if wants window; then
  for n in 4 8; do
    headless "$build/bench/bench_crawl" --pages=200 --lanes=$n
  done
  # Its site crawl: a directory page and 200 pages at depth 1, 8 at once, beside
  # vqharvest crawl --depth 1 with 8 lanes (pages/s and peak tree PSS).
  [ -x "$build/bench/bench_window_site" ] && headless "$build/bench/bench_window_site" --pages=200 --lanes=8
fi

# vqharvest crawl with lanes: pages per second and peak memory of the whole
# process tree over 200 pages of 15 KB at --speed 0 and 1, 2, 4, 8 and 16 lanes,
# and a bare WebEngine loop with 1 and 8 pages at once. About 2 minutes.
if wants lanes; then
  headless "$build/bench/bench_harvest" lanes --pages=200 --lanes=1,2,4,8,16
fi

# vqharvest crawl over 1,000 pages at --speed 0, 1 and 8 lanes, --fax only:
# memory of vqharvest and of the whole tree after 100, 500 and 1,000 pages,
# and the ratios 1000/100. About 3 minutes.
if wants soak; then
  headless "$build/bench/bench_harvest" soak --pages=1000 --lanes=1,8
fi

# vqharvest crawl over a simulated slice of the web: 600 pages on 60 loopback
# hosts with latency, pictures, late scripts and faults, at 1, 8, 16, 32 and 64
# lanes; beside it Crawlee's PuppeteerCrawler and AdaptivePlaywrightCrawler
# (pictures blocked, --disable-gpu, their default retries) at concurrency 16
# and 32 when Node
# and Debian's chromium are present (Crawlee is installed from npm into the
# build folder). About 10 to 15 minutes. BENCH_WEB_ARGS adds arguments.
if wants web; then
  general=()
  if command -v node >/dev/null && command -v npm >/dev/null && [ -x /usr/bin/chromium ]; then
    node_dir="$build/general-crawler"
    mkdir -p "$node_dir"
    cp "$root/bench/general_crawler.mjs" "$root/bench/trace_renderers.mjs" "$node_dir/"
    if [ -d "$node_dir/node_modules/playwright-core" ] ||
       (cd "$node_dir" && PUPPETEER_SKIP_DOWNLOAD=1 npm install --no-audit --no-fund --silent crawlee@3 puppeteer@22 playwright-core@1 >/dev/null 2>&1); then
      general=(--general="$node_dir")
    else
      echo "bench.sh: Crawlee could not be installed; the general crawler is left out" >&2
    fi
  fi
  # shellcheck disable=SC2086
  headless "$build/bench/bench_web" "${general[@]}" ${BENCH_WEB_ARGS:-}
fi

# Crawls that follow links (bench_site): a site of 10,000 pages on 20 loopback
# hosts (127.0.2.x) crawled to depth 3 at 8 lanes beside a list crawl of the
# same pages; a list crawl of BENCH_SITE_LINES lines (default 100,000) with
# --frontier and without; a crawl killed with SIGKILL at a random page and
# resumed. The site takes about 35 minutes at 20 pages/s, the long list twice
# its length (100,000 lines: nearly 3 hours at 20 pages/s).
# BENCH_SITE_ARGS adds arguments (--goals=site,kill,list, --pages=N, --seed=N).
if wants site; then
  # shellcheck disable=SC2086
  headless "$build/bench/bench_site" --lines="${BENCH_SITE_LINES:-100000}" ${BENCH_SITE_ARGS:-}
fi

#!/usr/bin/env bash
# In-memory cleaning speed (bench_engine): generated pages with CR LF and
# with LF line ends on every instruction set this CPU has (simd 0 portable,
# 1 SSE2, which is the portable loop, 2 SSE4.2, 3 AVX2, 4 AVX-512, 5 AVX-512
# VBMI2), and already-trimmed text with CR LF and with LF line ends.
# Prints the median and the spread of the repetitions; the CPU-time rate is
# the per-core speed. Rows with protect:63 are --protect all on the same bytes
# (bench/protect_cost.sh gives its cost in whole runs).
# Targets with AVX2: >= 6 GB/s on real pages, >= 10 GB/s on trimmed text;
# SSE2 >= 3 GB/s and never slower than the portable loop.
# With BREVIO_BENCH_PAGES_DIR set to a folder of real pages (.htm, .html,
# .php; for example /usr/share/doc), those are measured too.
# Usage: bench/clean_speed.sh [BUILD_DIR]   (BREVIO_BENCH_RUNS repetitions, default 9)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-${BREVIO_BUILD_DIR:-$root/build}}
[ -x "$build/bin/bench_engine" ] || { echo "clean_speed: $build/bin/bench_engine is missing" >&2; exit 1; }
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
"$build/bin/bench_engine" --benchmark_filter='StreamClean' \
  --benchmark_repetitions="${BREVIO_BENCH_RUNS:-9}" --benchmark_min_time=0.2 \
  --benchmark_report_aggregates_only=true 2>&1 | grep -E '_(median|cv) '

#!/usr/bin/env bash
# A batch of 10,000 pages of 2 to 20 KB trimmed into a folder with -j 2;
# prints files per second (target: at least 5,000). Uses hyperfine when it
# is installed, else a timed loop.
# Usage: bench/batch.sh [BUILD_DIR]   (default: $BREVIO_BUILD_DIR or build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-${BREVIO_BUILD_DIR:-$root/build}}
bin=$build/bin
for tool in brevio-trim brevio-bench-pages; do
  [ -x "$bin/$tool" ] || { echo "batch: $bin/$tool is missing; build first" >&2; exit 1; }
done
count=${BREVIO_BENCH_PAGES:-10000}
runs=${BREVIO_BENCH_RUNS:-5}
work=$(mktemp -d /tmp/brevio-batch-XXXXXX)
trap 'rm -rf "$work"' EXIT

"$bin/brevio-bench-pages" pages "$work/pages" "$count" 2000 20000
files=("$work"/pages/*)
[ "${#files[@]}" -eq "$count" ] || { echo "batch: expected $count pages, found ${#files[@]}" >&2; exit 1; }
cat "${files[@]}" >/dev/null
echo "$count pages, $(du -sb "$work/pages" | cut -f1) bytes; load before: $(cut -d' ' -f1-3 /proc/loadavg)"

if command -v hyperfine >/dev/null; then
  # -N: started directly, no shell in between. The folder is walked (-r):
  # 10,000 paths do not fit in the one argument that hyperfine takes.
  hyperfine -N --warmup 1 --runs "$runs" --export-json "$work/result.json" \
    "$bin/brevio-trim -q -j 2 -r -o $work/out $work/pages"
  mean=$(grep -m1 '"mean"' "$work/result.json" | sed -E 's/.*: *([0-9.eE+-]+).*/\1/')
  best=$(grep -m1 '"min"' "$work/result.json" | sed -E 's/.*: *([0-9.eE+-]+).*/\1/')
else
  mean=0
  best=""
  for round in $(seq "$runs"); do
    start=$EPOCHREALTIME
    "$bin/brevio-trim" -q -j 2 -o "$work/out" "${files[@]}"
    took=$(awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.4f", b - a }')
    echo "round $round: ${took}s"
    mean=$(awk -v m="$mean" -v t="$took" -v n="$runs" 'BEGIN { print m + t / n }')
    best=$(awk -v a="$best" -v b="$took" 'BEGIN { print (a == "" || b < a) ? b : a }')
  done
fi
awk -v n="$count" -v m="$mean" -v b="$best" \
  'BEGIN { printf "files/s: %.0f mean, %.0f best (target >= 5000)\n", n / m, n / b }'

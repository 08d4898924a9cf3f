#!/usr/bin/env bash
# Whole-file speed and memory of brevio-trim:
#  1. trimming a 1 GiB page file from the page cache against cp of the same
#     file, alternating in the same run; prints the best times and the ratio;
#  2. peak resident memory (/usr/bin/time) trimming that file and a 1 GiB
#     file whose lines end in LF alone (one single "line" for the reader).
# Usage: bench/trim_vs_cp.sh [BUILD_DIR]   (default: $BREVIO_BUILD_DIR or build)
# BREVIO_BENCH_BYTES and BREVIO_BENCH_RUNS change the size and the rounds.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-${BREVIO_BUILD_DIR:-$root/build}}
bin=$build/bin
for tool in brevio-trim brevio-bench-pages; do
  [ -x "$bin/$tool" ] || { echo "trim_vs_cp: $bin/$tool is missing; build first" >&2; exit 1; }
done
[ -x /usr/bin/time ] || { echo "trim_vs_cp: /usr/bin/time is missing (apt-get install time)" >&2; exit 1; }
bytes=${BREVIO_BENCH_BYTES:-1073741824}
runs=${BREVIO_BENCH_RUNS:-3}
work=$(mktemp -d /tmp/brevio-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT

seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
min() { awk -v a="$1" -v b="$2" 'BEGIN { print (a == "" || b < a) ? b : a }'; }

echo "Making a $bytes-byte page file (CR LF lines) in $work"
"$bin/brevio-bench-pages" file "$work/page.html" "$bytes"
cat "$work/page.html" >/dev/null  # into the page cache
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"

best_cp=""
best_trim=""
for round in $(seq "$runs"); do
  rm -f "$work/cp.html" "$work/trim.html"
  sync
  start=$EPOCHREALTIME
  cp "$work/page.html" "$work/cp.html"
  cp_time=$(seconds "$start" "$EPOCHREALTIME")
  rm -f "$work/cp.html"
  sync
  start=$EPOCHREALTIME
  "$bin/brevio-trim" -q "$work/page.html" "$work/trim.html"
  trim_time=$(seconds "$start" "$EPOCHREALTIME")
  echo "round $round: cp ${cp_time}s  brevio-trim ${trim_time}s"
  best_cp=$(min "$best_cp" "$cp_time")
  best_trim=$(min "$best_trim" "$trim_time")
done
out_bytes=$(stat -c %s "$work/trim.html")
echo "best: cp ${best_cp}s  brevio-trim ${best_trim}s  ratio $(awk -v t="$best_trim" -v c="$best_cp" 'BEGIN { printf "%.2f", t / c }') (target <= 1.3)"
echo "trimmed to $out_bytes bytes; $(awk -v b="$bytes" -v t="$best_trim" 'BEGIN { printf "%.0f", b / t / 1e6 }') MB/s in"

peak() {  # peak RSS in KiB of trimming $1
  rm -f "$work/out.html"
  sync
  /usr/bin/time -f '%M' -o "$work/rss" "$bin/brevio-trim" -q "$1" "$work/out.html"
  cat "$work/rss"
}
echo "peak RSS, CR LF file: $(peak "$work/page.html") KiB"
rm -f "$work/page.html" "$work/trim.html" "$work/out.html"

echo "Making a $bytes-byte file with LF-only line ends"
"$bin/brevio-bench-pages" file "$work/lf.html" "$bytes" lf
cat "$work/lf.html" >/dev/null
echo "peak RSS, LF-only file: $(peak "$work/lf.html") KiB (target < 20480 KiB)"

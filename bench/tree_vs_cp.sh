#!/usr/bin/env bash
# A tree of about 5,000 pages trimmed with `brevio-trim -r -o OUT TREE`
# against `cp -r TREE OUT2`, alternating in the same run, each into a folder
# never used before (ext4 creates files more slowly right after mass
# deletions, so nothing is removed until the end). Prints every round, the
# medians, the spread and the ratio of the medians (target: at most 1.0).
# Usage: bench/tree_vs_cp.sh [BUILD_DIR]   (default: $BREVIO_BUILD_DIR or build)
# BREVIO_BENCH_RUNS (default 9) sets the rounds; BREVIO_BENCH_JOBS adds -j N;
# BREVIO_BENCH_BEFORE=DIR also times DIR/brevio-trim (an earlier build's bin
# folder, copied aside) in each round, for a before-and-after in one run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-${BREVIO_BUILD_DIR:-$root/build}}
bin=$build/bin
for tool in brevio-trim brevio-bench-pages; do
  [ -x "$bin/$tool" ] || { echo "tree_vs_cp: $bin/$tool is missing; build first" >&2; exit 1; }
done
runs=${BREVIO_BENCH_RUNS:-9}
before=${BREVIO_BENCH_BEFORE:-}
[ -z "$before" ] || [ -x "$before/brevio-trim" ] || { echo "tree_vs_cp: $before/brevio-trim is missing" >&2; exit 1; }
jobs=()
[ -n "${BREVIO_BENCH_JOBS:-}" ] && jobs=(-j "$BREVIO_BENCH_JOBS")
work=$(mktemp -d /tmp/brevio-tree-XXXXXX)
trap 'rm -rf "$work"' EXIT

# 10 sections of 5 chapters of 100 pages (2 to 20 KB), plus a few pages at
# each level and a stylesheet the walk must pass over: 5,060 pages.
tree=$work/tree
for section in $(seq 0 9); do
  for chapter in $(seq 0 4); do
    "$bin/brevio-bench-pages" pages "$tree/s$section/c$chapter" 100 2000 20000
  done
  "$bin/brevio-bench-pages" pages "$tree/s$section" 5 2000 20000
  printf 'body { margin: 0 }\n' >"$tree/s$section/style.css"
done
"$bin/brevio-bench-pages" pages "$tree" 10 2000 20000
pages=$(find "$tree" -name '*.htm*' -o -name '*.php' | wc -l)
cat $(find "$tree" -type f) >/dev/null  # into the page cache
echo "$pages pages, $(du -sb "$tree" | cut -f1) bytes in $(find "$tree" -type d | wc -l) folders"
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"

seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.4f", b - a }'; }
cp_times=()
trim_times=()
before_times=()
for round in $(seq "$runs"); do
  sync
  start=$EPOCHREALTIME
  cp -r "$tree" "$work/cp$round"
  cp_times+=("$(seconds "$start" "$EPOCHREALTIME")")
  sync
  start=$EPOCHREALTIME
  "$bin/brevio-trim" -q "${jobs[@]}" -r -o "$work/trim$round" "$tree"
  trim_times+=("$(seconds "$start" "$EPOCHREALTIME")")
  if [ -n "$before" ]; then
    sync
    start=$EPOCHREALTIME
    "$before/brevio-trim" -q "${jobs[@]}" -r -o "$work/before$round" "$tree"
    before_times+=("$(seconds "$start" "$EPOCHREALTIME")")
  fi
  echo "round $round: cp -r ${cp_times[-1]}s  brevio-trim ${trim_times[-1]}s${before:+  before ${before_times[-1]:-}s}"
done
trimmed=$(find "$work/trim$runs" -type f | wc -l)
[ "$trimmed" -eq "$pages" ] || { echo "tree_vs_cp: $trimmed of $pages pages trimmed" >&2; exit 1; }
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"

stats() {  # the seconds of each run: min median max
  printf '%s\n' "$@" | sort -n | awk '{ t[NR] = $1 }
    END { printf "%.4f %.4f %.4f", t[1], t[int((NR + 1) / 2)], t[NR] }'
}
read -r cp_min cp_median cp_max <<<"$(stats "${cp_times[@]}")"
read -r trim_min trim_median trim_max <<<"$(stats "${trim_times[@]}")"
echo "cp -r:       median ${cp_median}s  (min ${cp_min}s, max ${cp_max}s)"
echo "brevio-trim: median ${trim_median}s  (min ${trim_min}s, max ${trim_max}s)"
if [ -n "$before" ]; then
  read -r before_min before_median before_max <<<"$(stats "${before_times[@]}")"
  echo "before:      median ${before_median}s  (min ${before_min}s, max ${before_max}s)," \
    "ratio to cp -r $(awk -v t="$before_median" -v c="$cp_median" 'BEGIN { printf "%.3f", t / c }')"
fi
ratios=()
for i in "${!cp_times[@]}"; do
  ratios+=("$(awk -v t="${trim_times[$i]}" -v c="${cp_times[$i]}" 'BEGIN { printf "%.3f", t / c }')")
done
read -r ratio_min ratio_median ratio_max <<<"$(stats "${ratios[@]}")"
echo "ratio of medians $(awk -v t="$trim_median" -v c="$cp_median" 'BEGIN { printf "%.3f", t / c }')" \
  "(per round: median $ratio_median, min $ratio_min, max $ratio_max; target <= 1.0)"

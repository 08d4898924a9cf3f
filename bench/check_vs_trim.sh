#!/usr/bin/env bash
# `brevio-trim --check -r TREE` on a tree of about 5,000 pages against a
# plain `brevio-trim -r -o OUT TREE` of the same tree, alternating in the
# same run: the check of the tree as it is (every page would change, so
# each check stops at its first difference) and of a copy trimmed until it
# no longer changes (every page read to its end). Each trim goes into a
# folder never used before. Prints every round, the medians, the spread and
# each check's median as a share of the trim's.
# Usage: bench/check_vs_trim.sh [BUILD_DIR]   (default: $BREVIO_BUILD_DIR or build)
# BREVIO_BENCH_RUNS (default 9) sets the rounds.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-${BREVIO_BUILD_DIR:-$root/build}}
bin=$build/bin
for tool in brevio-trim brevio-bench-pages; do
  [ -x "$bin/$tool" ] || { echo "check_vs_trim: $bin/$tool is missing; build first" >&2; exit 1; }
done
runs=${BREVIO_BENCH_RUNS:-9}
work=$(mktemp -d /tmp/brevio-check-XXXXXX)
trap 'rm -rf "$work"' EXIT

# The tree of tree_vs_cp.sh: 10 sections of 5 chapters of 100 pages (2 to
# 20 KB), a few pages at each level: 5,060 pages.
tree=$work/tree
for section in $(seq 0 9); do
  for chapter in $(seq 0 4); do
    "$bin/brevio-bench-pages" pages "$tree/s$section/c$chapter" 100 2000 20000
  done
  "$bin/brevio-bench-pages" pages "$tree/s$section" 5 2000 20000
done
"$bin/brevio-bench-pages" pages "$tree" 10 2000 20000
# The rule may need a second pass (a page whose lines end in LF alone).
cp -r "$tree" "$work/trimmed"
for pass in 1 2 3; do
  "$bin/brevio-trim" -q -r -i "$work/trimmed"
  "$bin/brevio-trim" --check -r "$work/trimmed" >/dev/null && break
  [ "$pass" -lt 3 ] || { echo "check_vs_trim: the trimmed copy still changes" >&2; exit 1; }
done
pages=$(find "$tree" -type f | wc -l)
cat $(find "$tree" "$work/trimmed" -type f) >/dev/null  # into the page cache
echo "$pages pages, $(du -sb "$tree" | cut -f1) bytes; load before: $(cut -d' ' -f1-3 /proc/loadavg)"

seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.4f", b - a }'; }
trim_times=()
changed_times=()
clean_times=()
for round in $(seq "$runs"); do
  sync
  start=$EPOCHREALTIME
  "$bin/brevio-trim" -q -r -o "$work/out$round" "$tree"
  trim_times+=("$(seconds "$start" "$EPOCHREALTIME")")
  start=$EPOCHREALTIME
  status=0
  "$bin/brevio-trim" --check -r "$tree" >"$work/listed" || status=$?
  changed_times+=("$(seconds "$start" "$EPOCHREALTIME")")
  [ "$status" -eq 1 ] && [ "$(wc -l <"$work/listed")" -eq "$pages" ] ||
    { echo "check_vs_trim: the check of the tree did not list every page" >&2; exit 1; }
  start=$EPOCHREALTIME
  "$bin/brevio-trim" --check -r "$work/trimmed"
  clean_times+=("$(seconds "$start" "$EPOCHREALTIME")")
  echo "round $round: -r -o ${trim_times[-1]}s  --check (all change) ${changed_times[-1]}s" \
    " --check (none changes) ${clean_times[-1]}s"
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"

stats() {  # the seconds of each run: min median max
  printf '%s\n' "$@" | sort -n | awk '{ t[NR] = $1 }
    END { printf "%.4f %.4f %.4f", t[1], t[int((NR + 1) / 2)], t[NR] }'
}
read -r trim_min trim_median trim_max <<<"$(stats "${trim_times[@]}")"
echo "-r -o:                  median ${trim_median}s  (min ${trim_min}s, max ${trim_max}s)"
for kind in changed clean; do
  declare -n times=${kind}_times
  read -r min median max <<<"$(stats "${times[@]}")"
  label="--check ($([ "$kind" = changed ] && echo "all change" || echo "none changes")):"
  printf '%-23s median %ss  (min %ss, max %ss), %s of the trim\n' "$label" "$median" "$min" "$max" \
    "$(awk -v c="$median" -v t="$trim_median" 'BEGIN { printf "%.3f", c / t }')"
done

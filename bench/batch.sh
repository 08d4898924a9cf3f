#!/usr/bin/env bash
# A batch of 10,000 pages of 2 to 20 KB trimmed into a folder with -j 2;
# prints files per second, min and median (target: at least 5,000).
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

# Two cases, because the file system makes them differ: "fresh" writes each
# run into a new folder; "overwrite" replaces the targets of the run before
# (each rename frees an inode, and ext4 then spends time skipping recently
# freed inodes when it makes new files). Started directly, no shell between;
# the folder is walked (-r) since 10,000 paths make a long command line.
report() {  # name, then the seconds of each run
  local name=$1
  shift
  printf '%s\n' "$@" | sort -n | awk -v name="$name" -v n="$count" '
    { t[NR] = $1 }
    END { m = t[int((NR + 1) / 2)]
          printf "%-9s min %.3fs (%.0f files/s)  median %.3fs (%.0f files/s)  target >= 5000\n",
                 name, t[1], n / t[1], m, n / m }'
}
timed() {
  local start=$EPOCHREALTIME
  "$bin/brevio-trim" -q -j 2 -r -o "$1" "$work/pages"
  awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.4f", b - a }'
}
fresh=()
for round in $(seq "$runs"); do fresh+=("$(timed "$work/fresh$round")"); done
"$bin/brevio-trim" -q -j 2 -r -o "$work/over" "$work/pages"
over=()
for round in $(seq "$runs"); do over+=("$(timed "$work/over")"); done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
report fresh "${fresh[@]}"
report overwrite "${over[@]}"
